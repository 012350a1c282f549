#error "simulation code must not include presentation or platform headers"
