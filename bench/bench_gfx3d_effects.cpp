// Effect costs, headless:
// - a 50,000-triangle object drawn plainly (the baseline), with bump mapping,
//   with cel shading and as a shadow volume inside the pass, all in one run;
// - the shadow-volume adjacency for 10,000, 40,000 and 160,000 triangles (time
//   per triangle should stay about flat);
// - normals with tangents for 100,000 corners.
// Each drawn frame ends with glFinish so the GL work is counted.
#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"

namespace {

using namespace corvane;

constexpr int kSlot = 2;
constexpr int kStrips = 50, kQuadsPerStrip = 500; // 50,000 triangles

// A wavy sheet of strips in a 4 x 4 square at z = -10, texture coordinates
// across it so tangents exist.
void AddSheet(MeshFrame& frame, int strips, int quads) {
    MeshVertex marker{};
    marker.packedColour = kMarkerStrip;
    for (int s = 0; s < strips; ++s) {
        frame.rawVertices.push_back(marker);
        for (int q = 0; q <= quads; ++q)
            for (int r : {s + 1, s}) {
                MeshVertex v{};
                v.position[0] = -2.0f + 4.0f * float(q) / float(quads);
                v.position[1] = -2.0f + 4.0f * float(r) / float(strips);
                v.position[2] = -10.0f + 0.2f * std::sin(float(q + r) * 0.05f);
                v.texCoord[0] = float(q) / float(quads);
                v.texCoord[1] = float(r) / float(strips);
                v.packedColour = (q / 50) % 2 ? 0xFFFFFF : 0x80C0FF; // two colours: two toon rows
                v.colour[0] = v.colour[1] = v.colour[2] = 1.0f;
                frame.rawVertices.push_back(v);
            }
    }
}

bool BuildSheet() {
    static bool built = false;
    if (built) return true;
    if (!bench::StartEngineOnce("bench_gfx3d_effects")) return false;
    StartObject(kSlot);
    corvane::Mesh& mesh = TheScene().slots[kSlot].meshes[0];
    mesh.frames[0].rawVertices.clear();
    AddSheet(mesh.frames[0], kStrips, kQuadsPerStrip);
    FinishObject();
    built = true;
    return true;
}

void DrawWith(benchmark::State& state, int effect) {
    if (!BuildSheet()) return state.SkipWithError("no GL context");
    ResetViewport(0, 0, 0, 0);
    SetTexture(-1, -1);
    Start3DMode(1, 100, 90);
    if (effect) SetLight(-effect, 0xFFFFFF, 1, 3, 5, 0, 0, 0, 1);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        DrawObjectFrame(kSlot, 0);
        glFinish();
    }
    if (effect) SetLight(-effect, 0, 0, 0, 0, 0, 0, 0, 0);
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * kStrips * kQuadsPerStrip * 2, benchmark::Counter::kIsRate);
}

void BM_DrawPlain(benchmark::State& state) { DrawWith(state, 0); }
void BM_DrawBump(benchmark::State& state) { DrawWith(state, 1); }
void BM_DrawCel(benchmark::State& state) { DrawWith(state, 2); }
void BM_DrawShadowVolume(benchmark::State& state) { DrawWith(state, 3); }
// The GL's own threads do the drawing: wall-clock time is what counts.
BENCHMARK(BM_DrawPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawBump)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawCel)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawShadowVolume)->Unit(benchmark::kMillisecond)->UseRealTime();

// A closed-ish grid of triangles with shared corners, as a mesh's triangle list.
std::vector<MeshVertex> GridTriangles(int triangles) {
    const int side = int(std::sqrt(double(triangles) / 2.0));
    std::vector<MeshVertex> out;
    out.reserve(std::size_t(side) * side * 6);
    const auto vertex = [](int x, int y) {
        MeshVertex v{};
        v.position[0] = float(x) * 0.01f;
        v.position[1] = float(y) * 0.01f;
        v.position[2] = 0.1f * std::sin(float(x + y));
        return v;
    };
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}})
                out.push_back(vertex(x + dx, y + dy));
    return out;
}

void BM_Adjacency(benchmark::State& state) {
    const std::vector<MeshVertex> triangles = GridTriangles(int(state.range(0)));
    std::vector<EdgeNeighbour> edges;
    for (auto _ : state) {
        BuildEdgeNeighbours(triangles.data(), triangles.size(), edges);
        benchmark::DoNotOptimize(edges.data());
    }
    state.counters["s/triangle"] = benchmark::Counter(double(triangles.size() / 3),
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}
BENCHMARK(BM_Adjacency)->Arg(10000)->Arg(40000)->Arg(160000)->Unit(benchmark::kMillisecond);

void BM_NormalsWithTangents(benchmark::State& state) {
    // 100,000 corners: 500 strips of 200, with one marker each.
    MeshObject mesh;
    mesh.frames.emplace_back();
    AddSheet(mesh.frames[0], 500, 99);
    CompactFrames(mesh);
    for (auto _ : state) {
        mesh.normalsDone = false;
        benchmark::DoNotOptimize(ComputeNormals(mesh, true, true));
    }
    state.counters["corners"] = double(mesh.frames[0].corners.size());
}
BENCHMARK(BM_NormalsWithTangents)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
