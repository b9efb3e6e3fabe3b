// 2D costs, headless:
// - a full 640 x 480 screen of text (80 x 60 cells of the built-in font) per
//   frame, against a plain immediate-mode loop drawing as many textured quads
//   with one bind;
// - loading a 1024 x 1024 24-bit BMP into a sprite slot (RGBA conversion, key,
//   bleeding, plain texture and the whole mipmap chain), against reading the
//   file and uploading it as one texture with no conversion.
// Each frame ends with glFinish so the GL work is counted, without the frame-rate wait.
#include <benchmark/benchmark.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/frame/frame.h"
#include "runtime/gfx2d/gfx2d_internal.h"

namespace {

constexpr int kColumns = 80, kRows = 60;

void BM_TextScreen(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_gfx2d")) return state.SkipWithError("no GL context");
    corvane::LoadFont(corvane::RtString(""), 0);
    std::vector<corvane::RtString> lines;
    for (int row = 0; row < kRows; ++row) {
        std::string line;
        for (int c = 0; c < kColumns; ++c) line += char(33 + (row * kColumns + c) % 94);
        lines.emplace_back(line.c_str());
    }
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        for (int row = 0; row < kRows; ++row) corvane::PrintText(lines[row], 0, row * 8);
        corvane::FlushQuads(); // as the frame's present does
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TextScreen)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

// The same 4800 textured 7 x 8 quads from one bound texture, with nothing else.
void BM_PlainQuadsBaseline(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_gfx2d")) return state.SkipWithError("no GL context");
    corvane::LoadFont(corvane::RtString(""), 0);
    const GLuint texture = corvane::TheRenderer().textureNames[corvane::Renderer::kFirstFontSlot][0];
    corvane::ResetViewport(0, 0, 0, 0);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBegin(GL_QUADS);
        for (int row = 0; row < kRows; ++row) {
            for (int c = 0; c < kColumns; ++c) {
                const int code = 33 + (row * kColumns + c) % 94;
                const float u0 = float(code & 15) * (112.0f / 128.0f / 16.0f), u1 = u0 + 112.0f / 128.0f / 16.0f;
                const float v0 = float(7 - (code >> 4)) / 8.0f, v1 = v0 + 1.0f / 8.0f;
                const float x = float(c * 7), y = float(row * 8);
                glTexCoord2f(u0, v0); glVertex3f(x, -y - 8, 0);
                glTexCoord2f(u1, v0); glVertex3f(x + 7, -y - 8, 0);
                glTexCoord2f(u1, v1); glVertex3f(x + 7, -y, 0);
                glTexCoord2f(u0, v1); glVertex3f(x, -y, 0);
            }
        }
        glEnd();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainQuadsBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime()->MeasureProcessCPUTime();

// A 1024 x 1024 24-bit BMP in the temporary directory, written once.
const std::string& BigBmp() {
    static std::string path;
    if (!path.empty()) return path;
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_gfx2d_1024.bmp";
    const int w = 1024, h = 1024, stride = w * 3;
    std::vector<unsigned char> f(54 + std::size_t(stride) * h);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = (unsigned char)(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, std::uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &f[54 + std::size_t(y) * stride + x * 3];
            p[0] = (unsigned char)(x ^ y), p[1] = (unsigned char)(x + y), p[2] = (unsigned char)((x * y) >> 4);
            if (((x / 64) + (y / 64)) % 5 == 0) p[0] = 0x80, p[1] = 0, p[2] = 0xFF; // key-coloured patches
        }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out) {
        std::fwrite(f.data(), 1, f.size(), out);
        std::fclose(out);
    }
    return path;
}

void BM_LoadSprite1024(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_gfx2d")) return state.SkipWithError("no GL context");
    const corvane::RtString path(BigBmp().c_str());
    for (auto _ : state) {
        if (corvane::LoadSprite(path, 1) != 1.0) return state.SkipWithError("load failed");
        glFinish();
    }
    corvane::FreeSlot(1);
}
BENCHMARK(BM_LoadSprite1024)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_ReadAndUploadBaseline(benchmark::State& state) {
    if (!corvane::bench::StartEngineOnce("bench_gfx2d")) return state.SkipWithError("no GL context");
    const std::string& path = BigBmp();
    for (auto _ : state) {
        std::vector<unsigned char> bytes; // a fresh buffer per load, as a loader has
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return state.SkipWithError("no file");
        std::fseek(f, 0, SEEK_END);
        bytes.resize(std::size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        if (got != bytes.size()) return state.SkipWithError("short read");
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 1024, 1024, 0, GL_BGR, GL_UNSIGNED_BYTE, bytes.data() + 54);
        glFinish();
        glDeleteTextures(1, &name);
    }
}
BENCHMARK(BM_ReadAndUploadBaseline)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
