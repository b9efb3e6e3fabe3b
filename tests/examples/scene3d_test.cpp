// scene3d as a player sees it: the crystal from its model file, the cube's shadow on
// the floor (half as bright as the lit floor, nowhere else), and the camera turning
// when the mouse moves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/examples/example_run.h"

using namespace example_test;

namespace {

constexpr int kFrames = 12;  // the crystal turns with the frame count: equal counts, equal poses
constexpr int kTextRows = 20, kBottomText = 455;

double Brightness(std::uint32_t p) { return ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255); }

TEST(Scene3dExample, ShadowModelAndOrbitingCamera) {
    if (!ExampleBuilt("scene3d")) GTEST_SKIP() << "examples not built";
    ExampleRun lit = RunExample("scene3d", {"noshadow"}, "", kFrames, 90);
    ExampleRun shadowed = RunExample("scene3d", {}, "", kFrames, 90);
    ExampleRun turned = RunExample("scene3d", {"noshadow"}, "3 move 300 100\n", kFrames, 90);
    for (ExampleRun* run : {&lit, &shadowed, &turned}) {
        ASSERT_FALSE(run->process.timedOut) << run->process.output;
        ASSERT_EQ(0, run->process.exitStatus) << run->process.output;
        ASSERT_EQ(640, run->screen.width);
    }
    int fps = -1;
    char rest[64] = {};
    const std::string status = ScreenText(shadowed.shotPath, 8, 8);
    ASSERT_EQ(2, std::sscanf(status.c_str(), "fps %d  %63[^\n]", &fps, rest)) << status;
    EXPECT_EQ(std::string("shadow on"), rest) << "the model did not load, or the shadow is off: " << status;
    EXPECT_EQ(std::string::npos, ScreenText(lit.shotPath, 8, 8).find("missing"));

    // Between the lit and the shadowed frame, only the shadow may differ: floor pixels
    // made darker, by about half (black at half alpha over them).
    int darker = 0, otherwise = 0;
    double ratio = 0;
    int floorPixels = 0;
    for (int y = kTextRows; y < kBottomText; ++y)
        for (int x = 0; x < 640; ++x) {
            const std::uint32_t a = lit.screen.Pixel(x, y), b = shadowed.screen.Pixel(x, y);
            if (Brightness(a) > 300) ++floorPixels;  // the bright floor
            if (a == b) continue;
            if (Brightness(b) < Brightness(a) * 0.8) {
                ++darker;
                ratio += Brightness(b) / Brightness(a);
            } else if (std::abs(Brightness(a) - Brightness(b)) > 12) {
                ++otherwise;
            }
        }
    EXPECT_GT(darker, 400) << "no shadow";
    EXPECT_LT(darker, floorPixels / 4) << "more than a cube's shadow darkened";
    EXPECT_LT(otherwise, 50) << "the shadow pass changed more than the shadow";
    if (darker > 0) {
        EXPECT_NEAR(0.5, ratio / darker, 0.1);
    }

    // The mouse turned the camera: the picture moved.
    int moved = 0;
    for (int y = kTextRows; y < kBottomText; ++y)
        for (int x = 0; x < 640; ++x) moved += lit.screen.Pixel(x, y) != turned.screen.Pixel(x, y);
    EXPECT_GT(moved, 20000) << "the camera did not follow the mouse";
}

} // namespace
