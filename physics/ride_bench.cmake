# The riding figures benchmark (not a test): include() this from
# physics/CMakeLists.txt.
if(RUTLINE_BENCH)
  add_executable(ride_bench ${PROJECT_SOURCE_DIR}/bench/ride_bench.cpp)
  target_link_libraries(ride_bench PRIVATE physics)
endif()
