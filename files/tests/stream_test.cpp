#include <sys/stat.h>

#include <cstdio>
#include <random>

#include "files/tests/temp_tree.h"

namespace fs = std::filesystem;

namespace {

// Bytes that compress somewhat but still span several 16 KiB input blocks.
std::string sample_bytes(size_t n) {
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < n) {
        if (rng() % 3) s += "line " + std::to_string(rng() % 1000) + "\n";
        else s += (char)(rng() & 255);
    }
    s.resize(n);
    return s;
}

// Compresses a file with the system's gzip tool into `out`.
void gzip_file(const fs::path& in, const fs::path& out, bool store_name) {
    std::string cmd = std::string("gzip -c ") + (store_name ? "-N " : "-n ") + in.string() + " > " +
                      out.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace

using Folders = TempTree;
using Resolve = TempTree;
using Gzip = TempTree;
using Writing = TempTree;

TEST_F(Folders, ComeFromTheEnvironmentNormalised) {
    EXPECT_EQ(std::string(search_folder(0)), home.string() + "/");
    EXPECT_EQ(std::string(search_folder(1)), data.string() + "/");
    EXPECT_EQ(std::string(search_folder(2)), installed.string() + "/");
    EXPECT_EQ(search_folder(3), nullptr);
    EXPECT_EQ(home_folder(), home.string() + "/");

    // Doubled slashes collapse; a relative XDG_DATA_HOME falls back to HOME.
    std::string saved_home = getenv("HOME") ? getenv("HOME") : "";
    setenv("QZ_HOME", (root.string() + "//data//").c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/path", 1);
    setenv("HOME", root.c_str(), 1);
    reset_search_folders();
    EXPECT_EQ(std::string(search_folder(0)), root.string() + "/.local/share/Rutline/");
    EXPECT_EQ(std::string(search_folder(1)), data.string() + "/");
    setenv("HOME", saved_home.c_str(), 1);

    // Without QZ_HOME the executable's folder is the data folder.
    unsetenv("QZ_HOME");
    reset_search_folders();
    EXPECT_EQ(std::string(search_folder(1)),
              fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
}

TEST_F(Folders, PrepareHomeFolderCreatesItAndNamesTheLog) {
    EXPECT_FALSE(fs::exists(home));
    EXPECT_EQ(prepare_home_folder(), home.string() + "/lastlog.txt");
    EXPECT_TRUE(fs::is_directory(home));
}

TEST_F(Resolve, HomeBeatsDataBeatsArchive) {
    put(data / "x", "data plain");
    put(home / "x.gz", "");  // replaced below by real gzip data
    put(root / "src", "home gz");
    gzip_file(root / "src", home / "x.gz", false);
    put(data / "y", "data y");
    put(data / "pack.saf", "6 y\n6 z\n-\narchy\narchz\n");
    build_file_index();

    EXPECT_EQ(read_name("@x"), "home gz");  // folders in order, plain then .gz in each
    EXPECT_EQ(read_name("@y"), "data y");   // a folder beats an archive
    EXPECT_EQ(read_name("@z"), "archz\n");  // only in the archive
    EXPECT_EQ(read_name("@Z"), "archz\n");  // index lookups ignore case
    EXPECT_EQ(read_name("@nothing"), "<none>");
    EXPECT_EQ(read_name((data / "y").c_str()), "data y");  // a plain path
}

TEST_F(Resolve, IndexOrderAndArchiveRules) {
    put(data / "Tracks/Foo/Desc", "A");
    put(home / "tracks/foo/desc", "B");
    // b.saf sorts after a.saf, so a.saf's copy of "both" wins; the header
    // line without "-" makes bad.saf add nothing, yet it uses up a source.
    put(data / "a.saf", "2 both\n3 a//b\n3 twin.gz\n3 twin\n-\nA1xyzgzzpln");
    put(data / "b.saf", "2 both\n-\nB1");
    put(data / "bad.saf", "2 lost\n");
    put(data / "c.saf", "3 only_c\n-\nccc");
    static int ticks;
    static std::string log;
    ticks = 0;
    log.clear();
    set_file_index_tick([] { ticks++; });
    set_files_log([](const char* text) { log += text; });
    const auto& names = build_file_index();
    set_file_index_tick(nullptr);
    set_files_log(nullptr);
    EXPECT_EQ(ticks, 7 + 4);  // 7 folders opened (3 roots, 4 below them), 4 archives read
    EXPECT_EQ(log, "Listing directories\nListing archives\nCreating file list\nFile index complete\n");

    EXPECT_EQ(find_in_file_index("TRACKS/FOO/DESC"), find_in_file_index("tracks/foo/desc"));
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return compare_names(n, "tracks/foo/desc") == 0; }),
              1);
    const FileIndexEntry* e = file_index_entry(find_in_file_index("tracks/foo/desc"));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->source, 0);  // the home folder's copy

    EXPECT_EQ(read_name("@both"), "A1");
    EXPECT_EQ(read_name("@a/b"), "xyz");
    DataFile* member = open_data_file("@a/b", "rb");
    ASSERT_TRUE(seek_data_file(member, 1));  // counted from the member's start
    EXPECT_EQ(read_all(member), "yz");
    EXPECT_FALSE(seek_data_file(member, 3));
    close_data_file(member);
    EXPECT_EQ(read_name("@twin"), "pln");  // plain member beats its .gz twin
    EXPECT_FALSE(file_index_contains("lost"));
    // Sources: 0 home, 1 data, 2 installed; archives 3 (a), 4 (b), 5 (bad), 6 (c).
    EXPECT_EQ(file_index_entry(find_in_file_index("only_c"))->source, 6);

    char line[256];
    ASSERT_TRUE(describe_file_index_entry(find_in_file_index("both"), line, sizeof line));
    EXPECT_EQ(std::string(line), "both -> " + (data / "a.saf").string());
    EXPECT_FALSE(describe_file_index_entry(file_index_size(), line, sizeof line));
}

TEST_F(Resolve, MalformedArchivesAreLeftOutWithAMessage) {
    struct Case {
        const char* header;
        bool ok;
    } cases[] = {
        {"3 ok\n-\nabc", true},
        {"-3 neg\n-\nabc", false},              // negative size
        {"4 past\n-\nabc", false},              // runs past the end
        {"1 a\n99999999999 b\n-\nabc", false},  // offset far past the end
        {"x name\n-\n", false},                 // no number
        {"3\n-\nabc", false},                   // no name
        {"3 ok\n", false},                      // no "-" line
    };
    for (const Case& c : cases) {
        std::string text = c.header;
        FILE* f = fmemopen(text.data(), text.size(), "rb");
        std::vector<ArchiveMember> members;
        console_reset_count();
        EXPECT_EQ(read_archive_header(f, (int64_t)text.size(), "t.saf", members), c.ok) << c.header;
        EXPECT_EQ(members.empty(), !c.ok) << c.header;
        EXPECT_EQ(console_message_count(), c.ok ? 0 : 1) << c.header;
        fclose(f);
    }
}

TEST_F(Resolve, NamesCannotLeaveTheSearchFolders) {
    put(root / "secret", "s");
    put(data / "ok", "fine");
    for (const char* name : {"@../secret", "@../../secret", "@a/../../secret", "@..", "@"})
        EXPECT_EQ(open_data_file(name, "rb"), nullptr) << name;
    EXPECT_EQ(open_data_file("@../escaped", "wb"), nullptr);
    EXPECT_FALSE(fs::exists(root / "xdg" / "escaped"));
    EXPECT_EQ(read_name("@/ok"), "fine");  // a leading "/" stays inside
    EXPECT_EQ(read_name("@//ok"), "fine");
}

TEST_F(Gzip, SystemGzipReadsBackByteForByte) {
    std::string bytes = sample_bytes(200000);
    put(root / "payload", bytes);
    for (bool store_name : {false, true}) {
        fs::path gz = data / (store_name ? "named.bin.gz" : "plain.bin.gz");
        gzip_file(root / "payload", gz, store_name);
        std::string name = store_name ? "@named.bin" : "@plain.bin";
        DataFile* f = open_data_file(name.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::string got;
        char block[777];
        for (int n; (n = read_data_bytes(f, block, sizeof block)) > 0;) got.append(block, (size_t)n);
        EXPECT_FALSE(seek_data_file(f, 0));  // compressed streams do not seek
        close_data_file(f);
        EXPECT_TRUE(got == bytes) << name;
    }
    // The same data as an archive member, between two plain members.
    std::string gz = get(data / "named.bin.gz");
    put(home / "pack.saf", "2 before\n" + std::to_string(gz.size()) + " inner.bin.gz\n2 after\n-\nAB" +
                               gz + "CD");
    build_file_index();
    EXPECT_TRUE(read_name("@inner.bin") == bytes);
    EXPECT_EQ(read_name("@after"), "CD");
    EXPECT_EQ(console_message_count(), 0);
}

TEST_F(Gzip, CorruptOrTruncatedStreamsEndCleanly) {
    std::string bytes = sample_bytes(100000);
    put(root / "payload", bytes);
    gzip_file(root / "payload", root / "good.gz", false);
    std::string gz = get(root / "good.gz");
    std::string corrupt = gz;
    for (size_t i = gz.size() / 2; i < gz.size() / 2 + 64; i++) corrupt[i] = (char)(corrupt[i] ^ 0x5a);
    struct Case {
        const char* name;
        std::string stored;
    } cases[] = {
        {"@corrupt", corrupt},
        {"@truncated", gz.substr(0, gz.size() / 2)},
        {"@headeronly", gz.substr(0, 10)},
    };
    for (const Case& c : cases) {
        put(data / (std::string(c.name + 1) + ".gz"), c.stored);
        console_reset_count();
        DataFile* f = open_data_file(c.name, "rb");
        ASSERT_NE(f, nullptr) << c.name;
        std::string got = read_all(f);
        EXPECT_EQ(read_data_char(f), -1);  // stays at its end
        close_data_file(f);
        EXPECT_NE(got, bytes) << c.name;
        if (c.name != std::string("@corrupt")) {
            EXPECT_EQ(got, bytes.substr(0, got.size())) << c.name;
        }
        EXPECT_EQ(console_message_count(), 1) << c.name;
    }
    // A broken header fails the open.
    put(data / "badhead.gz", "\x1f\x8b\x09\x00rest");
    EXPECT_EQ(open_data_file("@badhead", "rb"), nullptr);
}

TEST_F(Writing, CreatesFoldersKeepsBackupsAndSeeks) {
    DataFile* f = open_data_file("@deep/er/config", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(print_data_file(f, "a=%d\n", 1));
    close_data_file(f);
    EXPECT_EQ(get(home / "deep/er/config"), "a=1\n");

    for (const char* text : {"two", "three"}) {
        f = open_data_file("@deep/er/config", "~wb");
        ASSERT_NE(f, nullptr);
        write_data_text(f, text);
        close_data_file(f);
    }
    EXPECT_EQ(get(home / "deep/er/config"), "three");
    EXPECT_EQ(get(home / "deep/er/config.~1~"), "a=1\n");
    EXPECT_EQ(get(home / "deep/er/config.~2~"), "two");

    // When the home folder cannot be made, writes land in the next folder.
    put(root / "xdg2" / "Rutline", "a file where the home folder should be");
    setenv("XDG_DATA_HOME", (root / "xdg2").c_str(), 1);
    reset_search_folders();
    EXPECT_TRUE(replace_file_contents("@elsewhere", "e"));
    EXPECT_EQ(get(data / "elsewhere"), "e");

    put(data / "s", "0123456789");
    f = open_data_file("@s", "rb");
    ASSERT_TRUE(seek_data_file(f, 4));
    EXPECT_EQ(read_data_char(f), '4');
    EXPECT_FALSE(seek_data_file(f, -1));
    char line[4];
    EXPECT_STREQ(read_data_line(f, line, sizeof line), "567");
    close_data_file(f);
}

TEST_F(Writing, ReplacementKeepsTheOldFileWhenAWriteFails) {
    put(home / "config", "old contents\n");
    std::string big(100000, 'n');
    for (long long fail_after : {0LL, 10LL, 99999LL}) {
        simulate_write_failure_after(fail_after);
        EXPECT_FALSE(replace_file_contents("@config", big)) << fail_after;
        EXPECT_EQ(get(home / "config"), "old contents\n") << fail_after;
    }
    simulate_write_failure_after(-1);
    // A target that cannot be replaced (a folder in its place) fails too.
    fs::create_directories(home / "blocked" / "inside");
    EXPECT_FALSE(replace_file_contents("@blocked", "x"));
    EXPECT_TRUE(fs::is_directory(home / "blocked" / "inside"));

    EXPECT_TRUE(replace_file_contents("@config", big));
    EXPECT_EQ(get(home / "config"), big);
    int files = 0;
    for (auto& e : fs::directory_iterator(home)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);  // no temporary file left behind

    put(home / "from", "moved");
    put(home / "to", "replaced");
    EXPECT_TRUE(rename_data_file("@from", "@to"));
    EXPECT_EQ(get(home / "to"), "moved");
    EXPECT_FALSE(rename_data_file("@missing", "@to"));
    EXPECT_EQ(get(home / "to"), "moved");
}

TEST_F(Writing, FileToStringCap) {
    put(data / "small", std::string("a\0b", 3));
    auto s = file_to_string("@small");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(*s, std::string("a\0b", 3));

    std::string big(FILE_TO_STRING_CAP - 1, 'q');
    put(data / "just_under", big);
    auto under = file_to_string("@just_under");
    ASSERT_TRUE(under.has_value());
    EXPECT_EQ(under->size(), big.size());

    big.push_back('q');
    put(data / "at_cap", big);
    console_reset_count();
    EXPECT_FALSE(file_to_string("@at_cap").has_value());
    EXPECT_NE(console_last_messages(1).find("too long for file_to_string"), std::string::npos);
    EXPECT_FALSE(file_to_string("@absent").has_value());
}

TEST_F(Resolve, TrackListUsesDescriptionsAndSorts) {
    put(data / "tracks/zeta/terrain.hf", "h");
    put(data / "tracks/zeta/desc", "Alpine Run\r\nmore");
    put(data / "tracks/beta/terrain.hf.gz", "h");
    put(data / "tracks/beta/terrain.hf", "h");  // listed once
    put(data / "tracks/nodesc/terrain.hf", "h");
    put(data / "tracks/notrack/terrain.HF", "h");  // the suffix is case-sensitive
    put(data / "tracks/beta/desc", std::string("Beta Hills\0junk", 15));
    auto tracks = list_tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].display_name, "Alpine Run");
    EXPECT_EQ(tracks[0].folder, "tracks/zeta");
    EXPECT_EQ(tracks[1].display_name, "Beta Hills");
    EXPECT_EQ(tracks[2].display_name, "tracks/nodesc");
}
