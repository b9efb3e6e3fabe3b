// PNG, JPEG and TGA pictures: ImageMagick writes each variant from one BMP
// picture, and the decoder must give the texels the BMP reader gives (JPEG
// within its loss); alpha, keying, broken files; then the loaders through the GL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/picture.h"
#include "tests/gfx2d/gfx2d_test_support.h"

using namespace corvane;
using namespace gfx2d_test;

namespace {

std::string ConvertTool() {
    if (!corvane::testing::ShellToolsAvailable()) return "";
    for (const char* c : {"/usr/bin/convert", "/usr/bin/convert-im6.q16"})
        if (std::system((std::string(c) + " -version > /dev/null 2>&1").c_str()) == 0) return c;
    return "";
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

// Runs convert with `args` (which name the output) and returns the written file.
std::string Convert(const std::string& args, const std::string& output) {
    const std::string tool = ConvertTool();
    if (tool.empty()) return "";
    const std::string dir = corvane::testing::TestTempDir();
    const std::string command = "cd '" + dir + "' && " + tool + " " + args + " > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return "";
    return ReadAll(dir + output);
}

// Blocks of flat colour on 8-pixel lines (so JPEG keeps them close), the key
// colour among them, on a 48 x 40 picture (not a power of two).
const char* kSourceDraw =
    "-size 48x40 xc:white -fill '#FF0080' -draw 'rectangle 0,0 15,15' -fill '#102030' -draw 'rectangle 16,0 31,15' "
    "-fill '#30A050' -draw 'rectangle 32,0 47,15' -fill '#F0E010' -draw 'rectangle 0,16 23,39' "
    "-fill '#204080' -draw 'rectangle 24,16 47,39' -fill '#FF0080' -draw 'rectangle 32,24 39,31'";

// The PNG chunk checksum (CRC-32, reflected 0xEDB88320).
std::uint32_t Crc32(const char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= std::uint8_t(data[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

bool Decode(const std::string& file, PictureTexels* out, bool keying = true, int max = 4096) {
    PictureDecodeRequest r;
    r.keyColour = kSpriteKeyColour;
    r.keying = keying;
    r.maxTextureSize = max;
    return DecodePicture(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), r, out);
}

// Largest channel difference between two decodes of the same sizes (alpha included).
int MaxDifference(const PictureTexels& a, const PictureTexels& b) {
    if (a.rgba.size() != b.rgba.size() || a.width != b.width || a.height != b.height) return 1000;
    int worst = 0;
    for (std::size_t i = 0; i < a.rgba.size(); ++i) worst = std::max(worst, std::abs(a.rgba[i] - b.rgba[i]));
    return worst;
}

class Pictures : public ::testing::Test {
protected:
    void SetUp() override {
        if (ConvertTool().empty()) GTEST_SKIP() << "ImageMagick's convert is missing (" << corvane::testing::kNoShellTools << ")";
        source = Convert(std::string(kSourceDraw) + " BMP3:source.bmp", "source.bmp");
        ASSERT_FALSE(source.empty());
    }
    std::string source;
};

struct Variant {
    const char* prep;      // convert arguments applied to the picture and its BMP reference alike
    const char* args;      // then those that write the variant
    const char* output;
    PictureKind kind;
    int tolerance;         // per channel; JPEG loses a little
};

const Variant kVariants[] = {
    {"", "PNG24:v.png", "v.png", PictureKind::Png, 0},
    {"", "PNG8:v8.png", "v8.png", PictureKind::Png, 0},
    {"", "PNG48:v48.png", "v48.png", PictureKind::Png, 0},
    {"", "-interlace PNG PNG24:vi.png", "vi.png", PictureKind::Png, 0},
    // ImageMagick rounds its grey levels for PNG and BMP a level apart at times.
    {"-colorspace Gray", "PNG:vg.png", "vg.png", PictureKind::Png, 1},
    {"-colorspace Gray", "-depth 16 PNG:vg16.png", "vg16.png", PictureKind::Png, 1},
    {"-colorspace Gray -threshold 50%", "-depth 1 PNG:vg1.png", "vg1.png", PictureKind::Png, 0},
    // ImageMagick marks its TGA rows as stored from the top only when told the
    // orientation; otherwise it writes them top first, marked bottom first, so
    // a flipped picture comes out as a true bottom-up file.
    {"", "-orient TopLeft TGA:v.tga", "v.tga", PictureKind::Tga, 0},
    {"", "-orient TopLeft -compress RLE TGA:vr.tga", "vr.tga", PictureKind::Tga, 0},
    {"", "-orient TopLeft -type Palette TGA:vp.tga", "vp.tga", PictureKind::Tga, 0},
    {"-colorspace Gray", "-orient TopLeft TGA:vg.tga", "vg.tga", PictureKind::Tga, 0},
    {"", "-flip TGA:vb.tga", "vb.tga", PictureKind::Tga, 0},
    {"", "-flip -compress RLE TGA:vbr.tga", "vbr.tga", PictureKind::Tga, 0},
    {"", "-quality 95 JPG:v.jpg", "v.jpg", PictureKind::Jpeg, 40},
    {"", "-interlace JPEG -quality 95 JPG:vp.jpg", "vp.jpg", PictureKind::Jpeg, 40},
    {"-colorspace Gray", "-quality 95 JPG:vg.jpg", "vg.jpg", PictureKind::Jpeg, 40},
};

} // namespace

TEST_F(Pictures, EveryVariantGivesTheTexelsOfTheBmp) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(std::string(v.prep) + " " + v.args);
        std::string file = Convert("source.bmp " + std::string(v.prep) + " " + v.args, v.output);
        const std::string reference = Convert("source.bmp " + std::string(v.prep) + " BMP3:ref.bmp", "ref.bmp");
        ASSERT_FALSE(file.empty());
        ASSERT_FALSE(reference.empty());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
        EXPECT_EQ(SniffPicture(bytes, file.size()), v.kind);
        int w = 0, h = 0;
        ASSERT_TRUE(ProbePicture(bytes, file.size(), &w, &h));
        EXPECT_EQ(w, 48);
        EXPECT_EQ(h, 40);
        // JPEG cannot keep the key colour exactly, so it is compared unkeyed.
        const bool keying = v.kind != PictureKind::Jpeg;
        PictureTexels picture, expected;
        ASSERT_TRUE(Decode(file, &picture, keying));
        ASSERT_TRUE(Decode(reference, &expected, keying));
        EXPECT_EQ(picture.textureWidth, 64);
        EXPECT_EQ(picture.textureHeight, 64);
        EXPECT_LE(MaxDifference(picture, expected), v.tolerance);
    }
}

TEST_F(Pictures, AlphaIsKeptAndPicturesWithoutItAreKeyed) {
    // A PNG with alpha keeps the key colour opaque and its own alpha; the same
    // picture without alpha is keyed like the BMP.
    const std::string withAlpha = Convert(
        "source.bmp -alpha set -channel A -fx 'i<8 ? 0 : (i<24 ? 0.5 : 1)' +channel PNG32:alpha.png", "alpha.png");
    const std::string palette = Convert(
        "source.bmp -transparent '#30A050' PNG8:trns.png", "trns.png");
    const std::string tgaAlpha = Convert(
        "source.bmp -alpha set -channel A -fx 'i<8 ? 0 : 1' +channel TGA:alpha.tga", "alpha.tga");
    PictureTexels t;
    auto texel = [&](int x, int y) { return &t.rgba[(std::size_t(t.height - 1 - y) * t.textureWidth + x) * 4]; };
    ASSERT_TRUE(Decode(withAlpha, &t));
    EXPECT_EQ(texel(4, 4)[3], 0);                       // alpha 0 there
    EXPECT_NEAR(texel(12, 4)[3], 128, 1);               // the key colour at half alpha stays
    EXPECT_EQ(texel(12, 4)[0], 255);
    EXPECT_EQ(texel(12, 4)[2], 128);
    EXPECT_EQ(texel(34, 26)[3], 255);                   // an opaque key-colour block is not keyed
    ASSERT_TRUE(Decode(palette, &t));
    EXPECT_EQ(texel(40, 4)[3], 0) << "palette transparency";
    EXPECT_EQ(texel(4, 4)[3], 255) << "a picture with transparency is not keyed";
    ASSERT_TRUE(Decode(tgaAlpha, &t));
    EXPECT_EQ(texel(4, 4)[3], 0);
    EXPECT_EQ(texel(12, 4)[3], 255);
    ASSERT_TRUE(Decode(Convert("source.bmp PNG24:plain.png", "plain.png"), &t));
    EXPECT_EQ(texel(4, 4)[3], 0) << "no alpha: the key colour is transparent";
    EXPECT_EQ(texel(20, 4)[3], 255);
}

TEST_F(Pictures, RectanglesLimitsAndBrokenFilesAreRefusedCleanly) {
    const std::string png = Convert("source.bmp PNG24:r.png", "r.png");
    const std::string jpg = Convert("source.bmp -interlace JPEG JPG:r.jpg", "r.jpg");
    const std::string tga = Convert("source.bmp -orient TopLeft -compress RLE TGA:r.tga", "r.tga");
    // A rectangle is that part of the picture, as for a BMP.
    PictureDecodeRequest rect;
    rect.sourceX = 10, rect.sourceY = 12, rect.width = 20, rect.height = 9, rect.maxTextureSize = 64;
    PictureTexels a, b;
    const auto* pngBytes = reinterpret_cast<const std::uint8_t*>(png.data());
    const auto* bmpBytes = reinterpret_cast<const std::uint8_t*>(source.data());
    ASSERT_TRUE(DecodePicture(pngBytes, png.size(), rect, &a));
    ASSERT_TRUE(DecodeBmp(bmpBytes, source.size(), rect, &b));
    EXPECT_EQ(MaxDifference(a, b), 0);
    rect.maxTextureSize = 32;                           // the rectangle fits; the picture does not
    EXPECT_FALSE(DecodePicture(pngBytes, png.size(), rect, &a));
    for (const std::string* file : {&png, &jpg, &tga}) {
        EXPECT_FALSE(Decode(*file, &a, true, 40)) << "wider than the GL maximum";
        // Where the pixel data ends: PNG writers put text chunks after it.
        std::size_t size = file->size();
        if (file == &png) {
            const std::size_t idat = png.find("IDAT");
            ASSERT_NE(idat, std::string::npos);
            size = idat + 4 + ((std::uint8_t(png[idat - 2]) << 8) | std::uint8_t(png[idat - 1])) + 4;
        }
        for (std::size_t keep : {std::size_t(0), std::size_t(3), std::size_t(18), std::size_t(30), size / 2,
                                 size * 3 / 4, size - 5, size - 1}) {
            const std::string cut = file->substr(0, keep);
            EXPECT_FALSE(Decode(cut, &a)) << "kept " << keep << " of " << size;
        }
    }
    // Lying sizes: each header claims twice the height.
    std::string lyingPng = png;
    lyingPng[23] = char(80);
    const std::uint32_t crc = Crc32(lyingPng.data() + 12, 17);
    for (int i = 0; i < 4; ++i) lyingPng[29 + i] = char(crc >> (24 - 8 * i));
    std::string lyingTga = tga;
    lyingTga[14] = char(80);
    std::string lyingJpg = jpg;
    const std::size_t sof = lyingJpg.find("\xFF\xC2");
    ASSERT_NE(sof, std::string::npos);
    lyingJpg[sof + 6] = char(80);
    for (const std::string* lying : {&lyingPng, &lyingTga, &lyingJpg}) {
        int w = 0, h = 0;
        EXPECT_TRUE(ProbePicture(reinterpret_cast<const std::uint8_t*>(lying->data()), lying->size(), &w, &h));
        EXPECT_EQ(h, 80);
        EXPECT_FALSE(Decode(*lying, &a));
    }
    // Not a picture at all.
    EXPECT_FALSE(Decode(std::string("hello, this is text and not a picture"), &a));
    EXPECT_EQ(SniffPicture(reinterpret_cast<const std::uint8_t*>("GIF89a"), 6), PictureKind::Unknown);
}

namespace {
class PictureLoads : public Gfx2dTest {
protected:
    void SetUp() override {
        Gfx2dTest::SetUp();
        if (ConvertTool().empty()) GTEST_SKIP() << "ImageMagick's convert is missing (" << corvane::testing::kNoShellTools << ")";
        ASSERT_FALSE(Convert(std::string(kSourceDraw) + " BMP3:gl.bmp", "gl.bmp").empty());
    }
};
} // namespace

TEST_F(PictureLoads, SpritesFontsAndBackgroundsDrawTheBmpPixels) {
    const std::string dir = corvane::testing::TestTempDir();
    ASSERT_EQ(LoadSprite(RtString((dir + "gl.bmp").c_str()), 1), 1.0);
    DrawSlotTexture(1, 0, 0);
    const Screen expected = ReadScreen(0, 0, 48, 40);
    struct Case { const char* args; const char* file; int tolerance; };
    // The file names lie about the content: recognition is by the bytes.
    const Case cases[] = {{"PNG8:gl_png.bmp", "gl_png.bmp", 0},
                          {"-orient TopLeft -compress RLE TGA:gl.tga", "gl.tga", 0},
                          {"-quality 98 JPG:gl.png", "gl.png", 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_FALSE(Convert("gl.bmp " + std::string(c.args), c.file).empty());
        const std::string path = dir + c.file;
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_EQ(LoadSprite(RtString(path.c_str()), 2), 1.0);
        EXPECT_EQ(TheRenderer().imageWidth[2], 48);
        EXPECT_EQ(TheRenderer().textureHeight[2], 64);
        DrawSlotTexture(2, 0, 0);
        const Screen s = ReadScreen(0, 0, 48, 40);
        int worst = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x) {
                const Rgba p = s.at(x, y), q = expected.at(x, y);
                // JPEG cannot hold the key colour: its blocks are left out there.
                if (c.tolerance && q == Rgba{}) continue;
                worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
            }
        EXPECT_LE(worst, c.tolerance);
        ASSERT_EQ(LoadBumpTexture(RtString(path.c_str()), 3), 1.0);
        EXPECT_NE(TheRenderer().textureNames[3][1], 0u);
    }
    // A font from a PNG: black is its key colour; a TGA background is cut into tiles.
    ASSERT_FALSE(Convert("gl.bmp -fill black -draw 'rectangle 0,0 7,7' PNG24:font.png", "font.png").empty());
    LoadFont(RtString((dir + "font.png").c_str()), 3);
    EXPECT_EQ(TheRenderer().imageWidth[Renderer::kFirstFontSlot + 3], 48);
    double fw = 0, fh = 0;
    GetFontSize(fw, fh);
    EXPECT_EQ(fw, 3.0);
    EXPECT_EQ(fh, 5.0);
    ASSERT_TRUE(LoadTiledBackground(2, (dir + "gl.tga").c_str()));
    EXPECT_EQ(TheRenderer().backgrounds[2].columns, 1);
    // A picture that is not one fails and leaves the slot empty.
    ASSERT_TRUE(corvane::testing::WriteFile(dir + "junk.png", std::string(40, '\x01')));
    EXPECT_EQ(LoadSprite(RtString((dir + "junk.png").c_str()), 2), 0.0);
    EXPECT_EQ(TheRenderer().textureWidth[2], -1);
}

TEST_F(PictureLoads, AlphaGradientBlendsAsItsAlphaSays) {
    const std::string dir = corvane::testing::TestTempDir();
    ASSERT_FALSE(Convert("-size 256x4 xc:'#FF0000' -alpha set -channel A -fx 'i/255' +channel PNG32:ramp.png",
                         "ramp.png").empty());
    ASSERT_EQ(LoadSprite(RtString((dir + "ramp.png").c_str()), 4), 1.0);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SetAlpha(-1);                                       // blending by the texels' alpha
    DrawSlotTexture(4, 0, 0);
    SetAlpha(0);
    const Screen s = ReadScreen(0, 0, 256, 4);
    for (int x : {0, 20, 38, 50, 100, 128, 200, 255}) {
        const Rgba p = s.at(x, 1);
        if (x <= 38) {                                  // at or below the alpha test's 0.15: dropped
            EXPECT_EQ(p, (Rgba{0, 0, 255})) << x;
            continue;
        }
        EXPECT_NEAR(p.r, x, 2) << x;
        EXPECT_NEAR(p.b, 255 - x, 2) << x;
    }
}
