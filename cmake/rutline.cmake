# Helpers shared by every module's CMakeLists.txt.
#
# rutline_module(NAME layer SOURCES ... DEPS ...)
#   One static library per module folder. LAYER is SIM, PLATFORM or PRESENTATION.
#   Simulation modules get a poisoned include path first, so including an SDL
#   or GL header from them fails to build.
# rutline_tests(NAME LABEL SOURCES ... DEPS ...)
#   One GoogleTest program per module, discovered into CTest with LABEL.
# rutline_fuzz_target(NAME SOURCE file DEPS ... CORPUS dir)
#   A libFuzzer entry point. In every build it is linked with a replay driver
#   and its corpus folder runs as an ordinary test; with RUTLINE_FUZZ it is
#   also built as a real libFuzzer binary NAME_fuzzer.

function(rutline_module name)
  cmake_parse_arguments(M "" "LAYER" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(M_LAYER STREQUAL "SIM" OR NOT M_LAYER)
    target_include_directories(${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/poison)
  endif()
  target_link_libraries(${name} PUBLIC ${M_DEPS})
endfunction()

function(rutline_tests name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;DEPS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT TARGET rutline_test_main)
    add_library(rutline_test_main STATIC ${PROJECT_SOURCE_DIR}/cmake/test_main.cpp)
    target_link_libraries(rutline_test_main PUBLIC GTest::gtest)
    target_compile_definitions(rutline_test_main PRIVATE
      RUTLINE_TEST_DATA_DIR="${RUTLINE_DATA_DIR}" RUTLINE_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} rutline_test_main)
  # The test environment (data folder, source folder, headless SDL drivers)
  # comes from the shared test entry point.
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${T_LABEL}"
    DISCOVERY_TIMEOUT 60)
endfunction()

function(rutline_fuzz_target name)
  cmake_parse_arguments(F "" "SOURCE;CORPUS" "DEPS" ${ARGN})
  add_executable(${name}_replay ${F_SOURCE} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${F_DEPS})
  add_test(NAME fuzz_replay_${name} COMMAND ${name}_replay ${F_CORPUS})
  set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS unit)
  if(RUTLINE_FUZZ)
    add_executable(${name}_fuzzer ${F_SOURCE})
    target_link_libraries(${name}_fuzzer PRIVATE ${F_DEPS})
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name}_fuzzer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endif()
endfunction()

# A program that finds its data beside itself: put it in the data folder.
function(rutline_program name)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${RUTLINE_DATA_DIR})
endfunction()
