// Shadow volumes as drawn (caps that cannot reach the view left out, a still
// volume kept between draws) count exactly what the whole volume counts, in
// scenes where a wrong bound would lose or add stencil marks.
#include <functional>

#include "tests/gfx3d/gfx3d_test_support.h"

namespace gfx3d_test {
namespace {

using namespace corvane;

// A stencil start above 0: a volume's decrements show too.
constexpr int kBase = 8;
constexpr int kFloor = 1, kWall = 2, kCube = 3, kSheet = 4, kMoving = 5;

// A 60 x 60 floor at y = 0 and a 60 x 30 wall at z = -30, seen from both sides.
void BuildReceivers() {
    StartObject(kFloor);
    AddVertex(0, 0, 0, 0, 0, -1);
    for (int i : {0, 3, 2, 0, 2, 1, 0, 1, 2, 0, 2, 3}) {
        const double c[4][2] = {{-30, -30}, {30, -30}, {30, 30}, {-30, 30}};
        AddVertex(c[i][0], 0, c[i][1], 0, 0, 0xFFFFFF);
    }
    FinishObject();
    StartObject(kWall);
    AddVertex(0, 0, 0, 0, 0, -1);
    for (int i : {0, 3, 2, 0, 2, 1, 0, 1, 2, 0, 2, 3}) {
        const double c[4][2] = {{-30, 0}, {30, 0}, {30, 30}, {-30, 30}};
        AddVertex(c[i][0], c[i][1], -30, 0, 0, 0xFFFFFF);
    }
    FinishObject();
}

// An open, bent sheet, lit from +z: open edges and creases give silhouettes a
// cube has not.
void BuildSheet() {
    StartObject(kSheet);
    for (int row = 0; row < 4; ++row) {
        NewStrip();
        for (int col = 0; col <= 6; ++col)
            for (int r : {row, row + 1}) {
                const double x = -1.5 + col * 0.5, y = -1.0 + r * 0.5;
                AddVertex(x, y, 0.4 * std::sin(col * 1.3 + r), 0, 0, 0xFFFFFF);
            }
    }
    FinishObject();
}

struct Scene {
    const char* name;
    double nearClip, farClip, fov;
    float camera[6];    // position, target
    int caster;
    float at[3];        // caster placement
    float lights[2][3]; // drawn in turn: the second must not reuse the first's volume
    bool animated;      // a blend of two frames instead of frame 0
};

TEST_F(Gfx3dTest, DrawnShadowVolumesCountWhatTheWholeVolumeCounts) {
    BuildReceivers();
    CreateCube(kCube, 2);
    BuildSheet();
    BuildMovingSquare(kMoving, 2);
    const Scene scenes[] = {
        {"light above, shadow on the floor", 1, 100, 90, {0, 8, 12, 0, 0, 0}, kCube, {0, 2, 0},
         {{0.5f, 6, 0.5f}, {3, 7, -2}}, false},
        {"caster near the far plane", 1, 24, 60, {0, 4, 8, 0, 2, -14}, kCube, {1, 2, -14},
         {{3, 9, -9}, {-4, 6, -10}}, false},
        {"light in view between camera and caster", 1, 100, 90, {0, 4, 10, 0, 1, 0}, kCube, {0, 1.5f, 0},
         {{0, 2.5f, 4}, {1.5f, 1.5f, 5}}, false},
        {"light beyond the caster: the camera inside the volume", 1, 100, 90, {0, 2, 8, 0, 2, 0}, kCube,
         {0, 2, 0}, {{0, 2, -10}, {0.3f, 2.5f, -6}}, false},
        {"volume over empty background up to the far plane", 1, 25, 90, {0, 3, 12, 0, 4, 0}, kSheet, {0, 4, 0},
         {{0, 3, 20}, {1, 2.5f, 18}}, false},
        {"caster and receiver partly off-screen", 1, 100, 90, {0, 6, 10, 6, 0, 0}, kCube, {12, 1, 2},
         {{6, 9, 4}, {10, 4, 8}}, false},
        {"volume across the near plane beside the camera", 0.5, 60, 90, {0, 2, 3, 0, 2, -6}, kCube,
         {1.4f, 2, 0}, {{1.4f, 2.2f, -8}, {2, 1.5f, -6}}, false},
        {"orthographic view", 1, 100, -5, {0, 12, 14, 0, 0, 0}, kSheet, {0, 3, 0},
         {{1, 9, 2}, {-3, 6, 4}}, false},
        {"blended frames", 1, 100, 90, {0, 2, 6, 0, 0, -5}, kMoving, {0, 1, 0},
         {{-0.5f, 1.8f, -6}, {0.5f, 2.5f, -7}}, true},
    };
    const std::function<void()> entryPoints[] = {
        [] {},
        [] { engine.surface.ext.genBuffers = nullptr; }, // client arrays, nothing kept
    };
    for (const auto& withEntryPoints : entryPoints)
        for (const Scene& c : scenes) {
            Reset();
            withEntryPoints();
            Start3DMode(c.nearClip, c.farClip, c.fov);
            PlaceCamera(c.camera[0], c.camera[1], c.camera[2], c.camera[3], c.camera[4], c.camera[5]);
            TheScene().transformLevels[0] = TransformLevel{};
            DrawObjectFrame(kFloor, 0);
            DrawObjectFrame(kWall, 0);
            MoveTransform(c.at[0], c.at[1], c.at[2]);
            int marked = 0;
            // Light 0, light 1, then light 0 again: each change must rebuild. The
            // stencil from 0 as the pass leaves it (where the passes' order shows,
            // through clamping), and from kBase (where every decrement shows).
            for (int round = 0; round < 6; ++round) {
                const float* l = c.lights[round % 2];
                const int base = round < 3 ? kBase : 0;
                SetLight(-3, 0, l[0], l[1], l[2], 0, 0, 0, 1);
                glClearStencil(base);
                glClear(GL_STENCIL_BUFFER_BIT);
                if (c.animated)
                    DrawObject(c.caster, 0, 1, 0.4, 0);
                else
                    DrawObjectFrame(c.caster, 0);
                const std::vector<unsigned char> drawn = ReadStencil();
                glClear(GL_STENCIL_BUFFER_BIT);
                CountUnboundedVolume(c.caster, 0, c.animated ? 1 : 0, c.animated ? 0.4f : 0.0f);
                const std::vector<unsigned char> whole = ReadStencil();
                int differing = 0;
                for (std::size_t i = 0; i < whole.size(); ++i) {
                    differing += drawn[i] != whole[i];
                    marked += base == kBase && whole[i] != kBase;
                }
                EXPECT_EQ(differing, 0) << c.name << ", light " << round % 2 << ", stencil from " << base
                                        << (engine.surface.ext.genBuffers ? "" : ", no buffers");
            }
            EXPECT_GT(marked, 300) << c.name << ": the scene casts a shadow into view";
            glClearStencil(0);
            SetShadowPass(false);
        }
}

} // namespace
} // namespace gfx3d_test
