// Frame pacing of PresentFrame at 60 fps, and the time from process start to the
// first presented frame against a bare SDL2 + OpenGL program.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/frame/frame.h"
#include "runtime/platform/platform.h"

extern char** environ;

namespace {

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
    return v[i];
}

void BM_FramePacing60(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_frame")) {
        state.SkipWithError("no GL context");
        return;
    }
    corvane::SetFrameRate(60);
    std::vector<double> distance;
    for (auto _ : state) {
        distance.clear();
        for (int frame = 0; frame < 600; ++frame) {
            double slot = corvane::engine.renderer.nextFrameTime;
            corvane::PresentFrame();
            distance.push_back(corvane::NowMilliseconds() - slot);
        }
    }
    state.counters["median_ms"] = Percentile(distance, 0.5);
    state.counters["p99_ms"] = Percentile(distance, 0.99);
    state.counters["max_ms"] = Percentile(distance, 1.0);
}
BENCHMARK(BM_FramePacing60)->Iterations(1)->Unit(benchmark::kMillisecond);

std::string BinDir() {
    std::string exe = corvane::platform::ModulePath();
    return exe.substr(0, exe.rfind('/') + 1);
}

// Runs a program to its end and returns the wall time in milliseconds.
double TimeProcess(const std::string& path) {
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -1.0;
    int status = 0;
    waitpid(pid, &status, 0);
    auto t1 = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void StartUpBench(benchmark::State& state, const char* program) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string path = BinDir() + program;
    for (auto _ : state) {
        double ms = TimeProcess(path);
        if (ms < 0) {
            state.SkipWithError("program failed");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
    }
}

void BM_StartUpToFirstFrame_Runtime(benchmark::State& state) { StartUpBench(state, "bench_startup_runtime"); }
void BM_StartUpToFirstFrame_BareSDL(benchmark::State& state) { StartUpBench(state, "bench_startup_bare"); }
BENCHMARK(BM_StartUpToFirstFrame_BareSDL)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUpToFirstFrame_Runtime)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
