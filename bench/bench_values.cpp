// Values library speed, each against a plain baseline in the same run:
// Random(100) against std::mt19937, 3-D array access against std::vector<double>,
// and ReplaceText / SplitText at three text sizes (linear time shows as a ~10x ratio
// per step), SplitText also against a std::vector<std::string>.
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "runtime/values/values.h"

namespace {

using namespace corvane;

// ---------------------------------------------------------------- random draws

void BM_Random100(benchmark::State& state) {
    SeedRandom(12345);
    for (auto _ : state) benchmark::DoNotOptimize(Random(100));
    state.SetItemsProcessed(state.iterations());
}

void BM_Mt19937Uniform100(benchmark::State& state) {
    std::mt19937 engine(12345);
    std::uniform_int_distribution<int> dist(0, 100);
    for (auto _ : state) benchmark::DoNotOptimize(dist(engine));
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Random100);
BENCHMARK(BM_Mt19937Uniform100);

// ---------------------------------------------------------------- 3-D array

constexpr int kSide = 100;

void BM_RtArray3D(benchmark::State& state) {
    RtArray a;
    DimArray(a, kSide, kSide, kSide);
    for (auto _ : state) {
        for (int k = 0; k < kSide; ++k)
            for (int j = 0; j < kSide; ++j)
                for (int i = 0; i < kSide; ++i) {
                    double& e = ArrayElement(a, i, j, k);
                    e = e + 1.0;
                }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide * kSide);
}

void BM_Vector3D(benchmark::State& state) {
    std::vector<double> v(kSide * kSide * kSide, 0.0);
    for (auto _ : state) {
        for (int k = 0; k < kSide; ++k)
            for (int j = 0; j < kSide; ++j)
                for (int i = 0; i < kSide; ++i) {
                    double& e = v[i + kSide * (j + kSide * k)];
                    e = e + 1.0;
                }
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide * kSide);
}

BENCHMARK(BM_RtArray3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vector3D)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- replace and split
// The argument is the number of occurrences or pieces, 10 bytes of text each:
// 100,000 is the 1 MB case, 1,000,000 the 10x case; 10,000 adds a smaller step.

RtString Repeated(const char* unit, int times) {
    RtString s("");
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

void BM_ReplaceText(benchmark::State& state) {
    const RtString text = Repeated("123456789X", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RtString out = ReplaceText(text, "X", "YY");
        benchmark::DoNotOptimize(out.data);
    }
    state.SetBytesProcessed(state.iterations() * text.length);
}

void BM_SplitText(benchmark::State& state) {
    const RtString text = Repeated("abcdefghi,", static_cast<int>(state.range(0)));
    RtStringArray pieces;
    for (auto _ : state) {
        const double n = SplitText(text, pieces, ",");
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * text.length);
}

// The baseline: the same pieces into a std::vector<std::string> kept across
// iterations, as the array above is (its strings keep their storage).
void BM_SplitStdVector(benchmark::State& state) {
    const RtString text = Repeated("abcdefghi,", static_cast<int>(state.range(0)));
    std::vector<std::string> pieces;
    for (auto _ : state) {
        const std::string_view t(text.Buffer(), text.length);
        std::size_t count = 0;
        for (std::size_t i = 0; i < t.size();) {
            while (i < t.size() && t[i] == ',') ++i;
            if (i == t.size()) break;
            ++count;
            while (i < t.size() && t[i] != ',') ++i;
        }
        pieces.resize(count);
        std::size_t piece = 0;
        for (std::size_t i = 0; i < t.size();) {
            while (i < t.size() && t[i] == ',') ++i;
            if (i == t.size()) break;
            const std::size_t start = i;
            while (i < t.size() && t[i] != ',') ++i;
            pieces[piece++].assign(t.data() + start, i - start);
        }
        benchmark::DoNotOptimize(pieces.data());
    }
    state.SetBytesProcessed(state.iterations() * text.length);
}

// A fresh array each time: the first split a program makes, storage included.
void BM_SplitTextFresh(benchmark::State& state) {
    const RtString text = Repeated("abcdefghi,", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RtStringArray pieces;
        const double n = SplitText(text, pieces, ",");
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * text.length);
}

void BM_SplitStdVectorFresh(benchmark::State& state) {
    const RtString text = Repeated("abcdefghi,", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const std::string_view t(text.Buffer(), text.length);
        std::vector<std::string> pieces;
        for (std::size_t i = 0; i < t.size();) {
            while (i < t.size() && t[i] == ',') ++i;
            if (i == t.size()) break;
            const std::size_t start = i;
            while (i < t.size() && t[i] != ',') ++i;
            pieces.emplace_back(t.data() + start, i - start);
        }
        benchmark::DoNotOptimize(pieces.data());
    }
    state.SetBytesProcessed(state.iterations() * text.length);
}

BENCHMARK(BM_ReplaceText)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitText)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitStdVector)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitTextFresh)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitStdVectorFresh)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
