// The shadow as a person sees it: the child (this same binary) draws the shadow
// scene frame after frame in a real GLX window under Xvfb, leaving the pass open
// for the frame step to close before the swap; the parent compares a screenshot
// with the same scene drawn offscreen.
#include <atomic>
#include <future>
#include <sstream>

#include "runtime/frame/frame.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_files.h"
#include "tests/gfx3d/gfx3d_test_support.h"
#include "tests/support/xvfb.h"

namespace {

using namespace corvane;
using gfx3d_test::Rgba;

constexpr int kFloor = 11, kCube = 12;
// World points whose pixels are compared: in and out of the shadow, on the cube.
constexpr float kProbes[5][3] = {{0, 0, 0}, {3, 0, 0}, {0, 0, 1.3f}, {0, 3, 0}, {0, 2, 1}};

void BuildScene() {
    StartObject(kFloor);
    AddVertex(0, 0, 0, 0, 0, -1);
    const double c[4][2] = {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}};
    for (int i : {0, 3, 2, 0, 2, 1}) AddVertex(c[i][0], 0, c[i][1], 0, 0, 0xFFFFFF);
    FinishObject();
    CreateCube(kCube, 2);
}

// The scene with the pass left open; returns the probes' window positions.
std::vector<std::pair<int, int>> DrawScene() {
    SetTexture(-1, -1);
    Start3DMode(1, 100, 90);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    PlaceCamera(0, 8, 12, 0, 0, 0);
    TheScene().transformLevels[0] = TransformLevel{};
    DrawObjectFrame(kFloor, 0);
    MoveTransform(0, 2, 0);
    DrawObjectFrame(kCube, 0);
    float modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    std::vector<std::pair<int, int>> at;
    for (const auto& p : kProbes) {
        float eye[4], clip[4];
        for (int i = 0; i < 4; ++i) eye[i] = modelview[i] * p[0] + modelview[4 + i] * p[1] + modelview[8 + i] * p[2] + modelview[12 + i];
        for (int i = 0; i < 4; ++i)
            clip[i] = projection[i] * eye[0] + projection[4 + i] * eye[1] + projection[8 + i] * eye[2] + projection[12 + i] * eye[3];
        at.emplace_back(int((clip[0] / clip[3] * 0.5f + 0.5f) * 640), 479 - int((clip[1] / clip[3] * 0.5f + 0.5f) * 480));
    }
    SetLight(-3, 0, 0.5, 6, 0.5, 0, 0, 0, 1);
    DrawObjectFrame(kCube, 0);
    return at;
}

TEST(RealWindow, ShadowShowsWhereOffscreenDrawsIt) {
    if (const char* stopFile = std::getenv("CORVANE_SHADOW_WINDOW_CHILD")) {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        BuildScene();
        const double start = NowMilliseconds();
        while (!corvane::platform::IsReadableFile(stopFile) && NowMilliseconds() - start < 30000) {
            DrawScene();
            PresentFrame(); // closes the pass: the shadow goes into the shown frame
        }
        return;
    }
    if (!corvane::testing::HaveXvfb() || std::system("command -v import > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import missing";

    // The same scene offscreen, closed by hand.
    ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
    BuildScene();
    const std::vector<std::pair<int, int>> at = DrawScene();
    SetShadowPass(false);
    const gfx3d_test::Screen offscreen = gfx3d_test::WholeScreen();
    std::vector<Rgba> want;
    for (const auto& [x, y] : at) want.push_back(offscreen.at(x, y));
    ASSERT_EQ(want[0].r, 128) << "the offscreen run shows the shadow";
    ASSERT_EQ(want[1].r, 255);

    corvane::testing::XvfbServer xvfb;
    ASSERT_TRUE(xvfb.running());
    const std::string stopFile = corvane::testing::TestTempDir() + "shadow_window_stop";
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return corvane::testing::RunProcess(
            {corvane::testing::BuiltProgram("test_gfx3d"), "--gtest_filter=RealWindow.*"},
            {"DISPLAY=" + xvfb.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
             "CORVANE_SHADOW_WINDOW_CHILD=" + stopFile},
            60.0, &stop);
    });
    const std::string id = xvfb.FindProgramWindow("corvane_test");
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\n" << xvfb.Shell("xwininfo -root -tree") << "program output:\n" << run.get().output;
    }
    int left = -1, top = -1;
    ASSERT_TRUE(xvfb.WindowOrigin(id, left, top));

    const std::string shot = corvane::testing::TestTempDir() + "shadow_shot.rgb";
    std::string failures = "no screenshot";
    for (int attempt = 0; attempt < 20 && !failures.empty(); ++attempt) {
        corvane::platform::SleepMilliseconds(250);
        const std::string rgb = xvfb.ScreenRgb(shot);
        if (rgb.empty()) continue;
        failures.clear();
        for (std::size_t i = 0; i < at.size(); ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(
                &rgb[(std::size_t(top + at[i].second) * 1024 + std::size_t(left + at[i].first)) * 3]);
            if (std::abs(int(p[0]) - want[i].r) > 2 || std::abs(int(p[1]) - want[i].g) > 2) {
                std::ostringstream os;
                os << "probe " << i << " at " << at[i].first << ", " << at[i].second << ": (" << int(p[0]) << ", "
                   << int(p[1]) << ", " << int(p[2]) << ") instead of " << want[i] << "\n";
                failures += os.str();
            }
        }
    }
    corvane::testing::WriteFile(stopFile, "done");
    EXPECT_EQ(failures, "");
    const corvane::testing::ProcessResult result = run.get();
    EXPECT_FALSE(result.timedOut) << result.output;
}

} // namespace
