// The scene3d example's frame, headless, with and without the cube's stencil shadow:
// floor, cube, the crystal from its model file, two lights, fog, the text line.
// Each frame ends with glFinish so the GL work is counted, without the frame-rate wait.
#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <string>

#include "bench/bench_support.h"
#include "examples/common/media_writer.h"
#include "examples/scene3d/scene.h"
#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"

namespace {

bool BuildOnce() {
    static int state = 0;  // 0 not tried, 1 built, 2 failed
    if (state) return state == 1;
    const std::string log = corvane::ErrorLogPath();
    const std::string file = log.substr(0, log.rfind('/') + 1) + "bench_crystal.msha";
    state = media_writer::WriteText(file, scene::CrystalModelText()) && scene::Build(corvane::RtString(file.c_str()))
                ? 1 : 2;
    return state == 1;
}

void BM_Scene3dFrame(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_scene3d_example") || !BuildOnce())
        return state.SkipWithError("no GL context or model");
    const bool shadow = state.range(0) != 0;
    int frame = 0;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        scene::Draw(30, 25, frame++, true, shadow);
        corvane::SetViewport(0, 0, 0, 0);
        corvane::PrintText("fps 60  shadow on", 8, 8);
        glFinish();
    }
    state.SetLabel(shadow ? "shadow" : "no shadow");
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Scene3dFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
