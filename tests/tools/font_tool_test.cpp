// corvane-font: pictures made from a Debian font load with LoadFont, draw ink
// where FreeType's own rendering has it, and keep the grid the loader reads.
#include <gtest/gtest.h>

#ifdef CORVANE_HAVE_FONT_TOOL
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/gfx2d/renderer.h"
#include "tests/gfx2d/gfx2d_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace gfx2d_test;

namespace {

const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
[[maybe_unused]] const char* kMonoFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

[[maybe_unused]] corvane::testing::ProcessResult RunFontTool(const std::vector<std::string>& args) {
    std::vector<std::string> all = {corvane::testing::BuiltProgram("corvane-font")};
    all.insert(all.end(), args.begin(), args.end());
    return corvane::testing::RunProcess(all, {}, 60.0);
}

// Set pixels of a mask, moved so its ink's bounding box starts at (0, 0).
struct Mask {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // ink box, inclusive
    std::vector<std::pair<int, int>> points;
    void Add(int x, int y) {
        points.emplace_back(x, y);
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
    std::vector<std::pair<int, int>> Normalised() const {
        std::vector<std::pair<int, int>> p;
        for (auto [x, y] : points) p.emplace_back(x - left, y - top);
        std::sort(p.begin(), p.end());
        return p;
    }
};

class FontTool : public Gfx2dTest {
protected:
    void SetUp() override {
#ifndef CORVANE_HAVE_FONT_TOOL
        GTEST_SKIP() << "corvane-font is not built (no FreeType)";
#endif
        if (!std::ifstream(kFont)) GTEST_SKIP() << "fonts-dejavu-core is missing";
        Gfx2dTest::SetUp();
    }
};

} // namespace

#ifdef CORVANE_HAVE_FONT_TOOL

TEST_F(FontTool, HgDrawsInkWhereFreeTypeHasIt) {
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, kFont, 0, &face), 0);
    FT_Set_Pixel_Sizes(face, 0, 16);
    // FreeType's own glyphs: the ink as the BMP keeps it (any coverage) and as
    // the PNG's alpha passes the alpha test (above 0.15).
    struct Case { const char* out; int threshold; };
    for (const Case& c : {Case{"hg.bmp", 0}, Case{"hg.png", 38}}) {
        SCOPED_TRACE(c.out);
        const std::string out = corvane::testing::TestTempDir() + c.out;
        const auto run = RunFontTool({kFont, out, "--size", "16"});
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        LoadFont(RtString(out.c_str()), 1);
        double cw = 0, ch = 0;
        GetFontSize(cw, ch);
        ASSERT_GT(cw, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        PrintText(RtString("Hg"), 0, 0);
        const Screen s = ReadScreen(0, 0, int(cw) * 2, int(ch));
        int baseline[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const char letter = "Hg"[i];
            ASSERT_EQ(FT_Load_Char(face, FT_ULong(letter), FT_LOAD_RENDER), 0);
            const FT_Bitmap& b = face->glyph->bitmap;
            Mask expected, drawn;
            for (unsigned y = 0; y < b.rows; ++y)
                for (unsigned x = 0; x < b.width; ++x)
                    if (b.buffer[y * b.pitch + x] > c.threshold) expected.Add(int(x), int(y));
            for (int y = 0; y < int(ch); ++y)
                for (int x = 0; x < int(cw); ++x)
                    if (s.lit(i * int(cw) + x, y)) drawn.Add(x, y);
            ASSERT_FALSE(drawn.points.empty()) << letter;
            EXPECT_EQ(drawn.Normalised(), expected.Normalised()) << letter;
            // Where the baseline falls in the cell, from each glyph's ink.
            baseline[i] = drawn.bottom - expected.bottom + face->glyph->bitmap_top;
        }
        EXPECT_EQ(baseline[0], baseline[1]) << "both glyphs on one baseline";
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

TEST_F(FontTool, GridsSizesOutlinesAndRefusals) {
    struct Case {
        std::vector<std::string> args;
        int status;
        int imageWidth, imageHeight;   // when it succeeds
        double fontW, fontH;           // GetFontSize
    };
    const Case cases[] = {
        // A proportional face: cells as wide as its '0', the line height high.
        {{"--size", "16"}, 0, 160, 152, 10, 19},
        {{"--size", "16", "--chars", "256"}, 0, 160, 304, 10, 38},
        {{"--size", "16", "--cell", "10x12"}, 0, 160, 96, 10, 12},
        {{"--size", "8", "--chars", "256", "--outline", "1"}, 0, 112, 192, 7, 24},
        {{"--size", "16", "--cell", "12x30"}, 1, 0, 0, 0, 0},          // too high for 8 rows
        {{"--size", "16", "--chars", "256", "--cell", "12x12"}, 1, 0, 0, 0, 0}, // not higher than wide
        {{"--size", "16", "--chars", "200"}, 1, 0, 0, 0, 0},
        {{"--chars", "128"}, 2, 0, 0, 0, 0},                          // no size
    };
    const std::string out = corvane::testing::TestTempDir() + "grid.bmp";
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        std::vector<std::string> args = {kFont, out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::remove(out.c_str());
        const auto run = RunFontTool(args);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        if (c.status != 0) {
            EXPECT_NE(run.output.find("corvane-font"), std::string::npos) << "says why";
            continue;
        }
        LoadFont(RtString(out.c_str()), 2);
        EXPECT_EQ(TheRenderer().imageWidth[Renderer::kFirstFontSlot + 2], c.imageWidth);
        EXPECT_EQ(TheRenderer().imageHeight[Renderer::kFirstFontSlot + 2], c.imageHeight);
        double w = 0, h = 0;
        GetFontSize(w, h);
        EXPECT_EQ(w, c.fontW);
        EXPECT_EQ(h, c.fontH);
    }
    // 256 characters: code 0xE9 is Windows-1252's e-acute, not the 'i' a
    // 128-character font wraps it to; the outline is the built-in font's grey.
    const std::string wide = corvane::testing::TestTempDir() + "wide.png";
    ASSERT_EQ(RunFontTool({kFont, wide, "--size", "16", "--chars", "256", "--outline", "1"}).exitStatus, 0);
    LoadFont(RtString(wide.c_str()), 3);
    glClear(GL_COLOR_BUFFER_BIT);
    PrintText(RtString("\xE9"), 0, 0);
    PrintText(RtString("e"), 0, 60);
    PrintText(RtString("i"), 0, 120);
    auto ink = [](int y0) {
        const Screen s = ReadScreen(0, y0, 23, 48);
        std::vector<bool> bits;
        int outline = 0;
        for (int y = y0; y < y0 + 24; ++y)
            for (int x = 0; x < 23; ++x) {
                bits.push_back(s.at(x, y).r > 128);
                outline += s.at(x, y) == Rgba{8, 8, 8};
            }
        return std::make_pair(bits, outline);
    };
    const auto acute = ink(0), e = ink(60), i = ink(120);
    EXPECT_NE(acute.first, e.first) << "the accent is drawn";
    EXPECT_NE(acute.first, i.first);
    EXPECT_GT(acute.second, 10) << "outline pixels";
    // A file that is not a font: non-zero, with the reason.
    const auto bad = RunFontTool({"/etc/hostname", out, "--size", "16"});
    EXPECT_EQ(bad.exitStatus, 1);
    EXPECT_NE(bad.output.find("cannot read a font"), std::string::npos) << bad.output;
    const auto help = RunFontTool({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.output.find("--outline"), std::string::npos);
    // The starter project turns a font it finds in media/ into the font it loads.
    const std::string starter = corvane::testing::TestTempDir() + "starter";
    std::filesystem::create_directories(starter + "/media");
    ASSERT_TRUE(corvane::testing::WriteFile(starter + "/media/Face.ttf", corvane::testing::ReadFile(kFont)));
    const auto made = corvane::testing::RunProcess({corvane::testing::BuiltProgram("corvane-new"), starter}, {}, 60.0);
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    EXPECT_NE(corvane::testing::ReadFile(starter + "/main.cpp").find("LoadFont(RtString(\"media/font.bmp\"), 0);"),
              std::string::npos);
    LoadFont(RtString((starter + "/media/font.bmp").c_str()), 4);
    EXPECT_GT(TheRenderer().imageWidth[Renderer::kFirstFontSlot + 4], 112) << "not the built-in font";
}

TEST_F(FontTool, ProportionalFacesAreSetInTheirTypicalWidthMonospacedAsGiven) {
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    const struct {
        const char* font;
        bool monospaced;
    } cases[] = {{kFont, false}, {kMonoFont, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.font);
        FT_Face face;
        ASSERT_EQ(FT_New_Face(library, c.font, 0, &face), 0);
        FT_Set_Pixel_Sizes(face, 0, 20);
        auto advance = [&](char letter) {
            FT_Load_Char(face, FT_ULong(letter), FT_LOAD_RENDER);
            return int((face->glyph->advance.x + 32) >> 6);
        };
        const std::string out = corvane::testing::TestTempDir() + "face.bmp";
        const auto run = RunFontTool({c.font, out, "--size", "20"});
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        LoadFont(RtString(out.c_str()), 5);
        double cw = 0, ch = 0;
        GetFontSize(cw, ch);
        if (c.monospaced) {
            EXPECT_GE(int(cw), advance('0')) << "the face's own advance";
            EXPECT_LE(int(cw), advance('0') + 2);
        } else {
            EXPECT_EQ(int(cw), advance('0')) << "the cell follows the face's '0'";
        }
        // The score line fits the width a game expects of 20-pixel text.
        glClear(GL_COLOR_BUFFER_BIT);
        PrintText(RtString("SCORE 10 LIVES 3"), 0, 0);
        const Screen line = ReadScreen(0, 0, 400, int(ch));
        int right = -1;
        for (int y = 0; y < int(ch); ++y)
            for (int x = 0; x < 400; ++x)
                if (line.lit(x, y)) right = std::max(right, x);
        EXPECT_LT(right, 300);
        EXPECT_GT(right, 200);
        // Each glyph inside its own cell: 'W' is drawn smaller in a proportional face,
        // as FreeType draws it in a monospaced one; 'i' is centred.
        for (const char letter : {'W', 'i'}) {
            SCOPED_TRACE(letter);
            glClear(GL_COLOR_BUFFER_BIT);
            PrintText(RtString(std::string(3, letter).c_str()), 0, 0);
            const Screen s = ReadScreen(0, 0, int(cw) * 3, int(ch));
            int left = 1 << 30, last = -1;
            for (int y = 0; y < int(ch); ++y)
                for (int x = int(cw); x < 2 * int(cw); ++x)   // the middle cell
                    if (s.lit(x, y)) left = std::min(left, x - int(cw)), last = std::max(last, x - int(cw));
            ASSERT_GE(last, 0);
            FT_Load_Char(face, FT_ULong(letter), FT_LOAD_RENDER);
            const int freeTypeWidth = int(face->glyph->bitmap.width);
            if (letter == 'W') {
                EXPECT_EQ(last - left + 1 < freeTypeWidth, !c.monospaced) << last - left + 1;
                EXPECT_LE(last - left + 1, int(cw));
            } else if (!c.monospaced) {
                EXPECT_LE(std::abs(left - (int(cw) - 1 - last)), 1) << "centred";
            }
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
}

TEST_F(FontTool, OutlineReachesItsRadiusAndNoFurther) {
    const int radius = 3;
    const std::string out = corvane::testing::TestTempDir() + "ring.bmp";
    ASSERT_EQ(RunFontTool({kFont, out, "--size", "16", "--outline", std::to_string(radius)}).exitStatus, 0);
    LoadFont(RtString(out.c_str()), 6);
    double cw = 0, ch = 0;
    GetFontSize(cw, ch);
    glClear(GL_COLOR_BUFFER_BIT);
    PrintText(RtString("Ag@"), 0, 0);
    const int w = int(cw) * 3, h = int(ch);
    const Screen s = ReadScreen(0, 0, w, h);
    // Ink is brighter than the outline's grey 8; the key colour black is not drawn.
    auto ink = [&](int x, int y) { return s.at(x, y).r > 8; };
    auto ring = [&](int x, int y) { return s.at(x, y) == Rgba{8, 8, 8}; };
    int rings = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (ink(x, y)) continue;
            const int cellX = x / int(cw) * int(cw);
            auto near = [&](int r) {
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (dx * dx + dy * dy <= r * r && nx >= cellX && nx < cellX + int(cw) && ny >= 0 && ny < h &&
                            ink(nx, ny))
                            return true;
                    }
                return false;
            };
            // Ink too faint to tell from the grey lies next to brighter ink: one pixel
            // more is allowed outwards.
            if (near(radius)) {
                EXPECT_TRUE(ring(x, y)) << x << "," << y << " lies within the outline";
            } else if (!near(radius + 1)) {
                EXPECT_FALSE(s.lit(x, y)) << x << "," << y << " lies beyond the outline";
            }
            rings += ring(x, y);
        }
    EXPECT_GT(rings, 100);
}

TEST_F(FontTool, HostileFontsEndWithOneLineSayingWhy) {
    const std::string dir = corvane::testing::TestTempDir() + "hostile-fonts";
    const auto made = corvane::testing::RunProcess(
        {"python3", std::string(CORVANE_SOURCE_DIR) + "/scripts/abuse/hostile_fonts.py", kFont, dir}, {}, 120.0);
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    const struct {
        const char* name;
        int status;
        const char* says;
    } cases[] = {
        {"ascender-minus-32768", 1, "line height"},
        {"descender-plus-32767", 1, "line height"},
        {"typo-ascender-minus-32768", 1, "line height"},
        {"units-per-em-16-size-64", 1, "larger than 16384"},
        {"cut-at-20000", 1, "cannot read a font"},
        {"every-advance-65535", 0, "cells 640 x 24"},
        {"glyf-bytes-changed-0", 0, "128 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string font = dir + "/" + c.name + ".ttf";
        const std::string size = std::string(c.name) == "units-per-em-16-size-64" ? "64" : "20";
        const auto run = RunFontTool({font, corvane::testing::TestTempDir() + "hostile.png", "--size", size});
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        if (c.status) {
            EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        }
    }
}

#endif
