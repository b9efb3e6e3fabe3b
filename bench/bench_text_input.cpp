// The text-input loop: the cost of one of its frames (buffer 3 redrawn from its
// tiles, the line drawn, a typed character read) against a bare PresentFrame, both
// with the limiter off; and the time from the Enter key event to InputText's return
// at 60 frames per second.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "bench/bench_support.h"
#include "runtime/engine/engine_state.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/gfx2d/gfx2d_testing.h"

namespace {

using Clock = std::chrono::steady_clock;

void PushEnter(bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = SDL_SCANCODE_RETURN;
    e.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&e);
}

constexpr int kFrames = 300;
int g_frames = 0;
void CountFrame() {
    if (++g_frames == kFrames) PushEnter(true);
}

void LimiterOff() { corvane::engine.frameInterval = 0.0; }

void BM_BarePresentFrame(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_text_input")) return state.SkipWithError("no GL context");
    LimiterOff();
    for (auto _ : state) corvane::PresentFrame();
}
BENCHMARK(BM_BarePresentFrame)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);

void BM_InputTextFrame(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_text_input")) return state.SkipWithError("no GL context");
    LimiterOff();
    corvane::SetTextInputFrameHookForTesting(CountFrame);
    double seconds = 0;
    for (auto _ : state) {
        g_frames = 0;
        corvane::RtString text("Type here: the quick brown fox");
        auto t0 = Clock::now();
        corvane::InputText(text, 20, 200);
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        PushEnter(false);
        corvane::PresentFrame();
    }
    corvane::SetTextInputFrameHookForTesting(nullptr);
    state.counters["us_per_frame"] = seconds * 1e6 / (double(g_frames) * state.iterations());
}
BENCHMARK(BM_InputTextFrame)->Iterations(3)->Unit(benchmark::kMillisecond);

// Enter pushed from another thread at a moment unrelated to the frame grid.
void BM_EnterToReturn(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_text_input")) return state.SkipWithError("no GL context");
    corvane::SetFrameRate(60);
    double total = 0, worst = 0;
    int n = 0;
    for (auto _ : state) {
        Clock::time_point pushed;
        std::thread typist([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(120 + 7 * (n % 5)));
            pushed = Clock::now();
            PushEnter(true);
        });
        corvane::RtString text;
        corvane::InputText(text, 20, 200);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - pushed).count();
        typist.join();
        PushEnter(false);
        corvane::PresentFrame();
        total += ms, worst = std::max(worst, ms), ++n;
    }
    state.counters["mean_ms"] = total / n;
    state.counters["max_ms"] = worst;
    state.counters["frame_slot_ms"] = 1000.0 / 60.0;
}
BENCHMARK(BM_EnterToReturn)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
