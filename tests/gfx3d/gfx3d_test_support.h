// Helpers of the 3D tests: a fixture that enters 3D mode on a cleared frame,
// objects built vertex by vertex, and lit-pixel measurements.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"
#include "tests/gfx2d/gfx2d_test_support.h"

namespace gfx3d_test {

using corvane::engine;
using gfx2d_test::Rgba;
using gfx2d_test::Screen;

// A frame's triangle vertices as drawing decodes them (frame A, no offset).
inline std::vector<corvane::MeshVertex> Triangles(const corvane::MeshObject& mesh, std::size_t frame) {
    std::vector<corvane::MeshVertex> out;
    corvane::DecodeTriangles(mesh, mesh.frames.at(frame), out);
    return out;
}

// The full expansion of one frame, every frame on its own: its corners walked
// into list, strip and fan triangles and each triangle vertex decoded whole.
// What the compact keyframes must reproduce bit for bit.
inline std::vector<corvane::MeshVertex> ReferenceTriangles(const corvane::MeshObject& mesh, std::size_t frameIndex) {
    using namespace corvane;
    const MeshFrame& frame = mesh.frames.at(frameIndex);
    std::vector<MeshVertex> out;
    std::uint32_t mode = kMarkerList;
    int pending = 0, parity = 0;
    std::size_t held[3] = {0, 0, 0};
    for (std::size_t k = 0; k < frame.corners.size(); ++k) {
        const std::uint32_t ci = frame.corners[k].colourIndex;
        const std::uint32_t c = ci < mesh.colours.size() ? mesh.colours[ci] : 0xFFFFFFu;
        if (IsMarker(c)) {
            mode = c, pending = 0;
            if (c == kMarkerStrip) parity = 0;
            continue;
        }
        held[pending++] = k;
        if (pending < 3) continue;
        for (std::size_t h : held) DecodeCorner(mesh, frame, h, &out.emplace_back());
        if (mode == kMarkerList) {
            pending = 0;
        } else if (mode == kMarkerStrip) {
            pending = 2, held[parity == 0 ? 0 : 1] = held[2], parity ^= 1;
        } else {
            pending = 2, held[1] = held[2];
        }
    }
    return out;
}

// Positions and normals B + (A - B) * weight, the rest from A, offset added to u, v;
// frame A alone when the lengths differ.
inline std::vector<corvane::MeshVertex> ReferenceBlend(const std::vector<corvane::MeshVertex>& a,
                                                       const std::vector<corvane::MeshVertex>& b, float weight,
                                                       const float offset[2]) {
    std::vector<corvane::MeshVertex> out = a;
    if (b.size() != a.size()) weight = 0.0f;
    for (std::size_t k = 0; k < out.size(); ++k) {
        corvane::MeshVertex& v = out[k];
        if (weight != 0.0f)
            for (int i = 0; i < 3; ++i) {
                v.position[i] = b[k].position[i] + (v.position[i] - b[k].position[i]) * weight;
                v.normal[i] = b[k].normal[i] + (v.normal[i] - b[k].normal[i]) * weight;
            }
        v.texCoord[0] += offset[0];
        v.texCoord[1] += offset[1];
    }
    return out;
}

inline bool SameBytes(const std::vector<corvane::MeshVertex>& a, const std::vector<corvane::MeshVertex>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

// Little-endian bytes of a model file, field by field.
struct Bytes {
    std::string s;
    Bytes& raw(const std::string& b) { s += b; return *this; }
    Bytes& u8(std::initializer_list<int> v) { for (int b : v) s += char(b); return *this; }
    Bytes& i32(std::int64_t v) { for (int i = 0; i < 4; ++i) s += char((std::uint64_t(v) >> (8 * i)) & 0xFF); return *this; }
    Bytes& f32(float f) { std::uint32_t u; std::memcpy(&u, &f, 4); return i32(u); }
    Bytes& f64(double d) { std::uint64_t u; std::memcpy(&u, &d, 8); i32(u & 0xFFFFFFFF); return i32(u >> 32); }
    Bytes& header(double version, std::int64_t frames, std::int64_t colours, std::int64_t uvs) {
        return u8({0x17, 0xB3, 0xC6, 0x00}).f64(version).i32(frames).i32(colours).i32(uvs);
    }
    Bytes& frame(std::int64_t corners, float offset = 0, float scale = 1) {
        i32(corners);
        for (int i = 0; i < 3; ++i) f32(offset);
        for (int i = 0; i < 3; ++i) f32(scale);
        return *this;
    }
};

inline Screen WholeScreen() { return gfx2d_test::ReadScreen(0, 0, 640, 480); }

// Bounding box of the pixels that are not black; empty (minX > maxX) when none.
struct Box {
    int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
    int count = 0;
    bool empty() const { return count == 0; }
    int width() const { return empty() ? 0 : maxX - minX + 1; }
    int height() const { return empty() ? 0 : maxY - minY + 1; }
    double centreX() const { return (minX + maxX) / 2.0; }
    double centreY() const { return (minY + maxY) / 2.0; }
};

inline Box LitBox(const Screen& s) {
    Box b;
    for (int y = s.y0; y < s.y0 + s.height; ++y)
        for (int x = s.x0; x < s.x0 + s.width; ++x)
            if (s.lit(x, y)) {
                b.minX = std::min(b.minX, x), b.maxX = std::max(b.maxX, x);
                b.minY = std::min(b.minY, y), b.maxY = std::max(b.maxY, y);
                ++b.count;
            }
    return b;
}

inline ::testing::AssertionResult Near(const Rgba& got, const Rgba& want, int tolerance = 2) {
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", want " << want;
}

// A box between two corners as one strip of the cube's order (closed, counter-
// clockwise from outside), in one colour.
inline void AddBox(double cx, double cy, double cz, double half, double colour) {
    const double c[8][3] = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                            {1, 1, 1},    {1, -1, 1},  {-1, 1, 1},  {-1, -1, 1}};
    for (int i : {1, 0, 3, 2, 6, 0, 7, 1, 5, 3, 4, 6, 5, 7})
        corvane::AddVertex(cx + c[i][0] * half, cy + c[i][1] * half, cz + c[i][2] * half, 0, 0, colour);
}

inline void BuildBox(int slot, double cx, double cy, double cz, double half, double colour = 0xFFFFFF) {
    corvane::StartObject(slot);
    AddBox(cx, cy, cz, half, colour);
    corvane::FinishObject();
}

// A quad in the z = 0 plane facing +z, (x0, y0)-(x1, y1), texture v 0 at its top.
inline void AddQuad(double x0, double y0, double x1, double y1, double colour = 0xFFFFFF) {
    corvane::NewStrip();
    corvane::AddVertex(x0, y0, 0, 0, 1, colour);
    corvane::AddVertex(x1, y0, 0, 1, 1, colour);
    corvane::AddVertex(x0, y1, 0, 0, 0, colour);
    corvane::AddVertex(x1, y1, 0, 1, 0, colour);
}

inline void BuildQuad(int slot, double x0, double y0, double x1, double y1, double colour = 0xFFFFFF) {
    corvane::StartObject(slot);
    AddQuad(x0, y0, x1, y1, colour);
    corvane::FinishObject();
}

// An object of `frames` keyframes: frame k is a unit square centred on
// x = k - 2 in the plane z = -5.
inline void BuildMovingSquare(int slot, int frames) {
    using namespace corvane;
    StartObject(slot);
    corvane::Mesh& mesh = corvane::TheScene().slots[slot].meshes[0];
    for (int k = 0; k < frames; ++k) {
        if (k > 0) {
            mesh.frames.emplace_back();
            MeshVertex marker{};
            marker.packedColour = kMarkerStrip;
            mesh.frames.back().rawVertices.push_back(marker);
        }
        const float x0 = float(k) - 2.5f;
        const float xy[4][2] = {{x0, -0.5f}, {x0 + 1, -0.5f}, {x0, 0.5f}, {x0 + 1, 0.5f}};
        for (const auto& p : xy) {
            MeshVertex v{};
            v.position[0] = p[0], v.position[1] = p[1], v.position[2] = -5.0f;
            v.packedColour = 0xFFFFFF;
            v.colour[0] = v.colour[1] = v.colour[2] = 1.0f;
            mesh.frames[std::size_t(k)].rawVertices.push_back(v);
        }
    }
    FinishObject();
}

// The whole 640 x 480 stencil buffer, bottom row first.
inline std::vector<unsigned char> ReadStencil() {
    std::vector<unsigned char> s(640 * 480);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, s.data());
    return s;
}

// The shadow volume of the slot's first mesh at the current placement and
// effect light, with nothing left out (caps at infinity included), counted
// into the stencil by the two passes the open shadow pass uses: what any
// bounded or kept volume must reproduce exactly. Frames as DrawObject without
// animate: the pose is B + (A - B) * weight.
inline void CountUnboundedVolume(int slot, int first = 0, int second = 0, float weight = 0) {
    using namespace corvane;
    Scene3D& s = TheScene();
    Mesh& mesh = s.slots[slot].meshes[0];
    const MeshFrame& a = mesh.frames[std::size_t(first)];
    const MeshFrame& b = mesh.frames[std::size_t(second)];
    float placement[16], inverse[16], light[3];
    PlacementMatrix(s, placement);
    if (!InViewCone(s, placement, a)) return;
    AffineInverse(placement, inverse);
    TransformPoint(inverse, s.effectLightPosition, light);
    std::vector<MeshVertex> pose = Triangles(mesh, std::size_t(first));
    const float none[2] = {0, 0};
    if (weight != 0.0f) BlendFrames(mesh, a, b, weight, none, pose);
    std::vector<EdgeNeighbour> edges = mesh.edgeNeighbours;
    std::vector<std::uint8_t> lit;
    std::vector<float> volume;
    MarkLitFaces(pose.data(), pose.size(), light, edges, lit);
    BuildShadowVolume(pose.data(), pose.size(), edges, lit, light, volume);
    if (gl::HasBuffers()) gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
    glPushMatrix();
    ApplyTransformStack(s);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(4, GL_FLOAT, 0, volume.data());
    glStencilFunc(GL_ALWAYS, 0, ~0u);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(volume.size() / 4));
    glCullFace(GL_FRONT);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(volume.size() / 4));
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
    glStencilFunc(GL_ALWAYS, 0, 0);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
}

// Every test starts from a cleared frame in 3D mode (near 1, far 100, fov 90),
// no lights, fog, texture, alpha or extra objects, the entry points as found.
class Gfx3dTest : public ::testing::Test {
protected:
    corvane::GLExtensions savedExt;

    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine()) << "no headless GL context";
        savedExt = engine.surface.ext;
        corvane::ReleaseAllObjectSlots(corvane::TheScene());
        Reset();
    }

    // The scene state of a fresh test; objects stay.
    void Reset() {
        using namespace corvane;
        engine.surface.ext = savedExt;
        SetTextureOffset3D(0, 0);
        SetAlpha(0);
        ResetViewport(0, 0, 0, 0);
        SetTexture(-1, -1);
        SetSmoothingMode(2);
        Start3DMode(1, 100, 90);
        for (int n = 0; n < 8; ++n) SetLight(n, 0, 0, 0, 0, 0, 0, 0, 0);
        SetFog(-1, 0, 0, 0);
        corvane::TheScene().transformLevels[0] = TransformLevel{};
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void TearDown() override {
        corvane::engine.surface.ext = savedExt;
        corvane::SetAlpha(0);
        corvane::SetTextureOffset3D(0, 0);
        corvane::engine.debugMode = 0;
    }

    static void Clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }
};

} // namespace gfx3d_test
