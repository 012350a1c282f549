// The tic's own bookkeeping with every simulation step a no-op: 160 bikes,
// the speed sort and the 12720 pair calls; and a busy frame's timing step.
#include "core/core.h"

#include <benchmark/benchmark.h>

static void BM_RunTicBookkeeping(benchmark::State& state) {
    auto g = new_game_state();
    static int dummy;
    int bikes = int(state.range(0));
    for (int s = 0; s < bikes; s++) {
        g->slots[size_t(s)].bike = reinterpret_cast<Bike*>(&dummy);
        g->slots[size_t(s)].kind = s % 3 ? ROBOT : LOCAL;
    }
    TicHooks h;
    h.bike_speed = [](int s) { return float((s * 7919) % 101); };
    long pairs = 0;
    h.collide_bikes = [&](int, int, bool) { pairs++; return false; };
    h.update_bike = [](int) {};
    for (auto _ : state) run_tic(*g, h);
    state.counters["pairs_per_tic"] = double(pairs) / double(state.iterations());
}
BENCHMARK(BM_RunTicBookkeeping)->Arg(1)->Arg(40)->Arg(160);

BENCHMARK_MAIN();
