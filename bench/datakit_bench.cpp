// Data kit: how long building the default data tree takes, in all and by
// part (the track, the shared pictures, the part shapes), as milliseconds
// and as a share of the whole.
#include "tools/datakit/datakit_local.h"

#include <chrono>
#include <cstdio>

namespace {

template <typename F>
double best_ms(F f, int runs = 3) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        best = ms < best ? ms : best;
    }
    return best;
}

}  // namespace

int main() {
    double whole = best_ms([] { datakit::build_data_tree(); });
    double track = best_ms([] {
        datakit::FileTree t;
        datakit::add_track_veviredoze(t);
    });
    double pictures = best_ms([] {
        datakit::FileTree t;
        datakit::add_shared_pictures(t);
    });
    double shapes = best_ms([] {
        datakit::FileTree t;
        datakit::add_part_shapes(t);
    });
    std::printf("whole tree      %8.1f ms\n", whole);
    std::printf("veviredoze      %8.1f ms  (%.2f of the whole)\n", track, track / whole);
    std::printf("shared pictures %8.1f ms  (%.2f of the whole)\n", pictures, pictures / whole);
    std::printf("part shapes     %8.3f ms  (%.4f of the whole)\n", shapes, shapes / whole);
    return 0;
}
