// The game program end to end, offscreen: start-up, frames in the sky
// colour written as PPM, recorded audio, "close" on SIGTERM, the shutdown
// lines; and input events assigned to tics through the window's queue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/app/app.h"
#include "image/image.h"
#include "physics/physics.h"

namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/app_testXXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct GameRun {
    int status = -1;
    std::string out, err;
};

// Runs the game with the given arguments and environment. After
// `frames_before_term` PPM frames have arrived on standard output (0: never)
// it sends SIGTERM; a run that has not ended after 60 s is killed.
GameRun run_game(const std::vector<std::string>& args, const std::vector<std::string>& env, int frames_before_term) {
    int out_pipe[2], err_pipe[2];
    EXPECT_EQ(pipe(out_pipe), 0);
    EXPECT_EQ(pipe(err_pipe), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(RUTLINE_EXE));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(RUTLINE_EXE, argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    GameRun r;
    bool termed = false;
    bool out_open = true, err_open = true;
    double start = zumi_time();
    while (out_open || err_open) {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        poll(fds, 2, 100);
        char buf[65536];
        for (int i = 0; i < 2; i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                (i == 0 ? out_open : err_open) = false;
                continue;
            }
            (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
        }
        if (!termed && frames_before_term > 0) {
            size_t count = 0;
            for (size_t p = r.out.find("P6\n"); p != std::string::npos; p = r.out.find("P6\n", p + 1)) count++;
            if (static_cast<int>(count) > frames_before_term) {
                kill(pid, SIGTERM);
                termed = true;
            }
        }
        if (zumi_time() - start > 60) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << "the game did not end";
            break;
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return r;
}

struct Frame {
    int width = 0, height = 0;
    std::string rgb;
};

std::vector<Frame> parse_ppm_stream(const std::string& s) {
    std::vector<Frame> frames;
    size_t p = 0;
    while (p < s.size()) {
        Frame f;
        int consumed = 0;
        if (std::sscanf(s.c_str() + p, "P6\n%d %d\n255\n%n", &f.width, &f.height, &consumed) != 2 || consumed == 0) {
            ADD_FAILURE() << "bad PPM header at byte " << p;
            break;
        }
        p += static_cast<size_t>(consumed);
        size_t n = static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 3;
        if (p + n > s.size()) {
            ADD_FAILURE() << "truncated frame";
            break;
        }
        f.rgb = s.substr(p, n);
        p += n;
        frames.push_back(f);
    }
    return frames;
}

struct GameFixture : ::testing::Test {
    TempDir dir;
    fs::path data, home;
    std::vector<std::string> env;
    void SetUp() override {
        data = dir.path / "data";
        home = dir.path / "home";
        fs::create_directories(data);
        fs::create_directories(home);
        env = {"QZ_HOME=" + data.string(), "XDG_DATA_HOME=" + home.string(), "SDL_VIDEODRIVER=offscreen",
               "SDL_AUDIODRIVER=dummy", "ZUMI_OPTIONS="};
    }
    // A track folder: the track list needs only its height field file.
    void add_fixture_track() {
        fs::create_directories(data / "tracks" / "fixture");
        std::ofstream(data / "tracks" / "fixture" / "terrain.hf") << "fixture\n";
    }
    std::string lastlog() { return read_file(home / "Rutline" / "lastlog.txt"); }
};

TEST_F(GameFixture, RecordsSkyFramesAndAudioAndClosesOnSigterm) {
    // The generated default data, with its configured track.
    const char* generated = std::getenv("QZ_HOME");
    ASSERT_NE(generated, nullptr);
    env[0] = std::string("QZ_HOME=") + generated;
    fs::create_directories(home / "Rutline");
    std::ofstream(home / "Rutline" / "config") << "video_mode=Windowed\n";
    fs::path audio = dir.path / "audio.raw";
    GameRun r = run_game({"--lock-fps", "30", "--record-video", "--width=96", "--height", "64", "--record-audio",
                          audio.string()},
                         env, 6);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Frame> frames = parse_ppm_stream(r.out);
    ASSERT_GE(frames.size(), 6u);
    for (const Frame& f : frames) {
        ASSERT_EQ(f.width, 96);
        ASSERT_EQ(f.height, 64);
        for (size_t i = 0; i < f.rgb.size(); i += 3) {
            ASSERT_EQ(static_cast<uint8_t>(f.rgb[i]), 50);
            ASSERT_EQ(static_cast<uint8_t>(f.rgb[i + 1]), 153);
            ASSERT_EQ(static_cast<uint8_t>(f.rgb[i + 2]), 204);
        }
    }
    std::string log = lastlog();
    EXPECT_NE(log.find("Rutline version 2021-03-31-1566 snapshot\n"), std::string::npos);
    EXPECT_NE(log.find("GL_VERSION: "), std::string::npos);
    // The track's load, then the shutdown lines, in their order.
    size_t at = 0;
    for (const char* line : {"Resetting\n", "Scanning\n", "Loading bikes\n", "Freeing memory (1)\n", "Closing input devices\n", "Closing audio\n",
                             "Writing config files\n", "Freeing memory (2)\n", "Freeing memory (3)\n",
                             "Freeing file list\n", "Freeing memory (4)\n", "Deleting textures\n",
                             "Deleting models\n", "Window shutdown complete\n"}) {
        size_t found = log.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << log;
        if (found != std::string::npos) at = found;
    }
    // Audio: exactly 1380 bytes for every tic run.
    int frames_drawn = 0, tics = 0;
    size_t stats = log.find("Frames drawn: ");
    ASSERT_NE(stats, std::string::npos);
    ASSERT_EQ(std::sscanf(log.c_str() + stats, "Frames drawn: %d, tics run: %d", &frames_drawn, &tics), 2);
    EXPECT_GT(tics, 0);
    EXPECT_EQ(fs::file_size(audio), static_cast<uintmax_t>(tics) * 1380u);
    EXPECT_EQ(static_cast<int>(frames.size()), frames_drawn);
    // The configuration was written at the orderly exit.
    EXPECT_TRUE(fs::exists(home / "Rutline" / "config"));
}

TEST_F(GameFixture, AnUnreadableTrackLeavesTheSkyAndNoTics) {
    add_fixture_track();  // its height field file is not one
    fs::create_directories(home / "Rutline");
    std::ofstream(home / "Rutline" / "config") << "video_mode=Windowed\ntrack=fixture\n";
    GameRun r = run_game({"--lock-fps", "30", "--record-video", "--width=32", "--height", "16"}, env, 3);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = lastlog();
    EXPECT_NE(log.find("No track loaded\n"), std::string::npos) << log;
    EXPECT_NE(log.find(", tics run: 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Window shutdown complete\n"), std::string::npos);
}

TEST_F(GameFixture, EndsWithoutDataOrTracksOrOnABadOption) {
    GameRun no_data = run_game({}, env, 0);
    EXPECT_EQ(no_data.status, 0);
    EXPECT_NE(no_data.err.find("Can't find game data"), std::string::npos) << no_data.err;

    fs::create_directories(data / "tracks");
    GameRun no_tracks = run_game({}, env, 0);
    EXPECT_EQ(no_tracks.status, 1);
    EXPECT_NE(no_tracks.err.find("No tracks found\n"), std::string::npos) << no_tracks.err;
    EXPECT_NE(lastlog().find("Window shutdown complete\n"), std::string::npos);

    add_fixture_track();
    GameRun bad = run_game({"--nope"}, env, 0);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("bad option '--nope'\n"), std::string::npos) << bad.err;
}

TEST(EventsToTics, EachEventLandsInTheTicItPrecedes) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ZumiWindow* w = zumi_open_gl_window("tics", 64, 48, 0, ZumiGlRequest{});
    ASSERT_NE(w, nullptr);
    FrameTiming t;
    double now = zumi_time();
    // A frame of 4 tics ending now: tic k (1..4) stands for the instant
    // now - 4 tics + k tics.
    t.target_sim_time = 4 * TIC_SECONDS;
    auto at = [&](double tics_back) { return now - tics_back * TIC_SECONDS; };
    struct Case {
        int code;
        double time;
        int tic;  // 1-based tic the event belongs to
    } cases[] = {
        {0x1010, at(5), 1},    {0x1011, at(3.5), 1}, {0x1012, at(3), 1},  {0x1013, at(2.9), 2},
        {0x1014, at(0.5), 4},  {0x1015, at(-2), 4},  {0x1016, at(1.5), 3},
    };
    for (const Case& c : cases) zumi_post_event(w, {c.code, true, c.time});
    int tic = 0;
    std::vector<std::pair<int, int>> seen;
    int ran = run_tic_loop(
        t, now,
        [&](double instant, bool all) {
            take_window_events(w, instant, all, [&](const ZumiEvent& e) { seen.push_back({e.code, tic + 1}); });
        },
        [&] { tic++; });
    EXPECT_EQ(ran, 4);
    std::vector<std::pair<int, int>> want;
    for (const Case& c : cases) want.push_back({c.code, c.tic});
    std::sort(want.begin(), want.end(), [&](auto a, auto b) { return a.second < b.second; });
    std::stable_sort(seen.begin(), seen.end(), [](auto a, auto b) { return a.second < b.second; });
    std::sort(want.begin(), want.end());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, want);
    zumi_close_window(w);
}

TEST(Ppm, HeaderAndRows) {
    TempDir d;
    fs::path p = d.path / "f.ppm";
    FILE* f = std::fopen(p.c_str(), "wb");
    const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(write_ppm_frame(f, 2, 1, rgb));
    std::fclose(f);
    EXPECT_EQ(read_file(p), std::string("P6\n2 1\n255\n\x01\x02\x03\x04\x05\x06", 17));
}

}  // namespace

namespace {
TEST(Screenshots, NumberedAfterTheLargestInTheIndex) {
    TempDir d;
    fs::create_directories(d.path / "Rutline");
    std::ofstream(d.path / "Rutline" / "screenshot007.png") << "x";
    std::ofstream(d.path / "Rutline" / "screenshot3.ppm") << "x";
    setenv("XDG_DATA_HOME", d.path.c_str(), 1);
    reset_search_folders();
    App app;
    // A 2 x 2 frame read back bottom row first: red, green / blue, white.
    const uint8_t bottom_up[] = {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};
    save_screenshot(app, 2, 2, bottom_up);
    save_screenshot(app, 2, 2, bottom_up);
    EXPECT_TRUE(fs::exists(d.path / "Rutline" / "screenshot008.png"));
    EXPECT_TRUE(fs::exists(d.path / "Rutline" / "screenshot009.png"));
    EXPECT_NE(console_last_messages(2).find("Saved \"screenshot009.png\""), std::string::npos);
    Image img;
    ASSERT_TRUE(load_image("@screenshot008.png", img));
    ASSERT_EQ(img.width, 2);
    const uint8_t top_down[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    EXPECT_EQ(std::vector<uint8_t>(img.pixels.begin(), img.pixels.begin() + 12), std::vector<uint8_t>(top_down, top_down + 12));
    unsetenv("XDG_DATA_HOME");
    reset_search_folders();
}
}  // namespace

namespace {
// In one process over the generated data, tic by tic: the start-up race has
// a robot in slot 0 and runs behind the main menu; "enter" there starts a
// race from the configured lineup with the player at gate 20; a menu page
// freezes that race; the throttle key reaches the player's bike and no other.
TEST(Riding, TheNewRaceRidesThePlayersBikeAndAMenuFreezesIt) {
    ASSERT_NE(std::getenv("QZ_HOME"), nullptr);
    TempDir d;
    fs::create_directories(d.path / "Rutline");
    std::ofstream(d.path / "Rutline" / "config") << "video_mode=Windowed\n";
    setenv("XDG_DATA_HOME", d.path.c_str(), 1);
    reset_search_folders();
    static App app;  // as the program holds it
    const char* argv[] = {"rutline", "--width", "32", "--height", "24"};
    ASSERT_EQ(app_start(app, 5, argv), START_CONTINUE);
    ASSERT_TRUE(app.track_loaded);
    ASSERT_NE(world_bike(app.world, 0), nullptr);
    EXPECT_EQ(app.world.game->slots[0].kind, ROBOT);
    EXPECT_EQ(app.program.menu, MENU_MAIN);
    EXPECT_EQ(local_ridden_slot(app), NO_SLOT);

    const int enter = app.menu_key_codes[4], esc = app.menu_key_codes[6];
    const int throttle = app.program.config.bindings[BIND_THROTTLE].key_code;
    struct Step {
        int key;           // pressed before the tic; -1 none
        int ridden;        // local_ridden_slot after it
        bool advances;     // the race's tic counter moves on
        float throttle;    // the ridden bike's throttle after the tic
    } steps[] = {
        {-1, NO_SLOT, true, -1},  // the start-up race runs behind the menu
        {enter, 19, true, 0},     // a new race, the menu hidden
        {esc, 19, false, 0},      // the main menu freezes riding
        {throttle, 19, false, 0},
        {esc, 19, true, 1},       // hidden again: the held throttle rides
    };
    for (const Step& s : steps) {
        if (s.key >= 0) handle_event(app, {s.key, true, zumi_time()});
        int before = app.world.game->tic;
        tic_body(app);
        int ridden = local_ridden_slot(app);
        EXPECT_EQ(ridden, s.ridden) << "key " << s.key;
        EXPECT_EQ(app.world.game->tic > before, s.advances) << "key " << s.key;
        if (ridden != NO_SLOT) EXPECT_EQ(world_bike(app.world, ridden)->ride.throttle, s.throttle) << "key " << s.key;
    }
    ASSERT_NE(world_bike(app.world, 17), nullptr);  // gate 18's robot
    EXPECT_EQ(world_bike(app.world, 17)->ride.throttle, 0);
    EXPECT_EQ(app_shutdown(app), 0);
    EXPECT_FALSE(app.world_started);
    unsetenv("XDG_DATA_HOME");
    reset_search_folders();
}
}  // namespace
