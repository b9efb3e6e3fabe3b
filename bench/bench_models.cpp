// Model files and collision, headless:
// - LoadObject of a 10-frame model of 100,000 corners a frame, binary against
//   reading the same file into memory, MSHA text against a plain strtof loop
//   over the same tokens (bytes per second all four); with the binary load, the
//   bytes the loaded mesh holds per triangle and keyframe, after loading and
//   after one blended draw;
// - sphere, box and ray queries against a 20,000-triangle object, hits and
//   misses apart, against a brute-force loop over the same triangles without
//   the bounding rejection.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx3d/collision.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"
#include "runtime/gfx3d/model_file.h"
#include "runtime/platform/platform_files.h"

namespace {

using namespace corvane;

constexpr int kFrames = 10, kQuads = 20000; // a marker and four corners a quad: 100,000 corners a frame

struct ModelFiles {
    std::string text, binary;
    bool ok = false;
};

// The MSHA text of the model: quads on a wavy grid, each frame moved a little.
const ModelFiles& Files() {
    static ModelFiles files = [] {
        ModelFiles f;
        if (!bench::StartEngineOnce("bench_models")) return f;
        const std::string dir = platform::TempDirectory();
        f.text = dir + "bench_model.msha";
        f.binary = dir + "bench_model.bin";
        std::string s = "MSHA 1\n4 0 0 1 0 1 1 0 1\n" + std::to_string(kQuads) + "\n";
        for (int q = 0; q < kQuads; ++q) {
            const int p = q * 4;
            s += std::to_string(q % 16 * 16) + " 128 " + std::to_string(q % 8 * 32) + " 4 " + std::to_string(p) + " 0 " +
                 std::to_string(p + 1) + " 1 " + std::to_string(p + 2) + " 2 " + std::to_string(p + 3) + " 3\n";
        }
        s += std::to_string(kFrames) + "\n";
        char number[64];
        for (int fr = 0; fr < kFrames; ++fr) {
            s += std::to_string(kQuads * 4) + "\n";
            for (int q = 0; q < kQuads; ++q) {
                const float x = float(q % 200) * 0.1f, y = float(q / 200) * 0.1f;
                const float xs[4] = {x, x + 0.1f, x + 0.1f, x}, ys[4] = {y, y, y + 0.1f, y + 0.1f};
                for (int k = 0; k < 4; ++k) {
                    std::snprintf(number, sizeof number, "%.4f %.4f %.4f\n", double(xs[k]), double(ys[k]),
                                  0.3 * std::sin(double(xs[k] + ys[k]) + fr * 0.3));
                    s += number;
                }
            }
        }
        if (!platform::WriteFileBytes(f.text.c_str(), s.data(), s.size())) return f;
        f.ok = LoadObject(f.text.c_str(), 1) == 1.0 && SaveObject(f.binary.c_str(), 1) == 1.0 &&
               TheScene().slots[1].meshes[0].frames.size() == kFrames &&
               TheScene().slots[1].meshes[0].frames[0].corners.size() == std::size_t(kQuads) * 5;
        return f;
    }();
    return files;
}

std::int64_t FileSize(const std::string& path) {
    platform::FileInfo info;
    return platform::GetFileInfo(path.c_str(), &info) ? std::int64_t(info.size) : 0;
}

void BM_LoadObjectBinary(benchmark::State& state) {
    const ModelFiles& f = Files();
    if (!f.ok) return state.SkipWithError("no model");
    for (auto _ : state)
        if (LoadObject(f.binary.c_str(), 2) != 1.0) return state.SkipWithError("load failed");
    state.SetBytesProcessed(state.iterations() * FileSize(f.binary));
    // What the loaded keyframes hold, before and after a blended draw.
    const corvane::Mesh& mesh = TheScene().slots[2].meshes[0];
    const double keyframeTriangles = double(TriangleVertexCount(mesh, mesh.frames[0]) / 3) * double(mesh.frames.size());
    state.counters["bytes/triangle/keyframe"] = double(MeshBytesHeld(mesh)) / keyframeTriangles;
    DrawObject(2, 0, 1, 0.5, 0);
    state.counters["drawn:bytes/triangle/keyframe"] = double(MeshBytesHeld(mesh)) / keyframeTriangles;
}
BENCHMARK(BM_LoadObjectBinary)->Unit(benchmark::kMillisecond);

void BM_ReadBinaryIntoMemory(benchmark::State& state) {
    const ModelFiles& f = Files();
    if (!f.ok) return state.SkipWithError("no model");
    std::vector<unsigned char> bytes;
    for (auto _ : state) {
        platform::ReadFileBytes(f.binary.c_str(), bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize(f.binary));
}
BENCHMARK(BM_ReadBinaryIntoMemory)->Unit(benchmark::kMillisecond);

void BM_LoadObjectText(benchmark::State& state) {
    const ModelFiles& f = Files();
    if (!f.ok) return state.SkipWithError("no model");
    for (auto _ : state)
        if (LoadObject(f.text.c_str(), 3) != 1.0) return state.SkipWithError("load failed");
    state.SetBytesProcessed(state.iterations() * FileSize(f.text));
}
BENCHMARK(BM_LoadObjectText)->Unit(benchmark::kMillisecond);

// The floor for any text reader: read the file, split it and strtof every token.
void BM_StrtofTokens(benchmark::State& state) {
    const ModelFiles& f = Files();
    if (!f.ok) return state.SkipWithError("no model");
    std::vector<unsigned char> bytes;
    for (auto _ : state) {
        platform::ReadFileBytes(f.text.c_str(), bytes);
        bytes.push_back(0);
        float sum = 0;
        const char* p = reinterpret_cast<const char*>(bytes.data());
        const char* end = p + bytes.size() - 1;
        char token[64];
        while (p < end) {
            while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
            std::size_t n = 0;
            while (p < end && *p != ' ' && *p != '\n' && *p != '\r' && *p != '\t') {
                if (n < sizeof token - 1) token[n++] = *p;
                ++p;
            }
            token[n] = 0;
            if (n) sum += std::strtof(token, nullptr);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * FileSize(f.text));
}
BENCHMARK(BM_StrtofTokens)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- collision

constexpr int kCollisionSlot = 5;

// 20,000 triangles of a bumpy 100 x 100 grid of quads, 10 units wide, at the origin.
const corvane::Mesh* CollisionMesh() {
    static const corvane::Mesh* mesh = [] {
        if (!bench::StartEngineOnce("bench_models")) return static_cast<const corvane::Mesh*>(nullptr);
        StartObject(kCollisionSlot);
        AddVertex(0, 0, 0, 0, 0, -1);
        const auto h = [](int i, int j) { return 0.2 * std::sin(i * 0.3) * std::cos(j * 0.2); };
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j) {
                const double x0 = i * 0.1 - 5, x1 = x0 + 0.1, y0 = j * 0.1 - 5, y1 = y0 + 0.1;
                for (const auto& v : {std::tuple{x0, y0, h(i, j)}, {x1, y0, h(i + 1, j)}, {x1, y1, h(i + 1, j + 1)},
                                      {x0, y0, h(i, j)}, {x1, y1, h(i + 1, j + 1)}, {x0, y1, h(i, j + 1)}})
                    AddVertex(std::get<0>(v), std::get<1>(v), std::get<2>(v), 0, 0, 0xFFFFFF);
            }
        FinishObject();
        const corvane::Mesh* m = &TheScene().slots[kCollisionSlot].meshes[0];
        return TriangleVertexCount(*m, m->frames[0]) == 60000 ? m : nullptr;
    }();
    return mesh;
}

enum Shape { kSphere, kBox, kRay };

// Query places: hits near random points of the surface, misses well beyond the bound.
std::vector<std::array<double, 3>> Places(bool hit) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-4.5, 4.5);
    std::vector<std::array<double, 3>> out;
    for (int i = 0; i < 256; ++i) out.push_back(hit ? std::array<double, 3>{u(rng), u(rng), 0.05} : std::array<double, 3>{u(rng) + 30, u(rng), 20});
    return out;
}

void Query(benchmark::State& state, Shape shape, bool hit, bool bruteForce) {
    const corvane::Mesh* mesh = CollisionMesh();
    if (!mesh) return state.SkipWithError("no object");
    const MeshFrame* frame = &mesh->frames[0];
    TheScene().transformDepth = 0;
    TheScene().transformLevels[0] = TransformLevel{};
    const auto places = Places(hit);
    const double half[3][3] = {{0.3, 0, 0}, {0, 0, 0.3}, {0, 0.1, 0}};
    const double down[3] = {0, 0, -1};
    std::size_t i = 0, hits = 0;
    for (auto _ : state) {
        const auto& p = places[i++ % places.size()];
        double r = 0;
        if (bruteForce) {
            const double c[3] = {p[0], p[1], p[2]};
            r = shape == kSphere ? SphereTouchesFrame(*mesh, *frame, c, 0.3, false)
                : shape == kBox  ? BoxTouchesFrame(*mesh, *frame, c, half, false)
                                 : RayHitsFrame(*mesh, *frame, c, down, false);
        } else {
            r = shape == kSphere ? CollideSphere(kCollisionSlot, 0, 0.3, p[0], p[1], p[2])
                : shape == kBox  ? CollideBox(kCollisionSlot, 0, p[0], p[1], p[2], 0.6, 0.2)
                                 : CollideRay(kCollisionSlot, 0, p[0], p[1], p[2], 0, 0, -1);
        }
        hits += r != 0;
    }
    if (std::int64_t(hits) != (hit ? std::int64_t(state.iterations()) : 0)) state.SkipWithError("unexpected result");
    state.SetItemsProcessed(state.iterations());
}

void BM_Sphere(benchmark::State& s) { Query(s, kSphere, s.range(0), s.range(1)); }
void BM_Box(benchmark::State& s) { Query(s, kBox, s.range(0), s.range(1)); }
void BM_Ray(benchmark::State& s) { Query(s, kRay, s.range(0), s.range(1)); }
// Arguments: hit (1) or miss (0); brute force (1) or the command (0).
BENCHMARK(BM_Sphere)->ArgsProduct({{1, 0}, {0, 1}})->ArgNames({"hit", "brute"});
BENCHMARK(BM_Box)->ArgsProduct({{1, 0}, {0, 1}})->ArgNames({"hit", "brute"});
BENCHMARK(BM_Ray)->ArgsProduct({{1, 0}, {0, 1}})->ArgNames({"hit", "brute"});

} // namespace

BENCHMARK_MAIN();
