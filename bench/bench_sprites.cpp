// Sprite, polygon, background, collision and save costs, headless, each beside a
// plain baseline measured in the same run:
// - 32 x 32 sprites of one slot at fixed pseudo-random places per frame (DrawSprite,
//   RotateSprite, RotoZoomSprite, two alternating slots) against a bare immediate-
//   mode loop: one bind per frame, glColor and glBegin/glEnd per sprite;
// - EndPoly of 100 000 vertices against glDrawArrays over the same arrays, and
//   appending 10^3, 10^4 and 10^5 vertices (cost per vertex);
// - LoadTiledBackground of a 2048 x 2048 24-bit BMP (1 024 tiles) against reading
//   the file once and uploading 1 024 64 x 64 tiles straight from its bytes;
// - SpriteCollision of two fully overlapping 256 x 256 sprites that never hit
//   against a plain loop over two byte arrays;
// - SaveScreen at 640 x 480 against glReadPixels and fwrite;
// - PresentFrame with background 0 loaded against an empty one.
// Frames end with glFinish so the GL work is counted; the frame-rate limit is off.
// The CPU column is the whole process's time, the GL's rasterising threads
// included: on a shared machine it is the steadier measure of the work done.
#include <benchmark/benchmark.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/platform/platform_files.h"

namespace {

using corvane::engine;

constexpr int kDisc = 1, kDisc2 = 2, kEvenColumns = 3, kOddColumns = 4;

std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/corvane-bench-sprites-" + name;
}

// A 24-bit BMP; pixel(x, y) gives 0xBBGGRR with y from the top.
template <typename F>
std::string WriteBmp(const char* name, int w, int h, F pixel) {
    std::vector<unsigned char> bgr(std::size_t(w) * h * 3); // bottom row first
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned c = pixel(x, y);
            unsigned char* p = &bgr[(std::size_t(h - 1 - y) * w + x) * 3];
            p[0] = (c >> 16) & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = c & 0xFF;
        }
    const std::string path = TempPath(name);
    return corvane::WriteBmp24(path.c_str(), bgr.data(), w, h, w) ? path : std::string();
}

unsigned DiscPixel(int x, int y) {
    const double dx = x - 15.5, dy = y - 15.5;
    return dx * dx + dy * dy <= 16.0 * 16.0 ? 0x40C0FF : 0x8000FF;
}

bool Setup() {
    static int state = 0;
    if (state) return state == 1;
    state = 2;
    if (!corvane::bench::StartEngineOnce("bench_sprites")) return false;
    auto load = [](const std::string& path, int slot) {
        return corvane::LoadSprite(corvane::RtString(path.c_str()), slot) == 1.0;
    };
    if (!load(WriteBmp("disc.bmp", 32, 32, DiscPixel), kDisc) ||
        !load(WriteBmp("disc2.bmp", 32, 32, [](int x, int y) { return DiscPixel(x, y) ^ 0x00FF00u; }), kDisc2) ||
        !load(WriteBmp("even.bmp", 256, 256, [](int x, int) { return x % 2 ? 0x8000FFu : 0xFFFFFFu; }), kEvenColumns) ||
        !load(WriteBmp("odd.bmp", 256, 256, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0x8000FFu; }), kOddColumns))
        return false;
    state = 1;
    return true;
}

// Fixed pseudo-random places on the 640 x 480 surface.
const std::vector<std::pair<float, float>>& Places() {
    static std::vector<std::pair<float, float>> places = [] {
        std::vector<std::pair<float, float>> p;
        unsigned s = 12345;
        for (int i = 0; i < 10000; ++i) {
            s = s * 1103515245u + 12345u;
            const float x = float((s >> 8) % 608);
            s = s * 1103515245u + 12345u;
            p.emplace_back(x, float((s >> 8) % 448));
        }
        return p;
    }();
    return places;
}

void NoLimit() {
    engine.frameInterval = 0.0;
    engine.nextFrameTime = 0.0;
}

template <typename Draw>
void SpriteFrames(benchmark::State& state, Draw draw) {
    if (!Setup()) return state.SkipWithError("no GL context");
    corvane::ResetViewport(0, 0, 0, 0);
    corvane::SetAlpha(-1);  // blending on, as in the baseline
    const auto& places = Places();
    const int n = int(state.range(0));
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < n; ++i) draw(i, places[i].first, places[i].second);
        corvane::FlushQuads(); // as the frame's present does
        glFinish();
    }
    corvane::SetAlpha(0);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DrawSprite(benchmark::State& state) {
    SpriteFrames(state, [](int, float x, float y) { corvane::DrawSprite(kDisc, x, y); });
}
void BM_DrawSpriteTwoSlots(benchmark::State& state) {
    SpriteFrames(state, [](int i, float x, float y) { corvane::DrawSprite(i & 1 ? kDisc2 : kDisc, x, y); });
}
void BM_RotateSprite(benchmark::State& state) {
    SpriteFrames(state, [](int i, float x, float y) { corvane::RotateSprite(kDisc, x, y, i * 7.0); });
}
void BM_RotoZoomSprite(benchmark::State& state) {
    SpriteFrames(state, [](int i, float x, float y) { corvane::RotoZoomSprite(kDisc, x, y, i * 7.0, 1.5); });
}

// The bare loop: one bind per frame, a colour and a glBegin/glEnd per sprite.
void BM_ImmediateBaseline(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    corvane::ResetViewport(0, 0, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const GLuint texture = corvane::TheRenderer().textureNames[kDisc][0];
    const auto& places = Places();
    const int n = int(state.range(0));
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, texture);
        for (int i = 0; i < n; ++i) {
            const float x = places[i].first, y = places[i].second;
            glColor4f(1, 1, 1, 1);
            glBegin(GL_TRIANGLE_FAN);
            glTexCoord2f(0, 0); glVertex2f(x, -y - 32);
            glTexCoord2f(1, 0); glVertex2f(x + 32, -y - 32);
            glTexCoord2f(1, 1); glVertex2f(x + 32, -y);
            glTexCoord2f(0, 1); glVertex2f(x, -y);
            glEnd();
        }
        glFinish();
    }
    glDisable(GL_BLEND);
    corvane::ForgetBoundTexture();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_DrawSprite)->Arg(3700)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_ImmediateBaseline)->Arg(3700)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_DrawSpriteTwoSlots)->Arg(3700)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RotateSprite)->Arg(3700)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RotoZoomSprite)->Arg(3700)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

// ---------------------------------------------------------------- polygons

void FillFan(int n) {
    corvane::StartPoly(-1);
    corvane::PolyVertex(320, 240, 0, 0, 0xFFFFFF);
    for (int i = 0; i < n - 1; ++i) {
        const double a = 2.0 * M_PI * i / (n - 2);
        corvane::PolyVertex(320 + 200 * std::cos(a), 240 - 200 * std::sin(a), 0, 0, 0x00FF00 + (i & 0xFF));
    }
}

void BM_EndPoly100k(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    corvane::ResetViewport(0, 0, 0, 0);
    FillFan(100000);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        corvane::EndPoly();
        glFinish();
    }
}
BENCHMARK(BM_EndPoly100k)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

void BM_DrawArraysBaseline100k(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    corvane::ResetViewport(0, 0, 0, 0);
    FillFan(100000);
    const auto& v = corvane::CurrentPolygonBatch().vertices;
    const GLsizei stride = sizeof(v[0]);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, stride, &v[0].x);
        glColorPointer(4, GL_FLOAT, stride, &v[0].red);
        glDrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(v.size()));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glFinish();
    }
    corvane::ResetViewport(0, 0, 0, 0);
}
BENCHMARK(BM_DrawArraysBaseline100k)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

void BM_PolyVertexAppend(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    const int n = int(state.range(0));
    for (auto _ : state) {
        corvane::StartPoly(-1);
        for (int i = 0; i < n; ++i) corvane::PolyVertex(i & 511, i >> 9, 0, 0, 0xFFFFFF);
        benchmark::DoNotOptimize(corvane::CurrentPolygonBatch().vertices.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PolyVertexAppend)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(1.0);

// ---------------------------------------------------------------- backgrounds

const std::string& BigPicture() {
    static const std::string path =
        WriteBmp("big.bmp", 2048, 2048, [](int x, int y) { return unsigned(x ^ y) * 0x010101u & 0xFFFFFFu; });
    return path;
}

void BM_LoadTiledBackground2048(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    const std::string& path = BigPicture();
    for (auto _ : state) {
        if (!corvane::LoadTiledBackground(2, path.c_str())) return state.SkipWithError("load failed");
        glFinish();
    }
    corvane::FreeBackground(2);
}
BENCHMARK(BM_LoadTiledBackground2048)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime()->MeasureProcessCPUTime();

// The file read once and its rows uploaded as 1 024 tiles with no conversion;
// the previous tiles deleted as a reload deletes them.
void BM_ReadAndUploadTilesBaseline(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    const std::string& path = BigPicture();
    std::vector<GLuint> names(1024, 0);
    for (auto _ : state) {
        glDeleteTextures(GLsizei(names.size()), names.data());
        std::vector<unsigned char> file;
        if (!corvane::platform::ReadFileBytes(path.c_str(), file)) return state.SkipWithError("read failed");
        const unsigned char* pixels = file.data() + 54;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 2048);
        glGenTextures(GLsizei(names.size()), names.data());
        for (int t = 0; t < 1024; ++t) {
            const int column = t % 32, row = t / 32;
            glBindTexture(GL_TEXTURE_2D, names[t]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                         pixels + (std::size_t(row) * 64 * 2048 + std::size_t(column) * 64) * 3);
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glFinish();
    }
    glDeleteTextures(GLsizei(names.size()), names.data());
    corvane::ForgetBoundTexture();
}
BENCHMARK(BM_ReadAndUploadTilesBaseline)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime()->MeasureProcessCPUTime();

void PresentFrames(benchmark::State& state, bool withBackground) {
    if (!Setup()) return state.SkipWithError("no GL context");
    static const std::string picture =
        WriteBmp("screen.bmp", 640, 480, [](int x, int y) { return unsigned(x * 3 + y * 5) & 0xFFFFFFu; });
    if (withBackground) corvane::LoadBackground(corvane::RtString(picture.c_str()));
    else corvane::ClearBackground();
    for (auto _ : state) {
        NoLimit();
        corvane::PresentFrame();
        glFinish();
    }
    corvane::ClearBackground();
}
void BM_PresentFrameWithBackground(benchmark::State& state) { PresentFrames(state, true); }
void BM_PresentFrameEmpty(benchmark::State& state) { PresentFrames(state, false); }
BENCHMARK(BM_PresentFrameWithBackground)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_PresentFrameEmpty)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

// ---------------------------------------------------------------- collision and saving

void BM_SpriteCollision256(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    if (corvane::SpriteCollision(kEvenColumns, 0, 0, kOddColumns, 0, 0) != 0.0) return state.SkipWithError("hit");
    for (auto _ : state) benchmark::DoNotOptimize(corvane::SpriteCollision(kEvenColumns, 0, 0, kOddColumns, 0, 0));
}
BENCHMARK(BM_SpriteCollision256);

void BM_ByteArraysBaseline256(benchmark::State& state) {
    std::vector<unsigned char> a(256 * 256), b(256 * 256);
    for (int i = 0; i < 256 * 256; ++i) a[i] = i % 2 ? 0 : 255, b[i] = i % 2 ? 255 : 0;
    for (auto _ : state) {
        int hit = 0;
        for (int j = 0; j < 256 && !hit; ++j)
            for (int i = 0; i < 256; ++i)
                if (a[j * 256 + i] != 0 && b[j * 256 + i] == 255) {
                    hit = 1;
                    break;
                }
        benchmark::DoNotOptimize(hit);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ByteArraysBaseline256);

void BM_SaveScreen(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    const std::string path = TempPath("save.bmp");
    for (auto _ : state)
        if (corvane::SaveScreen(corvane::RtString(path.c_str())) != 1.0) return state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveScreen)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

void BM_ReadPixelsAndWriteBaseline(benchmark::State& state) {
    if (!Setup()) return state.SkipWithError("no GL context");
    const std::string path = TempPath("save_baseline.bmp");
    std::vector<unsigned char> pixels(640 * 480 * 3);
    unsigned char header[54] = {'B', 'M'};
    for (auto _ : state) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 640, 480, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return state.SkipWithError("no file");
        std::fwrite(header, 1, sizeof header, f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        std::fclose(f);
    }
}
BENCHMARK(BM_ReadPixelsAndWriteBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
