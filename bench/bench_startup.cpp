// Start-up against a bare SDL2 + OpenGL program, the two started in turn: the time
// from process start to the first presented frame and the resident memory then;
// and what the first PlayVideo of a process costs over a later one (the video
// libraries are loaded on that first call).
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/platform/platform.h"

extern char** environ;

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string BinDir() {
    std::string exe = corvane::platform::ModulePath();
    return exe.substr(0, exe.rfind('/') + 1);
}

long long MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Runs a program with up to two arguments; returns what it printed ("" on failure)
// and the monotonic time just before it was started.
std::string Run(const std::string& program, const char* a, const char* b, long long* startedNs) {
    int fds[2];
    if (pipe(fds) != 0) return std::string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string path = BinDir() + program;
    char* argv[] = {path.data(), const_cast<char*>(a), a ? const_cast<char*>(b) : nullptr, nullptr};
    *startedNs = MonotonicNs();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return std::string();
    }
    std::string text;
    char buf[128];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
    return text;
}

struct FirstFrame {
    double ms = -1.0, residentMiB = 0.0;
};

FirstFrame StartOnce(const char* program, const char* argument) {
    long long started = 0;
    std::string out = Run(program, argument, nullptr, &started);
    long long presented = 0;
    long residentKiB = 0;
    FirstFrame f;
    if (std::sscanf(out.c_str(), "%lld %ld", &presented, &residentKiB) != 2) return f;
    f.ms = static_cast<double>(presented - started) / 1.0e6;
    f.residentMiB = static_cast<double>(residentKiB) / 1024.0;
    return f;
}

void SetDrivers() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

// Each iteration starts the bare program and the runtime once each, in turn, so a
// drifting machine touches both alike; the counters are medians.
void BM_StartUpAgainstBareSDL(benchmark::State& state) {
    SetDrivers();
    std::vector<double> bareMs, runtimeMs, bareMiB, runtimeMiB, bareMainMs, runtimeMainMs;
    for (auto _ : state) {
        FirstFrame bare = StartOnce("bench_startup_bare", nullptr);
        FirstFrame runtime = StartOnce("bench_startup_runtime", "first-frame");
        // Where the time goes: up to main (loading and relocating the program and
        // its libraries), then main to the first frame.
        FirstFrame bareMain = StartOnce("bench_startup_bare", "main");
        FirstFrame runtimeMain = StartOnce("bench_startup_runtime", "main");
        if (bare.ms < 0 || runtime.ms < 0 || bareMain.ms < 0 || runtimeMain.ms < 0) {
            state.SkipWithError("a program failed");
            return;
        }
        bareMs.push_back(bare.ms);
        runtimeMs.push_back(runtime.ms);
        bareMainMs.push_back(bareMain.ms);
        runtimeMainMs.push_back(runtimeMain.ms);
        bareMiB.push_back(bare.residentMiB);
        runtimeMiB.push_back(runtime.residentMiB);
        state.SetIterationTime(runtime.ms / 1000.0);
    }
    state.counters["bare_ms"] = Median(bareMs);
    state.counters["runtime_ms"] = Median(runtimeMs);
    state.counters["first_frame_ratio"] = Median(runtimeMs) / Median(bareMs);
    state.counters["bare_main_ms"] = Median(bareMainMs);
    state.counters["runtime_main_ms"] = Median(runtimeMainMs);
    state.counters["bare_rss_MiB"] = Median(bareMiB);
    state.counters["runtime_rss_MiB"] = Median(runtimeMiB);
    state.counters["rss_over_bare_MiB"] = Median(runtimeMiB) - Median(bareMiB);
}
BENCHMARK(BM_StartUpAgainstBareSDL)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// A one-second clip made once with the ffmpeg program; "" when it cannot be made.
std::string Clip() {
    static std::string path = [] {
        std::string p = corvane::platform::TempDirectory() + "bench_startup_clip.avi";
        std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                          "testsrc=s=320x240:r=25:d=1 -c:v mpeg4 '" + p + "'";
        return std::system(cmd.c_str()) == 0 ? p : std::string();
    }();
    return path;
}

// A fresh process plays the clip twice; the first call's wait for its first
// picture over the second's is what loading the video stack adds (in wall time,
// and in processor time, which a busy machine does not stretch).
void BM_FirstPlayVideoOverLaterOne(benchmark::State& state) {
    SetDrivers();
    std::string clip = Clip();
    if (clip.empty()) {
        state.SkipWithError("no ffmpeg program to make the clip");
        return;
    }
    std::vector<double> first, later, firstCpu, laterCpu;
    for (auto _ : state) {
        long long started = 0;
        std::string out = Run("bench_startup_runtime", "video", clip.c_str(), &started);
        double a = 0, b = 0, ac = 0, bc = 0;
        if (std::sscanf(out.c_str(), "%lf %lf %lf %lf", &a, &b, &ac, &bc) != 4) {
            state.SkipWithError("the video did not play");
            return;
        }
        first.push_back(a);
        later.push_back(b);
        firstCpu.push_back(ac);
        laterCpu.push_back(bc);
        state.SetIterationTime(a / 1000.0);
    }
    state.counters["first_ms"] = Median(first);
    state.counters["later_ms"] = Median(later);
    state.counters["added_ms"] = Median(first) - Median(later);
    // Processor time: what the wall time would be on an idle machine.
    state.counters["added_cpu_ms"] = Median(firstCpu) - Median(laterCpu);
}
BENCHMARK(BM_FirstPlayVideoOverLaterOne)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
