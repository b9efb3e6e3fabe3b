// Texture slots through the GL: loads checked by drawing the slot's texture and
// reading the framebuffer back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/bmp.h"
#include "tests/gfx2d/gfx2d_test_support.h"

using namespace corvane;
using namespace gfx2d_test;

namespace {

class TextureSlots : public Gfx2dTest {};

void ExpectEmpty(int slot) {
    EXPECT_EQ(TheRenderer().textureWidth[slot], -1);
    EXPECT_EQ(TheRenderer().textureHeight[slot], -1);
    EXPECT_EQ(TheRenderer().textureNames[slot][0], 0u);
}

// ImageMagick's convert, or "" where it is missing.
std::string Convert() {
    if (!corvane::testing::ShellToolsAvailable()) return "";
    for (const char* c : {"/usr/bin/convert", "/usr/bin/convert-im6.q16"})
        if (std::system((std::string(c) + " -version > /dev/null 2>&1").c_str()) == 0) return c;
    return "";
}

} // namespace

TEST_F(TextureSlots, OneByOneBecomesTwoByTwoAndDrawsItsPixel) {
    const std::string path = WriteTemp("one.bmp", MakeBmp(1, 1, 24, [](int, int) { return 0x00FF00u; }));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), 5), 1.0);
    EXPECT_EQ(TheRenderer().textureWidth[5], 2);
    EXPECT_EQ(TheRenderer().textureHeight[5], 2);
    EXPECT_EQ(TheRenderer().imageWidth[5], 1);
    EXPECT_EQ(TheRenderer().imageHeight[5], 1);
    EXPECT_NE(TheRenderer().textureNames[5][1], 0u) << "sprites get a mipmapped copy";
    DrawSlotTexture(5, 20, 30);
    const Screen s = ReadScreen(20, 30, 2, 2);
    EXPECT_EQ(s.at(20, 31), (Rgba{0, 255, 0}));    // bottom-left texel
    EXPECT_EQ(s.at(21, 31), (Rgba{0, 0, 0}));      // transparent texels fail the alpha test
    EXPECT_EQ(s.at(20, 30), (Rgba{0, 0, 0}));
}

TEST_F(TextureSlots, PictureRowsLandInTheTextureBottomLeft) {
    auto pixel = [](int x, int y) -> std::uint32_t {
        if (y == 0) return 0x0000FF;   // top row red
        if (x == 0) return 0xFF0000;   // left column blue
        return 0x00FF00;
    };
    const std::string path = WriteTemp("wide.bmp", MakeBmp(100, 60, 24, pixel));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), 7), 1.0);
    EXPECT_EQ(TheRenderer().textureWidth[7], 128);
    EXPECT_EQ(TheRenderer().textureHeight[7], 64);
    DrawSlotTexture(7, 0, 0);
    // Texture row 59 is 4 texture rows below the top of the 64-row texture.
    const Screen s = ReadScreen(0, 0, 128, 64);
    EXPECT_EQ(s.at(50, 4), (Rgba{255, 0, 0}));
    EXPECT_EQ(s.at(0, 30), (Rgba{0, 0, 255}));
    EXPECT_EQ(s.at(99, 63), (Rgba{0, 255, 0}));
    EXPECT_EQ(s.at(50, 3), (Rgba{0, 0, 0}));
    EXPECT_EQ(s.at(100, 30), (Rgba{0, 0, 0}));
}

TEST_F(TextureSlots, KeyColourIsTransparentInSpritesAndBlackInFonts) {
    auto pixel = [](int x, int) -> std::uint32_t { return x == 0 ? kSpriteKeyColour : (x == 1 ? 0u : 0xFFFFFFu); };
    const std::string path = WriteTemp("key.bmp", MakeBmp(4, 2, 24, pixel));
    ASSERT_EQ(LoadImageIntoSlot(9, path.c_str(), kSpriteKeyColour, 0), 1);
    ASSERT_EQ(LoadImageIntoSlot(Renderer::kFirstFontSlot + 9, path.c_str(), 0, 0), 1);
    EXPECT_EQ(TheRenderer().textureNames[Renderer::kFirstFontSlot + 9][1], 0u) << "fonts: no mipmap copy";
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawSlotTexture(9, 0, 0);
    DrawSlotTexture(Renderer::kFirstFontSlot + 9, 0, 10);
    const Screen s = ReadScreen(0, 0, 4, 12);
    EXPECT_EQ(s.at(0, 1), (Rgba{0, 0, 255})) << "sprite key: background shows";
    EXPECT_EQ(s.at(1, 1), (Rgba{0, 0, 0})) << "sprite black: drawn";
    EXPECT_EQ(s.at(0, 11), (Rgba{255, 0, 128})) << "font: key colour drawn";
    EXPECT_EQ(s.at(1, 11), (Rgba{0, 0, 255})) << "font black: background shows";
    const unsigned char* alpha = FetchAlphaCopy(9);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha[0], 0);
    EXPECT_EQ(alpha[1], 255);
    EXPECT_EQ(alpha[4 + 3], 255) << "second row, white";
    EXPECT_EQ(FetchAlphaCopy(9), alpha) << "kept until the slot changes";
    FreeSlot(9);
    EXPECT_EQ(TheRenderer().alphaCopy[9], nullptr);
}

TEST_F(TextureSlots, BleedingShowsUnderTheTransparentTexel) {
    auto pixel = [](int x, int y) -> std::uint32_t {
        if (y == 1 && x == 1) return 0x0000FF;
        if (y == 1 && x == 3) return 0xFF0000;
        return kSpriteKeyColour;
    };
    const std::string path = WriteTemp("bleed.bmp", MakeBmp(5, 3, 24, pixel));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), 11), 1.0);
    glDisable(GL_ALPHA_TEST);
    DrawSlotTexture(11, 0, 0);
    glEnable(GL_ALPHA_TEST);
    // 8 x 4 texture: picture row 1 is texture row 1, screen row 4 - 1 - 1 = 2.
    const Screen s = ReadScreen(0, 0, 8, 4);
    EXPECT_EQ(s.at(2, 2), (Rgba{127, 0, 127}));
}

TEST_F(TextureSlots, FailedLoadsLeaveTheSlotEmpty) {
    const std::string good = WriteTemp("good.bmp", MakeBmp(4, 4, 24, [](int, int) { return 0x123456u; }));
    for (int bits : {4, 12}) {                 // 4 bits without a colour table; no 12-bit depth exists
        std::string f = MakeBmp(4, 4, 24, [](int, int) { return 0x123456u; });
        f[28] = char(bits);
        const std::string bad = WriteTemp("bits" + std::to_string(bits) + ".bmp", f);
        ASSERT_EQ(LoadSprite(RtString(good.c_str()), 3), 1.0);
        EXPECT_EQ(LoadSprite(RtString(bad.c_str()), 3), 0.0) << bits;
        ExpectEmpty(3);
    }
    // Wider than the GL can hold: refused rather than cut.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (maxSize > 0 && maxSize < 32768) {
        const std::string wide = WriteTemp("too_wide.bmp", MakeBmp(maxSize + 1, 1, 24, [](int, int) { return 0x123456u; }));
        EXPECT_EQ(LoadSprite(RtString(wide.c_str()), 3), 0.0);
        ExpectEmpty(3);
    }
    // A missing file leaves the slot as it was.
    ASSERT_EQ(LoadSprite(RtString(good.c_str()), 3), 1.0);
    EXPECT_EQ(LoadSprite(RtString((good + ".missing").c_str()), 3), 0.0);
    EXPECT_EQ(TheRenderer().textureWidth[3], 4);
}

TEST_F(TextureSlots, SlotNumbersOutsideTheTableAreIgnored) {
    const std::string good = WriteTemp("good2.bmp", MakeBmp(4, 4, 24, [](int, int) { return 0x123456u; }));
    for (double slot : {-1.0, 65536.0, 1e12, -1e12})
        EXPECT_EQ(LoadSprite(RtString(good.c_str()), slot), 0.0) << slot;
    EXPECT_EQ(LoadSprite(RtString(good.c_str()), 65535.9), 1.0) << "truncated to the last font slot";
    EXPECT_EQ(LoadSprite(RtString(good.c_str()), -0.5), 1.0) << "truncated to slot 0";
    FreeSlot(70000);
    EXPECT_EQ(FetchAlphaCopy(-4), nullptr);
    SetTexture(70000, 0); // ignored, no crash
}

TEST_F(TextureSlots, BumpTextureIsANormalMap) {
    const std::string path = WriteTemp("flat.bmp", MakeBmp(4, 4, 24, [](int, int) { return 0x400000u; }));
    ASSERT_EQ(LoadBumpTexture(RtString(path.c_str()), 12), 1.0);
    DrawSlotTexture(12, 0, 0);
    EXPECT_EQ(ReadScreen(0, 0, 4, 4).at(1, 1), (Rgba{128, 128, 255}));
}

TEST_F(TextureSlots, MipmappedCopyIsCompleteDownToOneTexel) {
    const std::string path = WriteTemp("mip.bmp", MakeBmp(64, 16, 24, [](int, int) { return 0x00C800u; }));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), 13), 1.0);
    // Drawn at a quarter of its size through the mipmapped copy: an incomplete
    // chain would sample as black (texturing off), a complete one as green.
    BindSlot(13, -1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(0, -4);
    glTexCoord2f(1, 0); glVertex2f(16, -4);
    glTexCoord2f(1, 1); glVertex2f(16, 0);
    glTexCoord2f(0, 1); glVertex2f(0, 0);
    glEnd();
    EXPECT_EQ(ReadScreen(0, 0, 16, 4).at(8, 2), (Rgba{0, 200, 0}));
    // 1 x 1 is the last level: 64 x 16 has 7 levels.
    glBindTexture(GL_TEXTURE_2D, TheRenderer().textureNames[13][1]);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 6, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 6, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

TEST_F(TextureSlots, BindSlotWithAndWithoutMultitexture) {
    const std::string a = WriteTemp("a.bmp", MakeBmp(2, 2, 24, [](int, int) { return 0x0000FFu; }));
    const std::string b = WriteTemp("b.bmp", MakeBmp(2, 2, 24, [](int, int) { return 0xFF0000u; }));
    ASSERT_EQ(LoadSprite(RtString(a.c_str()), 20), 1.0);
    ASSERT_EQ(LoadSprite(RtString(b.c_str()), 21), 1.0);
    Renderer& r = TheRenderer();
    if (engine.surface.ext.activeTexture) {
        // Two slots: unit 0 draws the second, unit 1 the first (modulated: red x blue = black).
        BindSlot(20, 21, 0);
        EXPECT_EQ(r.boundSlot, 20);
        EXPECT_EQ(r.boundSecondSlot, 21);
        GLint unit0 = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit0);
        EXPECT_EQ(GLuint(unit0), r.textureNames[21][0]);
        BindSlot(-1, -1, 0);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    }
    // Without the extension the plain GL path binds the first slot only.
    const GLExtensions saved = engine.surface.ext;
    engine.surface.ext = GLExtensions{};
    BindSlot(20, 21, 0);
    DrawSlotTexture(20, 0, 0);
    EXPECT_EQ(ReadScreen(0, 0, 2, 2).at(0, 0), (Rgba{255, 0, 0}));
    BindSlot(-1, -1, 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    engine.surface.ext = saved;
    ResetViewport(0, 0, 0, 0);
}

TEST_F(TextureSlots, ImagesWrittenByImageMagickLoad) {
    const std::string convert = Convert();
    if (convert.empty()) GTEST_SKIP() << "ImageMagick's convert is not installed (" << corvane::testing::kNoShellTools << ")";
    // Three red columns, three blue ones, then a grey ramp of 32 columns (so that
    // the palette writer needs 8 bits); 8-bit both with the 40-byte info header
    // and with the larger one ImageMagick writes by default, and run-length packed
    // as it writes palettes unless told otherwise.
    const std::string dir = corvane::testing::TestTempDir();
    struct Case { const char* name; const char* options; };
    const Case cases[] = {
        {"im24.bmp", "-type TrueColor BMP3:"},
        {"im32.bmp", "-type TrueColorAlpha BMP:"},
        {"im8old.bmp", "-type Palette -compress None BMP3:"},
        {"im8.bmp", "-type Palette -compress None BMP:"},
        {"im8rle.bmp", "-type Palette BMP3:"},
    };
    for (const Case& c : cases) {
        const std::string options = c.options;
        const std::string command = convert +
                                    " -size 3x4 xc:red -size 3x4 xc:blue '(' -size 4x32 gradient:white-black"
                                    " -rotate 90 ')' +append " +
                                    options.substr(0, options.rfind(' ')) + " " +
                                    options.substr(options.rfind(' ') + 1) + dir + c.name + " > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string path = dir + c.name;
        int w = 0, h = 0;
        ASSERT_EQ(ProbeBmpSize(path.c_str(), &w, &h), 1) << c.name;
        EXPECT_EQ(w, 38);
        EXPECT_EQ(h, 4);
        ASSERT_EQ(LoadSprite(RtString(path.c_str()), 30), 1.0) << c.name;
        glClear(GL_COLOR_BUFFER_BIT);
        DrawSlotTexture(30, 0, 0);
        const Screen s = ReadScreen(0, 0, 64, 4);
        EXPECT_EQ(s.at(0, 0), (Rgba{255, 0, 0})) << c.name;
        EXPECT_EQ(s.at(5, 3), (Rgba{0, 0, 255})) << c.name;
        const Rgba ramp = s.at(6, 2);
        EXPECT_LT(ramp.r, 40) << c.name << " starts black";
        EXPECT_TRUE(ramp.r == ramp.g && ramp.g == ramp.b) << c.name << " " << ramp;
        EXPECT_GT(s.at(37, 2).r, 200) << c.name << " ends white";
    }
}

TEST_F(TextureSlots, PictureNamesAreFoundAsProgramsWriteThem) {
    // The folder and file exist in lower case; programs write them any way.
    std::error_code made;
    std::filesystem::create_directories(corvane::testing::TestTempDir() + "gfx", made);
    ASSERT_FALSE(made) << made.message();
    WriteTemp("gfx/ship.bmp", MakeBmp(2, 2, 24, [](int, int) { return 0x0000FFu; }));
    const struct {
        const char* written;
        double loaded;
    } cases[] = {{"gfx/ship.bmp", 1}, {"Gfx\\Ship.BMP", 1}, {"GFX/SHIP.bmp", 1}, {"Gfx\\Other.BMP", 0}};
    for (const auto& c : cases) {
        const std::string name = corvane::testing::TestTempDir() + c.written;
        EXPECT_EQ(LoadSprite(RtString(name.c_str()), 12), c.loaded) << c.written;
        int width = 0, height = 0;
        EXPECT_EQ(ProbeBmpSize(name.c_str(), &width, &height), c.loaded != 0) << c.written;
        EXPECT_EQ(width, c.loaded != 0 ? 2 : 0);
    }
}
