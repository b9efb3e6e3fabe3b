// Compact keyframes: what drawing, blending, collision and saving read from the
// quantised corners is bit for bit what a full expansion of every frame gives.
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "runtime/gfx3d/collision.h"
#include "runtime/gfx3d/model_file.h"
#include "tests/gfx3d/gfx3d_test_support.h"
#include "tests/support/engine_fixture.h"

namespace gfx3d_test {
namespace {

using namespace corvane;
using corvane::testing::ReadFile;
using corvane::testing::TestTempDir;
using corvane::testing::WriteFile;

// A binary model whose corner stream switches between list, strip and fan runs;
// every frame has its own quantisation, normals and (non-marker) colours.
std::string AnimatedBinary(int frames, int runs) {
    const int corners = runs * 8; // a marker and seven vertices a run
    Bytes b;
    b.header(1.02, frames, 6, corners);
    for (std::uint32_t c : {kMarkerList, kMarkerStrip, kMarkerFan, 0x2040C0u, 0xFFFFFFu, 0x10FF80u}) b.i32(c);
    for (int k = 0; k < corners; ++k) b.f32(float(k) * 0.1f).f32(1.0f - float(k) * 0.05f);
    for (int f = 0; f < frames; ++f) {
        b.frame(corners, float(f) * 3.5f, 0.25f + float(f) * 0.125f);
        for (int r = 0; r < runs; ++r) {
            b.u8({r, f, 0, 0, r % 3});
            for (int v = 0; v < 7; ++v)
                b.u8({(r * 31 + v * 17 + f * 5) & 255, (v * 40 + f * 3) & 255, (r * 7 + v * v + f) & 255,
                      (r * 13 + v * 29 + f * 7) % 162, 3 + (r + v + f) % 3});
        }
    }
    return b.s;
}

// Three polygons (quad, triangle, pentagon) in three colours over three frames.
std::string AnimatedText() {
    std::string s = "MSHA 1\n3 0 0 1 0.5 0.25 1\n3\n";
    s += "255 0 0 4 0 0 1 1 2 2 3 0\n0 255 0 3 1 1 4 2 2 0\n10 20 30 5 0 0 2 1 4 2 5 0 3 1\n3\n";
    for (int f = 0; f < 3; ++f) {
        s += "6\n";
        for (int p = 0; p < 6; ++p)
            s += std::to_string(p % 3 + f * 0.5) + " " + std::to_string(p / 3 * 1.5) + " " + std::to_string(p * p * 0.1 - f) + "\n";
    }
    return s;
}

void BuildColouredStrips() {
    StartObject(2);
    for (int i = 0; i < 10; ++i) AddVertex(i * 0.3, i % 2, i * 0.1, i * 0.1, 1 - i * 0.1, i < 5 ? 0x2040C0 : 0xFFFFFF);
    NewStrip();
    AddVertex(0, 0, 0, 0, 0, -3); // a fan
    for (int i = 0; i < 6; ++i) AddVertex(std::cos(i), std::sin(i), 1, 0.5, -0.5, 0x00FF00 * (i % 2));
    FinishObject();
}

// The bounding sphere worked out from the fully expanded frame.
void ReferenceBound(const std::vector<MeshVertex>& t, float centre[3], float& radius) {
    double sum[3] = {0, 0, 0};
    for (const MeshVertex& v : t)
        for (int a = 0; a < 3; ++a) sum[a] += v.position[a];
    for (int a = 0; a < 3; ++a) centre[a] = t.empty() ? 0.0f : float(sum[a] / double(t.size()));
    radius = 0.0f;
    for (const MeshVertex& v : t) {
        float sq = 0.0f;
        for (int a = 0; a < 3; ++a) sq += (v.position[a] - centre[a]) * (v.position[a] - centre[a]);
        if (sq > 1.0e-7f) radius = std::max(radius, std::sqrt(sq));
    }
}

class KeyframeTest : public Gfx3dTest {};

TEST_F(KeyframeTest, CompactFramesGiveTheFullExpansion) {
    struct Case {
        const char* name;
        std::string file;                          // loaded into slot 2; empty: built
        std::function<void(corvane::Mesh&)> alter; // applied after loading, then expanded again
    };
    const Case cases[] = {
        {"one frame built from strips, a fan and colours", "", nullptr},
        {"binary, one frame", AnimatedBinary(1, 6), nullptr},
        {"binary, eight frames with their own colours", AnimatedBinary(8, 12), nullptr},
        {"text, three frames of polygons", AnimatedText(), nullptr},
        {"frames whose primitives differ from frame 0's", AnimatedBinary(4, 5),
         [](corvane::Mesh& m) {
             m.frames[1].corners[8].colourIndex = 0; // a strip run read as a list
             m.frames[2].corners.resize(20);         // shorter: never blended with the others
         }},
    };
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TestTempDir() + "keyframes.model";
        if (c.file.empty()) {
            BuildColouredStrips();
        } else {
            ASSERT_TRUE(WriteFile(path, c.file));
            ASSERT_EQ(LoadObject(path.c_str(), 2), 1.0);
        }
        corvane::Mesh& m = TheScene().slots[2].meshes.at(0);
        if (c.alter) {
            c.alter(m);
            m.ExpandFrames();
            ComputeBoundingSpheres(m);
        }
        const std::size_t frames = m.frames.size();
        std::vector<std::vector<MeshVertex>> ref;
        for (std::size_t f = 0; f < frames; ++f) {
            ref.push_back(ReferenceTriangles(m, f));
            ASSERT_FALSE(ref[f].empty());
            EXPECT_TRUE(SameBytes(Triangles(m, f), ref[f])) << "frame " << f;
            float centre[3], radius;
            ReferenceBound(ref[f], centre, radius);
            EXPECT_EQ(std::vector<float>(m.frames[f].boundCentre, m.frames[f].boundCentre + 3),
                      std::vector<float>(centre, centre + 3)) << "frame " << f;
            EXPECT_EQ(m.frames[f].boundRadius, radius) << "frame " << f;
        }

        // Blends both ways, beyond the frames and with a texture offset.
        const std::size_t last = frames - 1;
        for (auto [a, b] : {std::pair{std::size_t(0), last}, {last, std::size_t(0)}, {std::size_t(1) % frames, last / 2}})
            for (float w : {0.5f, 0.25f, 1.0f, -0.75f, 0.0f})
                for (float du : {0.0f, 0.5f}) {
                    const float offset[2] = {du, -du / 2};
                    std::vector<MeshVertex> got;
                    BlendFrames(m, m.frames[a], m.frames[b], w, offset, got);
                    EXPECT_TRUE(SameBytes(got, ReferenceBlend(ref[a], ref[b], w, offset)))
                        << a << " to " << b << " at " << w << " offset " << du;
                }

        // Shapes around each frame's bound, so that some hit and some miss.
        int hits = 0;
        for (std::size_t f = 0; f < frames; ++f) {
            const MeshFrame& frame = m.frames[f];
            for (int q = 0; q < 40; ++q) {
                const double reach = frame.boundRadius * 1.2 + 0.1;
                const double centre[3] = {frame.boundCentre[0] + unit(rng) * reach, frame.boundCentre[1] + unit(rng) * reach,
                                          frame.boundCentre[2] + unit(rng) * reach};
                const double radius = (unit(rng) + 1.2) * 0.2 * reach;
                const double half[3][3] = {{radius, 0, 0}, {0, 0, radius * 0.5}, {0, radius * 2, 0}};
                double dir[3] = {unit(rng), unit(rng), unit(rng)};
                const double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
                for (double& d : dir) d /= length;
                const bool sphere = SphereTouchesFrame(m, frame, centre, radius);
                EXPECT_EQ(sphere, SphereTouchesVertices(ref[f].data(), ref[f].size(), frame, centre, radius));
                EXPECT_EQ(BoxTouchesFrame(m, frame, centre, half),
                          BoxTouchesVertices(ref[f].data(), ref[f].size(), frame, centre, half));
                const double ray = RayHitsFrame(m, frame, centre, dir);
                EXPECT_EQ(ray, RayHitsVertices(ref[f].data(), ref[f].size(), frame, centre, dir));
                hits += sphere + (ray != 0);
            }
        }
        EXPECT_GT(hits, 0) << "the shapes must reach the triangles";

        // Saving writes the compact frames: a binary file comes back byte for byte.
        if (!c.alter) {
            const std::string saved = TestTempDir() + "keyframes_saved.model";
            ASSERT_EQ(SaveObject(saved.c_str(), 2), 1.0);
            if (c.file.compare(0, 4, "\x17\xB3\xC6", 4) == 0) {
                EXPECT_EQ(ReadFile(saved), c.file);
            }
            ASSERT_EQ(LoadObject(saved.c_str(), 3), 1.0);
            const std::string again = TestTempDir() + "keyframes_again.model";
            ASSERT_EQ(SaveObject(again.c_str(), 3), 1.0);
            EXPECT_EQ(ReadFile(again), ReadFile(saved));
        }

        // No per-frame copy of expanded vertices is held, loaded or drawn.
        DrawObject(2, 0, double(last), 0.5, 0);
        std::size_t triangles = 0;
        for (std::size_t f = 0; f < frames; ++f) triangles += ref[f].size() / 3;
        if (frames > 4) {
            EXPECT_LE(MeshBytesHeld(m), triangles * 80) << "bytes per triangle and keyframe";
        }
    }
}

} // namespace
} // namespace gfx3d_test
