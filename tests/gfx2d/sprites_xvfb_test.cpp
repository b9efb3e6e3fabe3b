// A background, sprites and a polygon as a person sees them: the child (this same
// binary) draws them frame after frame in a real window under Xvfb; the parent
// takes a screenshot of the whole screen and finds each in place.
#include <atomic>
#include <future>
#include <sstream>

#include "runtime/frame/frame.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_files.h"
#include "tests/gfx2d/sprites_test_support.h"
#include "tests/support/xvfb.h"

using namespace corvane;
using namespace sprites_test;

namespace {

std::uint32_t Backdrop(int x, int y) { return std::uint32_t(x & 0xFF) | (std::uint32_t(y & 0xFF) << 8) | 0x200000; }

// What the child draws every frame over background 0.
void DrawScene() {
    DrawSprite(90, 300, 100);
    RotateSprite(90, 300, 200, 90);
    StartPoly(-1);
    PolyVertex(450, 100, 0, 0, kRed);
    PolyVertex(450, 200, 0, 0, kRed);
    PolyVertex(550, 100, 0, 0, kRed);
    EndPoly();
}

TEST(RealWindow, BackgroundSpritesAndPolygonShowInPlace) {
    if (const char* stopFile = std::getenv("CORVANE_SPRITES_WINDOW_CHILD")) {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        LoadPicture(90, 32, 32, Quadrants, "window_quad.bmp");
        const std::string back = gfx2d_test::WriteTemp("window_back.bmp", gfx2d_test::MakeBmp(200, 150, 24, Backdrop));
        LoadBackground(RtString(back.c_str()));
        // Frames until the parent is done (or 30 s), so the window always shows a whole one.
        const double start = NowMilliseconds();
        while (!corvane::platform::IsReadableFile(stopFile) && NowMilliseconds() - start < 30000) {
            DrawScene();
            PresentFrame();
        }
        return;
    }
    if (!corvane::testing::HaveXvfb() || std::system("command -v import > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import missing";
    corvane::testing::XvfbServer x;
    ASSERT_TRUE(x.running());
    const std::string stopFile = corvane::testing::TestTempDir() + "window_stop";
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return corvane::testing::RunProcess(
            {corvane::testing::BuiltProgram("test_gfx2d"), "--gtest_filter=RealWindow.*"},
            {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
             "CORVANE_SPRITES_WINDOW_CHILD=" + stopFile},
            60.0, &stop);
    });
    const std::string id = x.FindProgramWindow("corvane_test");
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\n" << x.Shell("xwininfo -root -tree") << "program output:\n" << run.get().output;
    }
    // Where the window's drawing surface lies on the screen.
    int left = -1, top = -1;
    ASSERT_TRUE(x.WindowOrigin(id, left, top));

    struct Expected {
        const char* what;
        int x, y;
        Rgba colour;
    };
    std::vector<Expected> expected = {
        {"sprite's red quarter", 308, 108, ColourOf(kRed)},
        {"sprite's white quarter", 324, 124, ColourOf(kWhite)},
        {"turned sprite: green at the top-left", 308, 208, ColourOf(kGreen)},
        {"turned sprite: red at the bottom-left", 308, 224, ColourOf(kRed)},
        {"polygon", 470, 120, ColourOf(kRed)},
        {"outside everything", 600, 400, Rgba{0, 0, 0, 255}},
    };
    for (int y = 0; y < 150; y += 37)
        for (int px = 0; px < 200; px += 41) expected.push_back({"background", px, y, ColourOf(Backdrop(px, y))});

    const std::string shot = corvane::testing::TestTempDir() + "window_shot.rgb";
    std::string failures = "no screenshot";
    for (int attempt = 0; attempt < 20 && !failures.empty(); ++attempt) {
        corvane::platform::SleepMilliseconds(250);
        const std::string rgb = x.ScreenRgb(shot);
        if (rgb.empty()) continue;
        failures.clear();
        for (const Expected& e : expected) {
            const auto* p = reinterpret_cast<const unsigned char*>(&rgb[(std::size_t(top + e.y) * 1024 + left + e.x) * 3]);
            const Rgba seen{p[0], p[1], p[2], 255};
            if (!(seen == e.colour)) {
                std::ostringstream os;
                os << e.what << " at " << e.x << ", " << e.y << ": " << seen << " instead of " << e.colour << "\n";
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
