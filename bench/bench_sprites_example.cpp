// The sprites example's frame, headless, at 2,000 and 10,000 balls: the tiled
// background, every ball moved, tested against the ship with SpriteCollision and drawn
// with DrawSprite, the ship and the score line; against a plain immediate-mode loop
// drawing as many textured quads of the same picture with one bind and nothing else.
// Each frame ends with glFinish so the GL work is counted, without the frame-rate wait.
#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <cmath>
#include <string>

#include "bench/bench_support.h"
#include "examples/common/media_writer.h"
#include "examples/sprites/swarm.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "runtime/gfx2d/gfx2d_internal.h"

namespace {

// The example's pictures, written once into the temporary directory.
bool LoadPictures() {
    static int state = 0;  // 0 not tried, 1 loaded, 2 failed
    if (state) return state == 1;
    const std::string dir = corvane::ErrorLogPath().substr(0, corvane::ErrorLogPath().rfind('/') + 1);
    using media_writer::WriteBmp;
    const bool written =
        WriteBmp(dir + "bench_background.bmp", 640, 480,
                 [](int x, int y) -> std::uint32_t { return ((x / 64 + y / 64) % 2) ? 0x203060 : 0x283C78; }) &&
        WriteBmp(dir + "bench_ball.bmp", 8, 8,
                 [](int x, int y) -> std::uint32_t { return std::hypot(x - 3.5, y - 3.5) < 4 ? 0xE02020 : 0xFF0080; }) &&
        WriteBmp(dir + "bench_ship.bmp", 32, 32,
                 [](int x, int y) -> std::uint32_t { return (x >= 16 - y / 2 && x < 16 + y / 2) ? 0x20D040 : 0xFF0080; });
    using corvane::RtString;
    state = written && corvane::LoadSprite(RtString((dir + "bench_ball.bmp").c_str()), swarm::kBall) == 1 &&
                    corvane::LoadSprite(RtString((dir + "bench_ship.bmp").c_str()), swarm::kShip) == 1
                ? 1 : 2;
    if (state == 1) corvane::LoadBackground(RtString((dir + "bench_background.bmp").c_str()));
    return state == 1;
}

void BM_SpritesExampleFrame(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_sprites_example") || !LoadPictures())
        return state.SkipWithError("no GL context or pictures");
    swarm::Swarm balls;
    swarm::Scatter(balls, int(state.range(0)));
    double score = 0;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        corvane::DrawBackground(0);
        score += swarm::Step(balls, 304, 400);
        corvane::DrawSprite(swarm::kShip, 304, 400);
        corvane::DrawRect(0, 0, 639, swarm::kTop - 1, 0x000000);
        corvane::PrintText("score " + corvane::RtString(score), 8, 8);
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpritesExampleFrame)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The same number of 8 x 8 quads of the ball's texture, at the same moving places.
void BM_PlainSpritesBaseline(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_sprites_example") || !LoadPictures())
        return state.SkipWithError("no GL context or pictures");
    swarm::Swarm balls;
    swarm::Scatter(balls, int(state.range(0)));
    const corvane::Renderer& r = corvane::TheRenderer();
    const GLuint texture = r.textureNames[swarm::kBall][0];
    const float u = float(r.imageWidth[swarm::kBall]) / float(r.textureWidth[swarm::kBall]);
    const float v = float(r.imageHeight[swarm::kBall]) / float(r.textureHeight[swarm::kBall]);
    corvane::ResetViewport(0, 0, 0, 0);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBegin(GL_QUADS);
        for (int i = 0; i < balls.count; ++i) {
            double& x = corvane::ArrayElement(balls.x, i);
            double& y = corvane::ArrayElement(balls.y, i);
            x += corvane::ArrayElement(balls.dx, i);
            y += corvane::ArrayElement(balls.dy, i);
            if (x < 0 || x > 632) corvane::ArrayElement(balls.dx, i) = -corvane::ArrayElement(balls.dx, i);
            if (y < swarm::kTop || y > 472) corvane::ArrayElement(balls.dy, i) = -corvane::ArrayElement(balls.dy, i);
            const float fx = float(std::ceil(x)), fy = float(std::ceil(y));
            glTexCoord2f(0, 0); glVertex3f(fx, -fy - 8, 0);
            glTexCoord2f(u, 0); glVertex3f(fx + 8, -fy - 8, 0);
            glTexCoord2f(u, v); glVertex3f(fx + 8, -fy, 0);
            glTexCoord2f(0, v); glVertex3f(fx, -fy, 0);
        }
        glEnd();
        glFinish();
    }
    corvane::ForgetBoundTexture();  // bound outside BindSlot
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainSpritesBaseline)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
