// The headless runner: its arguments, its controls script, and the program
// itself on the generated default track.
#include "tools/sim/sim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;

int parse(std::vector<const char*> args, SimArgs& out) {
    args.insert(args.begin(), "rutline-sim");
    return parse_sim_args(int(args.size()), args.data(), out);
}

TEST(SimArgs, GoodArguments) {
    SimArgs a;
    ASSERT_EQ(parse({"--track", "veviredoze", "--seconds=2.5", "--riders", "40", "--controls", "c.txt", "--seed=7",
                     "--quiet"},
                    a),
              0);
    EXPECT_EQ(a.track, "veviredoze");
    EXPECT_DOUBLE_EQ(a.seconds, 2.5);
    EXPECT_EQ(a.riders, 40);
    EXPECT_EQ(a.controls, "c.txt");
    EXPECT_TRUE(a.seed_given);
    EXPECT_EQ(a.seed, 7u);
    EXPECT_TRUE(a.quiet);
    SimArgs d;
    ASSERT_EQ(parse({}, d), 0);
    EXPECT_EQ(d.riders, 1);
    EXPECT_FALSE(d.seed_given);
    EXPECT_EQ(parse({"--seed", "4294967295", "--riders", "160"}, d), 0);
    EXPECT_EQ(d.seed, 4294967295u);
}

TEST(SimArgs, BadArgumentsGiveStatus2) {
    const std::vector<std::vector<const char*>> cases = {
        {"--riders", "0"},      {"--riders", "161"},    {"--riders", "4x"},    {"--seconds", "0"},
        {"--seconds", "-1"},    {"--seconds", "nan"},   {"--seconds", "inf"},  {"--seconds", "1e9"},
        {"--seed", "-1"},       {"--seed", "4294967296"}, {"--track"},         {"--track="},
        {"--controls"},         {"--frobnicate"},       {"extra"},             {"--quiet=1"},
    };
    for (const auto& c : cases) {
        SimArgs a;
        EXPECT_EQ(parse(c, a), 2) << c[0];
    }
}

TEST(SimControls, LinesHoldFromTheirTicInOrder) {
    std::vector<ControlStep> steps;
    std::string error;
    ASSERT_TRUE(parse_controls("# wait, then go\n\n"
                               "200 0 1 0 0 0 0 0 0 0\n"
                               "0 0 0 0 0 0 0 1 0 0\r\n"
                               "200 -0.5 0.8 0 0 1 0 0 0 -1\n",
                               steps, error))
        << error;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].tic, 0);
    EXPECT_EQ(steps[0].controls.v[CONTROL_SIT_DAB], 1.0f);
    EXPECT_EQ(steps[1].tic, 200);
    EXPECT_EQ(steps[2].controls.v[CONTROL_STEER], -0.5f);  // of two lines for a tic, the later holds
    EXPECT_EQ(steps[2].controls.v[CONTROL_LEAN], -1.0f);
    for (const char* bad : {"1 2 3\n", "-1 0 0 0 0 0 0 0 0 0\n", "5 0 0 0 0 0 0 0 0 0 0\n", "5 0 nan 0 0 0 0 0 0 0\n",
                            "x 0 0 0 0 0 0 0 0 0\n", "99999999999 0 0 0 0 0 0 0 0 0\n"}) {
        EXPECT_FALSE(parse_controls(std::string("0 0 0 0 0 0 0 0 0 0\n") + bad, steps, error)) << bad;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
        EXPECT_TRUE(steps.empty());
    }
}

// Runs the program with a home folder of its own; returns the exit status,
// standard output and standard error.
struct Outcome {
    int status = -1;
    std::string out, err;
};

class SimProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sim_test_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::ofstream(dir / "ride.txt") << "0 0 0 0 0 0 0 1 0 0\n"
                                           "64 0 0.7 0 0 0 0 0 0 0\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    Outcome run(const std::string& args) {
        std::string cmd = "XDG_DATA_HOME='" + dir.string() + "' '" SIM_PROGRAM "' " + args + " >'" +
                          (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
        Outcome r;
        int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir / "out");
        r.err = slurp(dir / "err");
        return r;
    }

    static std::string line_of(const std::string& out, const std::string& key) {
        size_t at = out.find(key);
        if (at == std::string::npos) return "";
        return out.substr(at, out.find('\n', at) - at);
    }

    fs::path dir;
};

TEST_F(SimProgram, TheSameCommandTwicePrintsTheSameHash) {
    std::string args = "--riders 3 --seconds 3 --seed 11 --controls '" + (dir / "ride.txt").string() + "'";
    Outcome a = run(args), b = run(args);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.err, "");
    EXPECT_EQ(line_of(a.out, "track: "), "track: veviredoze");
    std::string hash = line_of(a.out, "hash: ");
    EXPECT_EQ(hash.size(), 6u + 40u) << a.out;
    EXPECT_EQ(line_of(b.out, "hash: "), hash);
    EXPECT_EQ(line_of(b.out, "digest: "), line_of(a.out, "digest: "));
    EXPECT_EQ(line_of(a.out, "tics: "), "tics: 384");
    EXPECT_NE(line_of(a.out, "rider 2: distance"), "") << a.out;
    // Another seed moves the riders differently.
    Outcome c = run("--riders 3 --seconds 3 --seed 12 --controls '" + (dir / "ride.txt").string() + "'");
    EXPECT_NE(line_of(c.out, "hash: "), hash);
}

TEST_F(SimProgram, BadArgumentsTrackOrControlsGiveStatus2) {
    std::ofstream(dir / "bad.txt") << "0 1 2\n";
    for (const std::string& args : {std::string("--riders 0"), std::string("--track nowhere"),
                                    "--controls '" + (dir / "missing.txt").string() + "'",
                                    "--controls '" + (dir / "bad.txt").string() + "'"}) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err, "") << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

// A minute of forty riders: no number goes bad and nothing is printed to the
// console. The longest test here; the figures are the benchmark's.
TEST_F(SimProgram, FortyRidersForAMinuteRunWithoutNanOrWarning) {
    Outcome r = run("--riders 40 --seconds 60 --seed 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(line_of(r.out, "tics: "), "tics: 7680");
    EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
}

}  // namespace
