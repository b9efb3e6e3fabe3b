// RtString against std::string in the same run: one million 8-byte appends, and
// the resident memory a million short texts take (an array of strings each
// holding a 10-byte text).
#include <fstream>
#include <malloc.h>   // malloc_trim: each measurement starts from a returned heap
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "runtime/values/values.h"

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

// ---------------------------------------------------------------- memory per short text
// Resident bytes gained while a million 10-byte texts are alive, divided by their
// number. Each runs once, after the heap has handed its free pages back.

constexpr int kShortTexts = 1000000;
const char* const kShortText = "tile_00042";

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

void BM_StdVectorShortTextMemory(benchmark::State& state) {
    for (auto _ : state) {
        malloc_trim(0);
        const long before = ResidentBytes();
        std::vector<std::string> texts(kShortTexts);
        for (auto& t : texts) t = kShortText;
        const long grown = ResidentBytes() - before;
        state.counters["bytes_per_text"] = double(grown) / kShortTexts;
        benchmark::DoNotOptimize(texts.data());
    }
}

void BM_RtStringShortTextMemory(benchmark::State& state) {
    for (auto _ : state) {
        malloc_trim(0);
        const long before = ResidentBytes();
        {
            corvane::RtStringArray texts;
            corvane::DimArray(texts, kShortTexts);
            for (int i = 0; i < kShortTexts; ++i) corvane::ArrayElement(texts, i) = kShortText;
            const long grown = ResidentBytes() - before;
            state.counters["bytes_per_text"] = double(grown) / kShortTexts;
            benchmark::DoNotOptimize(texts.elements);
        }
    }
}

BENCHMARK(BM_RtStringShortTextMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdVectorShortTextMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdStringAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtStringAppend)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
