# The ride code's extra targets; include() this from physics/CMakeLists.txt.
# (The riding figures benchmark, bench/ride_bench.cpp, is already registered
# there as the target ride_bench.)

# The rider setup reader's fuzz target (its corpus replays as a test).
rutline_fuzz_target(ride_setup SOURCE ${PROJECT_SOURCE_DIR}/fuzz/ride_setup.cpp DEPS physics
  CORPUS ${PROJECT_SOURCE_DIR}/fuzz/corpus/ride_setup)
