// Processor time of the waits: a program blocked in WaitForMouse for 5 s, and one
// presenting empty frames at 60 fps for 5 s, each as processor time over wall time
// (1.0 = one core busy). The baseline is the same engine while its main thread
// just sleeps: what the process's other threads (sound output) cost anyway.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bench/bench_support.h"
#include "runtime/frame/frame.h"
#include "runtime/input_sound/input.h"

namespace {

constexpr double kSeconds = 5.0;

double CpuSeconds(int who) {
    rusage u;
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Measures body() and reports process and main-thread processor time per wall second.
template <typename Body>
void Measure(benchmark::State& state, Body body) {
    double process = 0, thread = 0, wall = 0;
    for (auto _ : state) {
        double p0 = CpuSeconds(RUSAGE_SELF), t0 = CpuSeconds(RUSAGE_THREAD);
        auto w0 = std::chrono::steady_clock::now();
        body();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        process += CpuSeconds(RUSAGE_SELF) - p0;
        thread += CpuSeconds(RUSAGE_THREAD) - t0;
    }
    state.counters["wall_s"] = wall;
    state.counters["process_cpu_per_wall"] = process / wall;
    state.counters["main_thread_cpu_per_wall"] = thread / wall;
}

void PushLeftButton(bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

void BM_BaselineSleep(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_input_wait")) return state.SkipWithError("no GL context");
    Measure(state, [] { std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds)); });
}
BENCHMARK(BM_BaselineSleep)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// WaitForMouse until a click that comes from another thread after 5 s, as a
// user's would.
void WaitForLateClick() {
    std::thread user([] {
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        PushLeftButton(true);
        PushLeftButton(false);
    });
    corvane::WaitForMouse();
    user.join();
}

void BM_WaitForMouseBlocked(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_input_wait")) return state.SkipWithError("no GL context");
    Measure(state, WaitForLateClick);
}
BENCHMARK(BM_WaitForMouseBlocked)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A key held through the wait must not turn the idle step into a busy loop (it
// wakes on changes, not on held keys); this shows what the wait then costs.
void BM_WaitForMouseWithKeyHeld(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_input_wait")) return state.SkipWithError("no GL context");
    SDL_Event key;
    std::memset(&key, 0, sizeof key);
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = SDL_SCANCODE_LSHIFT;
    SDL_PushEvent(&key);
    Measure(state, WaitForLateClick);
    key.type = SDL_KEYUP;
    SDL_PushEvent(&key);
    corvane::PumpMessages();
}
BENCHMARK(BM_WaitForMouseWithKeyHeld)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PresentFrame60Empty(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_input_wait")) return state.SkipWithError("no GL context");
    corvane::SetFrameRate(60);
    Measure(state, [] {
        for (int frame = 0; frame < static_cast<int>(kSeconds * 60); ++frame) corvane::PresentFrame();
    });
}
BENCHMARK(BM_PresentFrame60Empty)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
