// Internals of core_world shared between its source files.
#pragma once

#include "physics/physics.h"

#include "core/world/world.h"

#include <string>

// The whole file (an "@" name or a path); false when it cannot be opened.
bool read_whole_data_file(const std::string& path, std::string& bytes);

// The starting-gate section of a "timing_gates" text: at most 160 parts,
// angles wrapped into [-pi, pi]. The checkpoints and lap lists are the timing
// module's; only the gate the bikes line up behind is read here.
std::vector<GateObject> parse_starting_gate(const std::string& text);
// Puts every part up (fraction 1, at rest) and refreshes its world shape.
void raise_starting_gate(std::vector<GateObject>& gate, const Terrain& ground);
// One tic of the gate's fall (while the game is inside the gate's window).
void animate_starting_gate(std::vector<GateObject>& gate, const GameState& g, const Terrain& ground);
// The part's shape placed on the track at its present tilt.
void place_gate_object(GateObject& o, const Terrain& ground);
