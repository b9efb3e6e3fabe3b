// One million 8-byte appends: RtString against std::string in the same run.
#include <string>

#include <benchmark/benchmark.h>

#include "runtime/values/rt_string.h"

namespace {

constexpr int kAppends = 1000000;
const char* const kPiece = "abcdefgh";

void BM_RtStringAppend(benchmark::State& state) {
    for (auto _ : state) {
        corvane::RtString s;
        for (int i = 0; i < kAppends; ++i) s += kPiece;
        benchmark::DoNotOptimize(s.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}

void BM_StdStringAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < kAppends; ++i) s += kPiece;
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}

BENCHMARK(BM_StdStringAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtStringAppend)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
