// Frame pacing of PresentFrame at 60 fps (release error and the main thread's
// processor time), and the time from process start to the first presented frame
// against a bare SDL2 + OpenGL program.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/platform/platform.h"

extern char** environ;

namespace {

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
    return v[i];
}

double ThreadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1.0e6;
}

// The limiter as it was, for comparison in the same run: swap, clear, then spin to
// the slot dispatching messages, with no sleep at all.
void SpinningFrame() {
    corvane::EngineState& r = corvane::engine;
    glFlush();
    corvane::platform::SwapWindowBuffers();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    double t = corvane::NowMilliseconds();
    corvane::PumpMessages();
    while (r.nextFrameTime >= t) {
        corvane::PumpMessages();
        t = corvane::NowMilliseconds();
    }
    r.nextFrameTime = corvane::AdvanceFrameSlot(r.nextFrameTime, r.frameInterval, t);
}

void FramePacing(benchmark::State& state, void (*frameStep)()) {
    if (!corvane::bench::StartEngineOnce("bench_frame")) {
        state.SkipWithError("no GL context");
        return;
    }
    corvane::SetFrameRate(60);
    std::vector<double> distance;
    double cpuShare = 0.0;
    for (auto _ : state) {
        distance.clear();
        const double wall0 = corvane::NowMilliseconds(), cpu0 = ThreadCpuMilliseconds();
        for (int frame = 0; frame < 600; ++frame) {
            double slot = corvane::engine.nextFrameTime;
            frameStep();
            distance.push_back(corvane::NowMilliseconds() - slot);
        }
        cpuShare = (ThreadCpuMilliseconds() - cpu0) / (corvane::NowMilliseconds() - wall0);
    }
    state.counters["median_ms"] = Percentile(distance, 0.5);
    state.counters["p99_ms"] = Percentile(distance, 0.99);
    state.counters["max_ms"] = Percentile(distance, 1.0);
    // Processor time of the pacing thread per second of wall time (1.0 = a whole core).
    state.counters["cpu_share"] = cpuShare;
}

void BM_FramePacing60(benchmark::State& state) { FramePacing(state, corvane::PresentFrame); }
void BM_FramePacing60_SpinningBaseline(benchmark::State& state) { FramePacing(state, SpinningFrame); }
BENCHMARK(BM_FramePacing60_SpinningBaseline)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePacing60)->Iterations(1)->Unit(benchmark::kMillisecond);

std::string BinDir() {
    std::string exe = corvane::platform::ModulePath();
    return exe.substr(0, exe.rfind('/') + 1);
}

// Starts a program and returns the milliseconds from just before the start to the
// monotonic time it prints after presenting its first frame.
double TimeToFirstFrame(const std::string& path, const char* argument) {
    int fds[2];
    if (pipe(fds) != 0) return -1.0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(argument), nullptr};
    timespec t0{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1.0;
    }
    std::string text;
    char buf[64];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) return -1.0;
    long long presented = std::atoll(text.c_str());
    long long started = static_cast<long long>(t0.tv_sec) * 1000000000LL + t0.tv_nsec;
    return static_cast<double>(presented - started) / 1.0e6;
}

void StartUpBench(benchmark::State& state, const char* program, const char* argument) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string path = BinDir() + program;
    for (auto _ : state) {
        double ms = TimeToFirstFrame(path, argument);
        if (ms < 0) {
            state.SkipWithError("program failed");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
    }
}

// The bare program's one frame; the runtime's first presented (cleared) frame; the
// runtime's loading screen, after which the user program starts.
void BM_StartUpToFirstFrame_BareSDL(benchmark::State& state) { StartUpBench(state, "bench_startup_bare", nullptr); }
void BM_StartUpToFirstFrame_Runtime(benchmark::State& state) {
    StartUpBench(state, "bench_startup_runtime", "first-frame");
}
void BM_StartUpToUserProgram_Runtime(benchmark::State& state) {
    StartUpBench(state, "bench_startup_runtime", nullptr);
}
BENCHMARK(BM_StartUpToFirstFrame_BareSDL)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUpToFirstFrame_Runtime)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUpToUserProgram_Runtime)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
