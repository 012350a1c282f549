// A temporary home folder, data folder and installed data folder for one
// test: the search folders point into it and are recomputed, and everything
// is removed and restored afterwards. The real home folder is never touched.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/files_local.h"

class TempTree : public ::testing::Test {
protected:
    std::filesystem::path root, home, data, installed;

    void SetUp() override {
        char pattern[] = "/tmp/rutline-files-XXXXXX";
        root = mkdtemp(pattern);
        home = root / "xdg" / "Rutline";
        data = root / "data";
        installed = root / "installed";
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(installed);
        saved_qz_ = getenv("QZ_HOME") ? getenv("QZ_HOME") : "";
        saved_xdg_ = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
        setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
        setenv("QZ_HOME", data.c_str(), 1);
        set_installed_data_folder(installed.c_str());
        reset_search_folders();
        simulate_write_failure_after(-1);
        console_reset_count();
    }

    void TearDown() override {
        simulate_write_failure_after(-1);
        set_installed_data_folder("");
        restore("QZ_HOME", saved_qz_);
        restore("XDG_DATA_HOME", saved_xdg_);
        reset_search_folders();
        std::filesystem::remove_all(root);
    }

    // Writes bytes to a file below the tree, creating its folders.
    static void put(const std::filesystem::path& p, const std::string& bytes) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static std::string get(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Reads a whole stream through read_data_char.
    static std::string read_all(DataFile* f) {
        std::string s;
        for (int c; (c = read_data_char(f)) >= 0;) s += (char)c;
        return s;
    }
    static std::string read_name(const char* name) {
        DataFile* f = open_data_file(name, "rb");
        if (!f) return "<none>";
        std::string s = read_all(f);
        close_data_file(f);
        return s;
    }

private:
    std::string saved_qz_, saved_xdg_;
    static void restore(const char* var, const std::string& v) {
        if (v.empty()) unsetenv(var);
        else setenv(var, v.c_str(), 1);
    }
};
