// Pure parts of the platform layer: options, the log, the event ring, the
// software mixer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/platform_local.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/platform_testXXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

// Runs with a log file in a temporary folder; restores "no log" afterwards.
struct LogFixture : ::testing::Test {
    TempDir dir;
    fs::path log_path;
    void SetUp() override {
        log_path = dir.path / "log.txt";
        unsetenv("ZUMI_LOGFILE");
        unsetenv("ZUMI_LOGFILE_FLAGS");
        zumi_log_reset();
    }
    void TearDown() override {
        zumi_log_reset();
        unsetenv("ZUMI_LOGFILE");
        unsetenv("ZUMI_LOGFILE_FLAGS");
    }
    void open_log() {
        setenv("ZUMI_LOGFILE", log_path.c_str(), 1);
        zumi_log_reset();
    }
    std::string log_text() {
        zumi_log_close();
        return read_file(log_path);
    }
};

// ---------------------------------------------------------------------------
using OptionsTest = LogFixture;

TEST_F(OptionsTest, FlagsAndNumbers) {
    open_log();
    struct Case {
        const char* text;
        const char* name;
        int def, flag;
    } flags[] = {
        {"[threaded:on]", "threaded", 0, 1},   {"[threaded:yes]", "threaded", 0, 1},
        {"[threaded:off]", "threaded", 1, 0},  {"x[threaded:no]y", "threaded", 1, 0},
        {"[threaded:maybe]", "threaded", 0, 0}, {"", "threaded", 1, 1},
        {"[threaded:on", "threaded", 0, 0},    {"[dinput:on][xinput:off]", "xinput", 1, 0},
    };
    for (const Case& c : flags) EXPECT_EQ(zumi_option_flag_in(c.text, c.name, c.def), c.flag) << c.text;
    struct Num {
        const char* text;
        int def, value;
    } nums[] = {
        {"[sound-rate:44100]", 22050, 44100}, {"[sound-rate:]", 22050, 22050},
        {"[sound-rate:fast]", 22050, 22050},  {"[sound-rate:-5]", 22050, -5},
        {"", 22050, 22050},                   {"[sound-rate:99999999999]", 1, 1000000000},
    };
    for (const Num& c : nums) EXPECT_EQ(zumi_option_number_in(c.text, "sound-rate", c.def), c.value) << c.text;
    std::string log = log_text();
    EXPECT_NE(log.find("unrecognized setting for threaded\n"), std::string::npos);
    EXPECT_NE(log.find("unrecognized setting for sound-rate\n"), std::string::npos);
}

TEST_F(OptionsTest, ReadFromTheEnvironment) {
    setenv("ZUMI_OPTIONS", "[sound-mixahead:10][waveout:off]", 1);
    zumi_reload_options();
    EXPECT_EQ(zumi_option_number("sound-mixahead", 125), 10);
    EXPECT_EQ(zumi_option_flag("waveout", 1), 0);
    unsetenv("ZUMI_OPTIONS");
    zumi_reload_options();
    EXPECT_EQ(zumi_option_flag("waveout", 1), 1);
}

// ---------------------------------------------------------------------------
using LogTest = LogFixture;

TEST_F(LogTest, PrefixFormat) {
    EXPECT_EQ(log_prefix(0), "[0:00:00.00] ");
    EXPECT_EQ(log_prefix(3723.456), "[1:02:03.45] ");
    EXPECT_EQ(log_prefix(36000 * 10 + 59.999), "[100:00:59.99] ");
}

TEST_F(LogTest, EnvironmentFileHeaderAndLines) {
    open_log();
    zumi_log("hello %d\n", 7);
    zumi_log("\x13 hidden\n");
    zumi_log("%s", "100% sure\n");
    std::string log = log_text();
    std::string head = "Logfile \"" + log_path.string() + "\" opened\nZUMI 0.31\n";
    ASSERT_EQ(log.compare(0, head.size(), head), 0) << log;
    std::string rest = log.substr(head.size());
    EXPECT_EQ(rest.find("hidden"), std::string::npos);
    // "[h:mm:ss.hh] hello 7\n[...] 100% sure\n"
    EXPECT_EQ(rest[0], '[');
    EXPECT_NE(rest.find("] hello 7\n["), std::string::npos) << rest;
    EXPECT_NE(rest.find("] 100% sure\n"), std::string::npos) << rest;
}

TEST_F(LogTest, DirectiveInTheFirstMessage) {
    // A folder name with a percent sign must come through as text.
    fs::path odd = dir.path / "100%s done";
    fs::create_directories(odd);
    fs::path target = odd / "x.txt";
    {
        std::ofstream(target) << "old\n";
    }
    std::string first = "ZUMI_LOGFILE=>>" + target.string();
    zumi_log("%s", first.c_str());
    zumi_log("line\n");
    zumi_log_close();
    std::string text = read_file(target);
    EXPECT_EQ(text.rfind("old\nLogfile \"" + target.string() + "\" opened\nZUMI 0.31\n", 0), 0u) << text;
    EXPECT_EQ(text.find("ZUMI_LOGFILE="), std::string::npos);
    EXPECT_NE(text.find("] line\n"), std::string::npos);

    // ">" writes afresh; ZUMI_LOGFILE_FLAGS replaces the mode.
    zumi_log_reset();
    zumi_log("ZUMI_LOGFILE=>%s", target.c_str());
    zumi_log_close();
    EXPECT_EQ(read_file(target).rfind("Logfile", 0), 0u);
    zumi_log_reset();
    setenv("ZUMI_LOGFILE_FLAGS", "a", 1);
    zumi_log("ZUMI_LOGFILE=%s", target.c_str());
    zumi_log_close();
    std::string twice = read_file(target);
    EXPECT_NE(twice.find("opened", twice.find("opened") + 1), std::string::npos);
}

TEST_F(LogTest, NoFileWhenTheFirstMessageIsOrdinary) {
    zumi_log("first\n");
    zumi_log("ZUMI_LOGFILE=%s", log_path.c_str());  // too late
    zumi_log_close();
    EXPECT_FALSE(fs::exists(log_path));
}

TEST_F(LogTest, LinesFromTwoThreadsStayWhole) {
    open_log();
    auto writer = [](char c) {
        std::string line(200, c);
        for (int i = 0; i < 300; i++) zumi_log("%s\n", line.c_str());
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(log_text());
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        if (line[0] != '[') continue;
        std::string body = line.substr(line.find("] ") + 2);
        EXPECT_TRUE(body == std::string(200, 'a') || body == std::string(200, 'b')) << line;
        lines++;
    }
    EXPECT_EQ(lines, 600);
}

// ---------------------------------------------------------------------------
ZumiEvent ev(int code, double time, bool pressed = true) {
    ZumiEvent e;
    e.code = code;
    e.time = time;
    e.pressed = pressed;
    return e;
}

TEST(EventQueue, KeepsTimeOrderAndDropsThe257th) {
    EventQueue q;
    const double times[] = {5, 1, 3, 3, 2};
    for (int i = 0; i < 5; i++) EXPECT_TRUE(event_queue_push(q, ev(i, times[i])));
    int order[5];
    ZumiEvent e;
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(event_queue_pop(q, &e));
        order[i] = e.code;
    }
    EXPECT_EQ(std::vector<int>(order, order + 5), (std::vector<int>{1, 4, 2, 3, 0}));
    EXPECT_FALSE(event_queue_pop(q, &e));

    // Wrapping around the ring, then full.
    for (int i = 0; i < EVENT_QUEUE_SIZE; i++) EXPECT_TRUE(event_queue_push(q, ev(i, i)));
    EXPECT_FALSE(event_queue_push(q, ev(999, 0)));
    for (int i = 0; i < EVENT_QUEUE_SIZE; i++) {
        ASSERT_TRUE(event_queue_pop(q, &e));
        EXPECT_EQ(e.code, i);
    }
}

TEST(EventQueue, PopUntil) {
    EventQueue q;
    event_queue_push(q, ev(1, 1.0));
    event_queue_push(q, ev(2, 2.0));
    ZumiEvent e;
    EXPECT_FALSE(event_queue_pop_until(q, 0.5, &e));
    EXPECT_TRUE(event_queue_pop_until(q, 1.0, &e));
    EXPECT_EQ(e.code, 1);
    EXPECT_FALSE(event_queue_pop_until(q, 1.5, &e));
    EXPECT_TRUE(event_queue_pop_until(q, 9, &e));
    EXPECT_EQ(e.code, 2);
}

// ---------------------------------------------------------------------------
TEST(Mixer, LevelTables) {
    const auto& t = level_tables();
    for (int s = 0; s < 256; s++) EXPECT_EQ(t[0][s], 0);
    EXPECT_EQ(t[31][128], 0);
    EXPECT_EQ(t[31][129], 0);
    EXPECT_EQ(t[31][255], 126 * 31 / 32);
    EXPECT_EQ(t[31][1], -(126 * 31 / 32));
    EXPECT_EQ(t[31][127], 0);
    EXPECT_EQ(t[31][0], -(2 * (127 * 31 / 32) - (126 * 31 / 32)));
    EXPECT_EQ(t[16][200], (200 - 129) * 16 / 32);
    EXPECT_EQ(t[16][60], -((127 - 60) * 16 / 32));
}

TEST(Mixer, MixaheadFragments) {
    const int cases[][2] = {{10, 1}, {15, 1}, {125, 8}, {515, 32}, {1000, 32}, {0, 1}, {-50, 1}};
    for (const auto& c : cases) EXPECT_EQ(mixahead_fragments(c[0]), c[1]) << c[0];
    EXPECT_EQ(mixahead_fragments(125) * 1000 / FRAGMENT_COUNT, 125);
}

TEST(Mixer, OutputClamp) {
    const int cases[][2] = {{-1000, 0}, {-128, 0}, {-127, 1}, {0, 128}, {126, 254}, {127, 255}, {5000, 255}};
    for (const auto& c : cases) EXPECT_EQ(mix_output_u8(c[0]), c[1]) << c[0];
}

struct MixerFixture : ::testing::Test {
    Mixer m;
    std::vector<ZumiSound*> sounds;
    ZumiSound* make(int length, uint8_t value) {
        std::vector<uint8_t> data(static_cast<size_t>(length), value);
        ZumiSound* s = mixer_create_sound(m, length, data.data(), 0);
        sounds.push_back(s);
        return s;
    }
    ~MixerFixture() override {
        for (ZumiSound* s : sounds) delete s;
    }
};

TEST_F(MixerFixture, MonoTakesTheWholeVolumeAndIgnoresPan) {
    mixer_init(m, 22050, false, DEFAULT_CHANNEL_LIMIT);
    ZumiSound* s = make(100, 255);
    EXPECT_EQ(s->target_level[0], 31);
    EXPECT_EQ(s->target_level[1], 0);
    s->volume = 16384;
    sound_update_levels(*s);
    EXPECT_EQ(s->target_level[0], static_cast<int>((65535LL * 16384) >> 26));

    mixer_init(m, 22050, true, DEFAULT_CHANNEL_LIMIT);
    ZumiSound* t = make(100, 255);
    EXPECT_EQ(t->target_level[0], 15);
    EXPECT_EQ(t->target_level[1], 15);
    t->pan = 32767;
    sound_update_levels(*t);
    EXPECT_EQ(t->target_level[0], 0);
    EXPECT_EQ(t->target_level[1], 31);
}

TEST_F(MixerFixture, QuietSoundKeepsPositionSilently) {
    mixer_init(m, 1000, true, DEFAULT_CHANNEL_LIMIT);
    ZumiSound* s = make(1000, 255);
    s->volume = 2047;
    sound_update_levels(*s);
    EXPECT_EQ(s->target_level[0], 0);
    mixer_play(*s);
    mixer_mix(m, 100);
    for (uint8_t b : m.out) EXPECT_EQ(b, 128);
    EXPECT_EQ(mixer_position(*s), 100);
}

TEST_F(MixerFixture, ChannelLimitMixesTheLoudest) {
    mixer_init(m, 1000, false, DEFAULT_CHANNEL_LIMIT);
    // Seventeen sounds at full volume: sixteen entries are heard.
    for (int i = 0; i < 17; i++) mixer_play(*make(50, 133));
    mixer_mix(m, 10);
    mixer_mix(m, 10);
    int per_entry = level_tables()[31][133];
    ASSERT_GT(per_entry, 0);
    EXPECT_EQ(m.out[5], mix_output_u8(16 * per_entry));
    // Every sound, heard or not, kept its time.
    for (ZumiSound* s : sounds) EXPECT_EQ(mixer_position(*s), 20);
}

TEST_F(MixerFixture, LoopWrapsAndOneShotFinishes) {
    mixer_init(m, 1000, false, DEFAULT_CHANNEL_LIMIT);
    ZumiSound* loop = make(30, 200);
    loop->loop = true;
    ZumiSound* once = make(30, 200);
    mixer_play(*loop);
    mixer_play(*once);
    mixer_mix(m, 75);
    EXPECT_EQ(mixer_position(*loop), 15);
    EXPECT_FALSE(once->playing);
    EXPECT_EQ(mixer_position(*once), 0);
    EXPECT_EQ(m.playing.size(), 1u);
    // A rate twice the output rate steps two bytes a frame, wrapping cleanly.
    loop->rate = 2000;
    mixer_mix(m, 10);
    EXPECT_EQ(mixer_position(*loop), (15 + 20) % 30);
    // Half rate: the fraction carries.
    loop->rate = 500;
    mixer_mix(m, 3);
    EXPECT_EQ(mixer_position(*loop), 5 + 1);
    // Play restarts; stop finishes at the next mix.
    mixer_play(*loop);
    EXPECT_EQ(mixer_position(*loop), 0);
    mixer_mix(m, 4);
    EXPECT_EQ(mixer_position(*loop), 2);
}

TEST_F(MixerFixture, WriteWrapsAndKeepsTheLastPart) {
    mixer_init(m, 22050, false, DEFAULT_CHANNEL_LIMIT);
    ZumiSound* s = make(32768, 128);
    std::vector<uint8_t> big(40000);
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>(i * 7);
    mixer_write(*s, 40000, big.data(), 0);
    // The last 32768 bytes land where they would have landed.
    for (int i = 7232; i < 40000; i += 997)
        EXPECT_EQ(s->data->bytes[static_cast<size_t>(i % 32768)], big[static_cast<size_t>(i)]) << i;

    ZumiSound* t = make(10, 0);
    const uint8_t four[] = {1, 2, 3, 4};
    mixer_write(*t, 4, four, 8);    // wraps at the end
    mixer_write(*t, 1, four, -1);   // a negative position wraps backwards
    mixer_write(*t, 1, four + 2, 25);
    EXPECT_EQ(t->data->bytes, (std::vector<uint8_t>{3, 4, 0, 0, 0, 3, 0, 0, 1, 1}));
}

TEST_F(MixerFixture, RateConversionOnCreate) {
    mixer_init(m, 22050, true, DEFAULT_CHANNEL_LIMIT);
    std::vector<uint8_t> data = {10, 20, 30, 40};
    ZumiSound* up = mixer_create_sound(m, 4, data.data(), 11025);
    sounds.push_back(up);
    EXPECT_EQ(up->data->bytes, (std::vector<uint8_t>{10, 10, 20, 20, 30, 30, 40, 40}));
    ZumiSound* down = mixer_create_sound(m, 4, data.data(), 44100);
    sounds.push_back(down);
    EXPECT_EQ(down->data->bytes, (std::vector<uint8_t>{10, 30}));
    EXPECT_EQ(mixer_create_sound(m, 0, data.data(), 0), nullptr);
}

TEST_F(MixerFixture, LevelChangeWaitsForZeroCrossing) {
    mixer_init(m, 1000, false, DEFAULT_CHANNEL_LIMIT);
    // Positive half then negative half.
    std::vector<uint8_t> wave = {200, 200, 200, 60, 60, 60};
    ZumiSound* s = mixer_create_sound(m, 6, wave.data(), 0);
    sounds.push_back(s);
    s->loop = true;
    mixer_play(*s);
    mixer_mix(m, 1);  // level 31 taken at the first crossing from silence
    s->volume = 16384;
    sound_update_levels(*s);
    int quiet = s->target_level[0];
    mixer_mix(m, 5);
    const auto& t = level_tables();
    EXPECT_EQ(m.out[0], mix_output_u8(t[31][200]));
    EXPECT_EQ(m.out[1], mix_output_u8(t[31][200]));
    EXPECT_EQ(m.out[2], mix_output_u8(t[quiet][60]));
}

}  // namespace

namespace {
TEST(DisplayModes, FullscreenChoice) {
    const std::vector<ZumiDisplayMode> modes = {{1024, 768, 32}, {800, 600, 32}, {1920, 1080, 32}, {1280, 1024, 32}};
    const ZumiDisplayMode desktop{1920, 1080, 32};
    struct Case {
        int w, h, want_w, want_h;
    } cases[] = {
        {640, 480, 800, 600}, {800, 600, 800, 600}, {1100, 700, 1280, 1024},
        {1280, 800, 1280, 1024}, {4000, 3000, 1920, 1080}, {0, 0, 800, 600},
    };
    for (const Case& c : cases) {
        ZumiDisplayMode m = zumi_choose_fullscreen_mode(modes, desktop, c.w, c.h);
        EXPECT_EQ(m.width * 10000 + m.height, c.want_w * 10000 + c.want_h) << c.w << "x" << c.h;
    }
    ZumiDisplayMode none = zumi_choose_fullscreen_mode({}, {}, 800, 600);
    EXPECT_EQ(none.width * 10000 + none.height, 640 * 10000 + 480);
}
}  // namespace
