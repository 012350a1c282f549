// Entry point of every test program: gives the tests the generated data
// folder, the source folder and the headless SDL drivers unless the caller's
// environment already names them, then runs the tests.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QZ_HOME", RUTLINE_TEST_DATA_DIR, 0);
    setenv("RUTLINE_SOURCE_DIR", RUTLINE_TEST_SOURCE_DIR, 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
