// Fonts and text: the built-in font pixel for pixel, font files of both grid
// shapes, font numbers, the loading screen and the fatal load failure.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <future>

#include "runtime/gfx2d/renderer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "runtime/platform/platform.h"
#include "tests/gfx2d/gfx2d_test_support.h"
#include "tests/support/xvfb.h"

using namespace corvane;
using namespace gfx2d_test;

namespace {

class Fonts : public Gfx2dTest {
protected:
    void SetUp() override {
        Gfx2dTest::SetUp();
        LoadFont(RtString(""), 0); // the built-in font
        glClearColor(0.0f, 0.0f, 200.0f / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

// Compares the screen with the built-in font's texels for text whose first cell
// has its top-left corner at (x, y); the background is (0, 0, 200).
void ExpectBuiltinText(const char* text, int x, int y) {
    std::vector<unsigned char> texels(128 * 64 * 4);
    BuildBuiltinFontTexels(texels.data());
    const int n = int(std::strlen(text));
    const Screen s = ReadScreen(x - 1, y - 1, n * 7 + 2, 10);
    int mismatches = 0;
    for (int i = 0; i < n; ++i) {
        const int code = (unsigned char)text[i] & 127;
        for (int cy = 0; cy < 8; ++cy)
            for (int cx = 0; cx < 7; ++cx) {
                const int ix = (code & 15) * 7 + cx, iy = (code >> 4) * 8 + cy;
                const unsigned char* t = &texels[(std::size_t(63 - iy) * 128 + ix) * 4];
                const Rgba expected = t[3] ? Rgba{t[0], t[1], t[2]} : Rgba{0, 0, 200};
                const Rgba got = s.at(x + i * 7 + cx, y + cy);
                if (!(got == expected) && ++mismatches <= 5)
                    ADD_FAILURE() << "'" << text[i] << "' cell pixel (" << cx << ", " << cy << "): " << got
                                  << " expected " << expected;
            }
    }
    EXPECT_EQ(mismatches, 0);
    // Nothing drawn just outside the run.
    for (int cy = 0; cy < 10; ++cy) {
        EXPECT_EQ(s.at(x - 1, y - 1 + cy), (Rgba{0, 0, 200}));
        EXPECT_EQ(s.at(x + n * 7, y - 1 + cy), (Rgba{0, 0, 200}));
    }
}

// A font image with 16 columns: cell (column, row) filled with a colour that
// names its code: red = code, green = 255 - code, blue 1 (never black).
std::string FontBmp(int width, int height, int rows) {
    const int cw = width / 16, ch = height / rows;
    return MakeBmp(width, height, 24, [=](int x, int y) -> std::uint32_t {
        const std::uint32_t code = std::uint32_t((y / ch) * 16 + x / cw);
        return 0x010000u | ((255 - code) << 8) | code;
    });
}

} // namespace

TEST_F(Fonts, BuiltinFontMatchesItsMasksFromTheCeilingOfX) {
    EXPECT_EQ(TheRenderer().textureWidth[Renderer::kFirstFontSlot], 128);
    EXPECT_EQ(TheRenderer().imageWidth[Renderer::kFirstFontSlot], 112);
    PrintText(RtString("Hi! {Q}~"), 10.2, 20);
    ExpectBuiltinText("Hi! {Q}~", 11, 20);
    double w = 0, h = 0;
    GetFontSize(w, h);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 8);
}

TEST_F(Fonts, BuiltinGlyphsHaveTheirOutline) {
    std::vector<unsigned char> t(128 * 64 * 4);
    BuildBuiltinFontTexels(t.data());
    // '!' (33): figure column 2, rows 1..3 and 5 -> cell column 3, rows 2..4 and 6.
    auto texel = [&](int code, int cx, int cy) {
        const int ix = (code & 15) * 7 + cx, iy = (code >> 4) * 8 + cy;
        return &t[(std::size_t(63 - iy) * 128 + ix) * 4];
    };
    EXPECT_EQ(texel(33, 3, 2)[0], 255);
    EXPECT_EQ(texel(33, 3, 6)[0], 255);
    EXPECT_EQ(texel(33, 3, 5)[0], 8);   // the gap between bar and dot is outline
    EXPECT_EQ(texel(33, 3, 5)[3], 255);
    EXPECT_EQ(texel(33, 3, 1)[0], 8);   // above the bar
    EXPECT_EQ(texel(33, 2, 3)[0], 8);   // beside it
    EXPECT_EQ(texel(33, 1, 3)[3], 0);   // two columns away: empty
    EXPECT_EQ(texel(32, 3, 3)[3], 0);   // space is empty
    // Codes 0..31 are image rows 0..15, texture rows 48..63.
    for (int i = 0; i < 128 * 16 * 4; ++i)
        if (t[std::size_t(48) * 128 * 4 + i]) FAIL() << "codes 0..31 must stay empty";
}

TEST_F(Fonts, HundredTwentyEightCharacterFontFromAFile) {
    const std::string path = WriteTemp("font128.bmp", FontBmp(128, 64, 8));
    LoadFont(RtString(path.c_str()), 2);
    EXPECT_EQ(CurrentFont(), 2);
    const char text[] = {'A', char(200), '\x7f', 0};
    PrintText(RtString(text), 0, 0);
    const Screen s = ReadScreen(0, 0, 24, 8);
    EXPECT_EQ(s.at(3, 3), (Rgba{65, 190, 1}));
    EXPECT_EQ(s.at(11, 3), (Rgba{72, 183, 1})) << "200 wraps to 72";
    EXPECT_EQ(s.at(23, 7), (Rgba{127, 128, 1}));
    double w = 0, h = 0;
    GetFontSize(w, h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 8);
}

TEST_F(Fonts, TwoHundredFiftySixCharacterFontFromAFile) {
    const std::string path = WriteTemp("font256.bmp", FontBmp(128, 256, 16));
    LoadFont(RtString(path.c_str()), 3);
    const char text[] = {'A', char(200), char(255), 0};
    PrintNumber(0, 0, 40); // "0": code 48
    PrintText(RtString(text), 0, 0);
    const Screen s = ReadScreen(0, 0, 24, 56);
    EXPECT_EQ(s.at(0, 0), (Rgba{65, 190, 1}));
    EXPECT_EQ(s.at(8, 15), (Rgba{200, 55, 1}));
    EXPECT_EQ(s.at(20, 8), (Rgba{255, 0, 1}));
    EXPECT_EQ(s.at(3, 16), (Rgba{0, 0, 200})) << "cells are 16 rows high";
    EXPECT_EQ(s.at(4, 48), (Rgba{48, 207, 1}));
    double w = 0, h = 0;
    GetFontSize(w, h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 32) << "twice the drawn cell height";

    // A square image is an 8-row font: 256 x 256 gives 16 x 32 cells.
    const std::string square = WriteTemp("font_sq.bmp", FontBmp(256, 256, 8));
    LoadFont(RtString(square.c_str()), 4);
    GetFontSize(w, h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 32);
}

TEST_F(Fonts, FontNumbersAreClamped) {
    SetFont(20);
    EXPECT_EQ(CurrentFont(), 15);
    SetFont(-3);
    EXPECT_EQ(CurrentFont(), 0);
    SetFont(7.9);
    EXPECT_EQ(CurrentFont(), 7);
    LoadFont(RtString("no such font.bmp"), 99);
    EXPECT_EQ(CurrentFont(), 15);
    EXPECT_EQ(TheRenderer().imageWidth[Renderer::kFirstFontSlot + 15], 112) << "built-in font installed";
    // A font slot that holds nothing draws nothing.
    FreeSlot(Renderer::kFirstFontSlot + 14);
    SetFont(14);
    PrintText(RtString("AAAA"), 0, 0);
    EXPECT_EQ(ReadScreen(0, 0, 40, 10).at(3, 3), (Rgba{0, 0, 200}));
    SetFont(0);
}

TEST_F(Fonts, LoadingScreenIsCentredOnTenCells) {
    DrawLoadingScreen();
    ExpectBuiltinText("Loading...", (640 - 70) / 2, (480 - 8) / 2);
}

TEST_F(Fonts, TextAtAProjectedPoint) {
    // Under the 2D projection the point (320, -240, 0) is the screen centre: the
    // text is centred on it with its bottom there.
    PrintText3D(RtString("AB"), 320, -240, 0, 0);
    ExpectBuiltinText("AB", 313, 232);

    // A point that projects with w = 0 draws nothing and keeps lighting on.
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_LIGHTING);
    PrintText3D(RtString("AB"), 0, 0, 0, 0);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    glDisable(GL_LIGHTING);
    auto drawnPixels = [](const Screen& s) {
        int n = 0;
        for (int y = s.y0; y < s.y0 + s.height; ++y)
            for (int x = s.x0; x < s.x0 + s.width; ++x) n += !(s.at(x, y) == Rgba{0, 0, 200});
        return n;
    };
    EXPECT_EQ(drawnPixels(ReadScreen(0, 0, 640, 480)), 0);

    // Billboard text in front of the camera faces it: "AB" 0.7 wide and 0.35 high
    // at distance 5 covers about 44 x 17 pixels right above the screen centre.
    glTranslatef(0, 0, -5);
    PrintText3D(RtString("AB"), 0, 0, 0, 0.05);
    EXPECT_GT(drawnPixels(ReadScreen(296, 221, 48, 20)), 100);
    EXPECT_EQ(drawnPixels(ReadScreen(0, 0, 640, 220)), 0);
    EXPECT_EQ(drawnPixels(ReadScreen(0, 242, 640, 238)), 0);
    ResetViewport(0, 0, 0, 0);
}

TEST(FontsDeathTest, FontFileThatCannotLoadStopsWithCodeThree) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
            std::string f = MakeBmp(16, 16, 24, [](int, int) { return 0xFFFFFFu; });
            f[28] = 12; // a depth the reader refuses
            const std::string path = WriteTemp("bad_font.bmp", f);
            std::atexit([] { std::fprintf(stderr, "errorCode=%g\n", engine.errorCode); });
            LoadFont(RtString(path.c_str()), 1);
            std::fprintf(stderr, "still running\n");
            std::_Exit(9);
        },
        ::testing::ExitedWithCode(1), "stopped: LoadFont .*bad_font.bmp.* \\(error 3\\)(.|\n)*errorCode=3");
}

// The first presented frame, as a person sees it: the child (this same binary)
// starts the engine in a real window under Xvfb and holds still; the parent
// screenshots the window and compares it with the built-in glyphs of "Loading..."
// centred on ten cells.
TEST(FirstFrame, LoadingScreenShowsCentredInTheWindow) {
    if (std::getenv("CORVANE_GFX2D_HOLD_FIRST_FRAME")) {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        corvane::platform::SleepMilliseconds(8000);
        return;
    }
    if (!corvane::testing::HaveXvfb() || std::system("command -v import > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import missing";
    corvane::testing::XvfbServer x;
    ASSERT_TRUE(x.running());
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return corvane::testing::RunProcess(
            {corvane::testing::BuiltProgram("test_gfx2d"), "--gtest_filter=FirstFrame.*"},
            {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
             "CORVANE_GFX2D_HOLD_FIRST_FRAME=1"},
            60.0, &stop);
    });
    std::string id = x.FindProgramWindow("corvane_test");
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\n" << x.Shell("xwininfo -root -tree") << "program output:\n" << run.get().output;
    }

    std::vector<unsigned char> texels(128 * 64 * 4);
    BuildBuiltinFontTexels(texels.data());
    const int x0 = (640 - 70) / 2, y0 = (480 - 8) / 2;
    const std::string shot = corvane::testing::TestTempDir() + "first_frame.rgb";
    int wrong = -1, lit = 0;
    for (int attempt = 0; attempt < 20 && wrong != 0; ++attempt) {
        corvane::platform::SleepMilliseconds(250);
        x.Shell("import -window " + id + " -depth 8 rgb:" + shot);
        const std::string rgb = corvane::testing::ReadFile(shot);
        if (rgb.size() != 640u * 480u * 3u) continue;
        wrong = 0, lit = 0;
        for (int y = 0; y < 480; ++y)
            for (int px = 0; px < 640; ++px) {
                const auto* p = reinterpret_cast<const unsigned char*>(&rgb[(std::size_t(y) * 640 + px) * 3]);
                int expected = 0;
                if (px >= x0 && px < x0 + 70 && y >= y0 && y < y0 + 8) {
                    const int code = (unsigned char)"Loading..."[(px - x0) / 7];
                    const int ix = (code & 15) * 7 + (px - x0) % 7, iy = (code >> 4) * 8 + (y - y0);
                    expected = texels[(std::size_t(63 - iy) * 128 + ix) * 4];
                }
                lit += p[0] != 0;
                wrong += p[0] != expected || p[1] != expected || p[2] != expected;
            }
    }
    EXPECT_EQ(wrong, 0) << "pixels differing from the centred \"Loading...\"";
    EXPECT_GT(lit, 100);
    const corvane::testing::ProcessResult result = run.get();
    EXPECT_FALSE(result.timedOut);
}
