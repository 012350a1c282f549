# The riding figures benchmark (not a test): include() this from
# physics/CMakeLists.txt.
if(RUTLINE_BENCH)
  add_executable(ride_bench ${PROJECT_SOURCE_DIR}/bench/ride_bench.cpp)
  target_link_libraries(ride_bench PRIVATE physics)
endif()

# The rider setup reader's fuzz target (its corpus replays as a test).
rutline_fuzz_target(ride_setup SOURCE ${PROJECT_SOURCE_DIR}/fuzz/ride_setup.cpp DEPS physics
  CORPUS ${PROJECT_SOURCE_DIR}/fuzz/corpus/ride_setup)
