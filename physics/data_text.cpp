// Reading a whole data file as text for the physics readers.
#include "files/files.h"
#include "physics/physics_local.h"

std::optional<std::string> read_data_text(const char* name) { return file_to_string(name); }
