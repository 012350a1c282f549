// Reading a whole data file as text for the physics readers.
//
// Stand-in until the data-file layer can return a whole file: an "@" name is
// looked up in the data folder named by QZ_HOME, anything else is a path.
#include <cstdio>
#include <cstdlib>

#include "physics/physics_local.h"

std::optional<std::string> read_data_text(const char* name) {
    std::string path = name;
    if (!path.empty() && path[0] == '@') {
        const char* home = std::getenv("QZ_HOME");
        path = std::string(home && *home ? home : ".") + "/" + path.substr(1);
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, got);
        if (text.size() > (16u << 20)) break;  // no shape file is this large
    }
    std::fclose(f);
    return text;
}
