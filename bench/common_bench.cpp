// Figures for the shared helpers: digest throughput and the billboard sort.
#include "common/common.h"

#include <benchmark/benchmark.h>

#include <vector>

static void BM_Ripemd160(benchmark::State& state) {
    std::vector<uint8_t> data(size_t(state.range(0)), 0x5a);
    for (auto _ : state) benchmark::DoNotOptimize(ripemd160(data.data(), data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Ripemd160)->Arg(1 << 20);

static void BM_RadixSort(benchmark::State& state) {
    Mt19937 r;
    mt_seed(r, 1);
    std::vector<KeyIndex> base(size_t(state.range(0)));
    for (uint32_t i = 0; i < base.size(); i++) base[i] = {mt_next(r), i};
    std::vector<KeyIndex> items, scratch(base.size());
    for (auto _ : state) {
        items = base;
        radix_sort(items.data(), items.size(), scratch.data());
        benchmark::DoNotOptimize(items.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_RadixSort)->Arg(2000)->Arg(100000);

static void BM_Mt19937(benchmark::State& state) {
    Mt19937 r;
    mt_seed(r, 1);
    for (auto _ : state) benchmark::DoNotOptimize(mt_next(r));
}
BENCHMARK(BM_Mt19937);

BENCHMARK_MAIN();
