// Bike tuning, suspension and steering assists, engine and drivetrain, rider
// controls and riding aids, and rider setup files. Included by physics.h;
// other modules include physics.h only.
#pragma once

// Per-bike settings (ranges and defaults with the suspension code).
struct BikeTuning {};

// Per-bike state of the engine, drivetrain, inputs and rider aids.
struct RideState {};
