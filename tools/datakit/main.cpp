// datakit: writes the default data tree (tracks, part shapes, pictures) into
// the data folder given on the command line. Files whose bytes are already
// there are left alone, so a rebuild touches nothing.
#include "tools/datakit/datakit_local.h"

#include "common/common.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: datakit <data folder>\n");
        return 2;
    }
    set_console_sink([](const char* text) { std::fputs(text, stderr); });
    datakit::FileTree tree = datakit::build_data_tree();
    int written = datakit::write_tree(tree, argv[1]);
    if (written < 0) return 1;
    if (written > 0) std::printf("datakit: %d of %zu files written to %s\n", written, tree.size(), argv[1]);
    return 0;
}
