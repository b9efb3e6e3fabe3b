// 3D costs, headless:
// - frame 0 of a 200,000-triangle object (static buffer) against a bare loop
//   drawing one buffer of the same 88-byte vertices with glDrawArrays and the
//   same state; the same object blended between two frames (stream upload);
// - keyframe blending per vertex against a plain loop lerping two float arrays
//   of the same size;
// - finishing objects of 25k, 100k and 400k vertices, and the bytes the
//   finished one-frame object holds per triangle.
// Each frame ends with glFinish so the GL work is counted.
#include <benchmark/benchmark.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"

namespace {

using namespace corvane;

constexpr int kSlot = 1;
constexpr int kStrips = 100, kQuadsPerStrip = 1000; // 200,000 triangles

// Raw vertices of a grid of strips in a 4 x 4 square at z = -10; frame f is
// bent a little differently, so blending has work to do.
void AddGridFrame(MeshFrame& frame, int f) {
    MeshVertex marker{};
    marker.packedColour = kMarkerStrip;
    for (int s = 0; s < kStrips; ++s) {
        frame.rawVertices.push_back(marker);
        for (int q = 0; q <= kQuadsPerStrip; ++q)
            for (int r : {s + 1, s}) {
                MeshVertex v{};
                v.position[0] = -2.0f + 4.0f * float(q) / kQuadsPerStrip;
                v.position[1] = -2.0f + 4.0f * float(r) / kStrips;
                v.position[2] = -10.0f + 0.2f * std::sin(float(q + r * (f + 1)) * 0.05f);
                v.packedColour = 0xFFFFFF;
                v.colour[0] = v.colour[1] = v.colour[2] = 1.0f;
                frame.rawVertices.push_back(v);
            }
    }
}

bool BuildGridObject() {
    static bool built = false;
    if (built) return true;
    if (!bench::StartEngineOnce("bench_gfx3d")) return false;
    StartObject(kSlot);
    corvane::Mesh& mesh = TheScene().slots[kSlot].meshes[0];
    mesh.frames[0].rawVertices.clear();
    AddGridFrame(mesh.frames[0], 0);
    mesh.frames.emplace_back();
    AddGridFrame(mesh.frames[1], 1);
    FinishObject();
    built = true;
    return true;
}

void Begin3D() {
    ResetViewport(0, 0, 0, 0);
    SetTexture(-1, -1);
    Start3DMode(1, 100, 90);
    SetTextureOffset3D(0, 0);
}

void BM_DrawStaticFrame(benchmark::State& state) {
    if (!BuildGridObject()) return state.SkipWithError("no GL context");
    Begin3D();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawObjectFrame(kSlot, 0);
        glFinish();
    }
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * kStrips * kQuadsPerStrip * 2, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawStaticFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The bare loop: the same vertices in one buffer, the same GL state, one call.
void BM_DrawBareBuffer(benchmark::State& state) {
    if (!BuildGridObject()) return state.SkipWithError("no GL context");
    Begin3D();
    if (!gl::HasBuffers()) return state.SkipWithError("no buffer objects");
    const corvane::Mesh& mesh = TheScene().slots[kSlot].meshes[0];
    std::vector<MeshVertex> v;
    DecodeTriangles(mesh, mesh.frames[0], v);
    GLuint buffer = 0;
    gl::GenBuffers()(1, &buffer);
    gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, buffer);
    gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(v.size() * sizeof(MeshVertex)), v.data(), GL_STATIC_DRAW_ARB);
    gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
    glEnable(GL_COLOR_MATERIAL);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);
        gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, buffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, GLsizei(sizeof(MeshVertex)), nullptr);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(v.size()));
        glDisableClientState(GL_VERTEX_ARRAY);
        gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
        glFinish();
    }
    gl::DeleteBuffers()(1, &buffer);
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * kStrips * kQuadsPerStrip * 2, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawBareBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_DrawBlendedFrames(benchmark::State& state) {
    if (!BuildGridObject()) return state.SkipWithError("no GL context");
    Begin3D();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawObject(kSlot, 0, 1, 0.5, 0);
        glFinish();
    }
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * kStrips * kQuadsPerStrip * 2, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawBlendedFrames)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_BlendKeyframes(benchmark::State& state) {
    if (!BuildGridObject()) return state.SkipWithError("no GL context");
    const corvane::Mesh& mesh = TheScene().slots[kSlot].meshes[0];
    std::vector<MeshVertex> out;
    const float offset[2] = {0, 0};
    for (auto _ : state) {
        BlendFrames(mesh, mesh.frames[0], mesh.frames[1], 0.5f, offset, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/vertex"] = benchmark::Counter(double(state.iterations()) * double(out.size()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlendKeyframes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Two float arrays of the same vertex count (position and normal, 6 floats a
// vertex), lerped into a third.
void BM_BlendPlainArrays(benchmark::State& state) {
    if (!BuildGridObject()) return state.SkipWithError("no GL context");
    const corvane::Mesh& mesh = TheScene().slots[kSlot].meshes[0];
    const std::size_t vertices = TriangleVertexCount(mesh, mesh.frames[0]);
    std::vector<float> a(vertices * 6, 1.0f), b(vertices * 6, 2.0f), out(vertices * 6);
    for (auto _ : state) {
        const float w = 0.5f;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = b[i] + (a[i] - b[i]) * w;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/vertex"] = benchmark::Counter(double(state.iterations()) * double(vertices),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlendPlainArrays)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// FinishObject on n vertices in strips of 1000 (about one triangle a vertex).
void BM_FinishObject(benchmark::State& state) {
    if (!bench::StartEngineOnce("bench_gfx3d")) return state.SkipWithError("no GL context");
    const int n = int(state.range(0));
    double bytesPerTriangle = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StartObject(2);
        for (int i = 0; i < n; ++i) {
            if (i % 1000 == 0) NewStrip();
            AddVertex(i % 1000 * 0.01, (i / 1000) * 0.01 + (i % 2) * 0.01, std::sin(i * 0.1), 0, 0, 0xFFFFFF);
        }
        state.ResumeTiming();
        FinishObject();
        state.PauseTiming();
        const corvane::Mesh& m = TheScene().slots[2].meshes[0];
        bytesPerTriangle = double(MeshBytesHeld(m)) / double(TriangleVertexCount(m, m.frames[0]) / 3);
        ReleaseSlot(TheScene(), 2);
        state.ResumeTiming();
    }
    state.counters["ns/vertex"] = benchmark::Counter(double(state.iterations()) * n,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes/triangle/keyframe"] = bytesPerTriangle;
}
BENCHMARK(BM_FinishObject)->Arg(25000)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
