// Sound output through SDL's dummy audio driver: the mixing thread, its
// options, and the readback device used for recording.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/platform.h"

namespace {

struct SoundTest : ::testing::Test {
    std::string log_path = std::filesystem::temp_directory_path() / ("sound_test_log_" + std::to_string(getpid()));
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);  // no sound card needed
        setenv("ZUMI_LOGFILE", log_path.c_str(), 1);
        zumi_log_reset();
    }
    void TearDown() override {
        unsetenv("ZUMI_OPTIONS");
        zumi_reload_options();
        zumi_log_reset();
        unsetenv("ZUMI_LOGFILE");
        std::filesystem::remove(log_path);
    }
    void options(const char* text) {
        setenv("ZUMI_OPTIONS", text, 1);
        zumi_reload_options();
    }
    std::string log_text() {
        zumi_log_close();
        std::ifstream in(log_path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

TEST_F(SoundTest, MixingThreadRunsAndStops) {
    options("[sound-mixahead:30]");
    ZumiSoundDevice* d = zumi_open_sound(nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(zumi_sound_thread_running(d));
    EXPECT_EQ(zumi_sound_output_rate(d), 22050);
    std::vector<uint8_t> tone(22050);
    for (size_t i = 0; i < tone.size(); i++) tone[i] = (i / 20) % 2 ? 200 : 56;
    ZumiSound* s = zumi_create_sound(d, static_cast<int>(tone.size()), tone.data(), 0);
    ASSERT_NE(s, nullptr);
    zumi_set_sound_loop(s, true);
    zumi_play_sound(s);
    // The thread mixes ahead and then keeps pace with the device.
    int position = 0;
    for (int i = 0; i < 200 && position == 0; i++) {
        zumi_sleep(0.01);
        position = zumi_sound_position(s);
    }
    EXPECT_GT(position, 0);
    ZumiSound* dup = zumi_duplicate_sound(s);
    zumi_set_sound_volume(dup, 99999);
    zumi_set_sound_pan(dup, -99999);
    zumi_play_sound(dup);
    zumi_stop_sound(s);
    zumi_free_sound(dup);
    zumi_free_sound(s);
    zumi_close_sound(d);
    EXPECT_FALSE(zumi_sound_thread_running(nullptr));
    std::string log = log_text();
    for (const char* line : {"Opening waveOut audio...\n", "Waveout rate: 22050\n", "Waveout channels: 16\n",
                             "Waveout mixahead: 15\n", "Audio opened!\n", "Audio thread begin\n",
                             "Closing audio\n", "Audio thread end\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(SoundTest, BadRateIsRefusedAndBackEndsCanBeTurnedOff) {
    for (const char* opt : {"[sound-rate:0]", "[sound-rate:-8000]"}) {
        options(opt);
        ZumiSoundDevice* d = zumi_open_sound(nullptr);
        ASSERT_NE(d, nullptr) << opt;
        EXPECT_EQ(zumi_sound_output_rate(d), 22050);
        zumi_close_sound(d);
    }
    options("[waveout:off]");
    EXPECT_EQ(zumi_open_sound(nullptr), nullptr);
    zumi_close_sound(nullptr);
    EXPECT_NE(log_text().find("Can't close audio, not open\n"), std::string::npos);
}

TEST_F(SoundTest, ReadbackMixesOneTicAtATime) {
    ZumiSoundDevice* d = zumi_open_readback(88320, 690);
    ASSERT_NE(d, nullptr);
    int bytes = 0;
    const uint8_t* block = zumi_read_mixed(d, &bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(bytes, 1380);
    for (int i = 0; i < bytes; i++) EXPECT_EQ(block[i], 128);
    std::vector<uint8_t> data(100, 255);
    ZumiSound* s = zumi_create_sound(d, 100, data.data(), 0);
    zumi_set_sound_pan(s, 32767);  // right only
    zumi_play_sound(s);
    block = zumi_read_mixed(d, &bytes);
    EXPECT_EQ(bytes, 1380);
    EXPECT_EQ(block[0], 128);      // left
    EXPECT_GT(block[1], 128);      // right
    EXPECT_EQ(block[2 * 100 + 1], 128);  // the sound ended after 100 frames
    EXPECT_EQ(zumi_sound_position(s), 0);
    zumi_free_sound(s);
    zumi_close_sound(d);
    EXPECT_EQ(zumi_open_readback(0, 690), nullptr);
}

}  // namespace
