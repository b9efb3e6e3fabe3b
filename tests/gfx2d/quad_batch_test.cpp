// 2D quads collect in one batch: whatever changes the drawing state, reads pixels
// back, begins 3D drawing or draws by other means must send them first, in order.
#include <fstream>
#include <iterator>

#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx3d/gfx3d.h"
#include "tests/gfx2d/sprites_test_support.h"

using namespace corvane;
using namespace sprites_test;

namespace {

constexpr int kRedSlot = 11, kGreenSlot = 12, kReloaded = 13, kGrabbed = 14, kChecker = 15;

class QuadBatch : public SpritesTest {
protected:
    void SetUp() override {
        SpritesTest::SetUp();
        LoadPicture(kRedSlot, 32, 32, [](int, int) { return kRed; }, "batch_red.bmp");
        LoadPicture(kGreenSlot, 32, 32, [](int, int) { return kGreen; }, "batch_green.bmp");
        LoadPicture(kReloaded, 32, 32, [](int, int) { return kRed; }, "batch_reloaded.bmp");
        LoadPicture(kChecker, 17, 13, [](int x, int y) { return (x + y) & 1 ? kWhite : kBlue; }, "batch_checker.bmp");
    }
};

// The colour of a screen pixel, y downward, as 0xBBGGRR.
std::uint32_t PixelAt(int x, int y) {
    const Rgba c = ReadScreen(x, y, 1, 1).at(x, y);
    return std::uint32_t(c.r) | std::uint32_t(c.g) << 8 | std::uint32_t(c.b) << 16;
}

// A pixel of a 24-bit BMP as SaveScreen writes it (rows bottom-up, padded to 4).
std::uint32_t SavedPixel(const std::string& path, int x, int y) {
    std::ifstream f(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (bytes.size() < 54) return 0xDEAD;
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
    };
    const std::size_t width = u32(18), height = u32(22), stride = (width * 3 + 3) & ~std::size_t(3);
    const std::size_t at = u32(10) + (height - 1 - std::size_t(y)) * stride + std::size_t(x) * 3;
    if (at + 3 > bytes.size()) return 0xDEAD;
    return std::uint32_t(std::uint8_t(bytes[at + 2])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[at])) << 16;
}

TEST_F(QuadBatch, PendingQuadsAreSentBeforeWhatDependsOnThem) {
    const std::string saved = corvane::testing::TestTempDir() + "batch_screen.bmp";
    const std::string green = gfx2d_test::WriteTemp("batch_green2.bmp", gfx2d_test::MakeBmp(32, 32, 24, [](int, int) {
                                                         return kGreen;
                                                     }));
    struct Case {
        const char* what;
        std::function<std::uint32_t()> run;   // draws, then gives the colour seen at the probe
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"another texture: the first sprite keeps its own",
         [] { DrawSprite(kRedSlot, 10, 10); DrawSprite(kGreenSlot, 30, 10); return PixelAt(12, 12); }, kRed},
        {"a later sprite covers an earlier one in order",
         [] { DrawSprite(kGreenSlot, 10, 10); DrawSprite(kRedSlot, 10, 10); return PixelAt(12, 12); }, kRed},
        {"a rectangle between two sprites of one texture stays between them",
         [] { DrawSprite(kRedSlot, 10, 10); DrawRect(0, 0, 60, 60, kBlue); DrawSprite(kRedSlot, 30, 30);
              return PixelAt(12, 12); }, kBlue},
        {"a line drawn over batched rectangles",
         [] { DrawRect(0, 0, 60, 60, kBlue); DrawLine(0, 12, 60, 12, kWhite); return PixelAt(30, 12); }, kWhite},
        {"the alpha changes after the sprite",
         [] { SetAlpha(0); DrawSprite(kRedSlot, 10, 10); SetAlpha(-0.5); DrawSprite(kGreenSlot, 50, 50);
              return PixelAt(12, 12); }, kRed},
        {"a turned sprite, then a plain one of the same texture",
         [] { RotateSprite(kRedSlot, 10, 10, 90); DrawSprite(kRedSlot, 100, 100); return PixelAt(26, 26); }, kRed},
        {"RotoZoomSprite's white leaves the current colour at the alpha",
         [] { SetAlpha(-0.5); RotoZoomSprite(kRedSlot, 100, 100, 0, 1); DrawSprite(kRedSlot, 10, 10);
              return PixelAt(12, 12); }, 0x000040},   // red x 0.5 (colour) x 0.5 (blend); a white colour would give 0x7F
        {"GetPixel reads the batched sprite",
         [] { DrawSprite(kRedSlot, 10, 10); return std::uint32_t(GetPixel(12, 12)); }, kRed},
        {"SaveScreen writes the batched sprite",
         [&] { DrawSprite(kRedSlot, 10, 10); SaveScreen(RtString(saved.c_str())); return SavedPixel(saved, 12, 12); },
         kRed},
        {"GrabSprite copies the batched rectangle",
         [] { DrawRect(10, 10, 20, 20, kBlue); GrabSprite(kGrabbed, 10, 10, 8, 8); glClear(GL_COLOR_BUFFER_BIT);
              DrawSprite(kGrabbed, 100, 100); return PixelAt(102, 102); }, kBlue},
        {"a slot reloaded after a draw: the draw shows the old picture",
         [&] { DrawSprite(kReloaded, 10, 10); LoadSprite(RtString(green.c_str()), kReloaded);
               return PixelAt(12, 12); }, kRed},
        {"the viewport moves after the sprite",
         [] { DrawSprite(kRedSlot, 10, 10); SetViewport(300, 300, 100, 100); return PixelAt(12, 12); }, kRed},
        {"3D drawing begins after the sprite",
         [] { DrawSprite(kRedSlot, 10, 10); Start3DMode(1, 1000, 60); PlaceCamera(0, 0, -100, 0, 0, 0);
              return PixelAt(12, 12); }, kRed},
        {"a grabbed background drawn over a sprite covers it",
         [] { DrawRect(0, 0, 639, 479, kBlue); GrabScreenToBackground(2); DrawSprite(kRedSlot, 10, 10);
              DrawBackground(2); FreeBackground(2); return PixelAt(12, 12); }, kBlue},
        {"more quads than one batch holds: the last of them is drawn",
         [] { for (int i = 0; i < 20000; ++i) DrawRect(i % 200, i / 200, i % 200, i / 200, i == 19999 ? kGreen : kBlue);
              return PixelAt(199, 99); }, kGreen},
        {"text longer than one part: the last characters are drawn",
         [] { SetFont(0); const std::string line(1100, '#'); PrintText(RtString(line.c_str()), -7.0 * 1095, 10);
              return std::uint32_t(LitPixels(ReadScreen(0, 10, 60, 8)).count > 0); }, 1},
    };
    for (const Case& c : cases) {
        SetAlpha(0);
        ResetViewport(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(c.run(), c.expected) << c.what;
        EXPECT_EQ(PendingQuads(), 0u) << c.what << ": nothing left behind after the read";
    }
    SetAlpha(0);
    ResetViewport(0, 0, 0, 0);
}

// The slot's picture as one fan in immediate mode, filtered as its texture is set up.
void ReferenceQuad(int slot, float left, float bottom, float right, float top) {
    FlushQuads();
    BindSlot(slot, -1, 0);
    const Renderer& r = TheRenderer();
    const float u = float(r.imageWidth[slot]) / float(r.textureWidth[slot]);
    const float v = float(r.imageHeight[slot]) / float(r.textureHeight[slot]);
    glBegin(GL_TRIANGLE_FAN);
    glTexCoord2f(0, 0), glVertex2f(left, bottom);
    glTexCoord2f(u, 0), glVertex2f(right, bottom);
    glTexCoord2f(u, v), glVertex2f(right, top);
    glTexCoord2f(0, v), glVertex2f(left, top);
    glEnd();
}

// Pictures placed texel for texel are sampled the cheap way; every pixel must stay
// what linear filtering gives, and anything scaled or under other matrices keeps it.
TEST_F(QuadBatch, SamplingShortcutOnlyWhereItChangesNoPixel) {
    struct Case {
        const char* what;
        std::function<void()> matrices;
        std::function<void()> draw;
        float left, bottom, right, top;   // the same quad for the reference
    };
    const Case cases[] = {
        {"own size on whole pixels", [] {}, [] { DrawSprite(kChecker, 10.2, 20.7); }, 11, -34, 28, -21},
        {"own size in a smaller viewport", [] { SetViewport(50, 40, 200, 150); },
         [] { DrawSprite(kChecker, 10, 10); }, 10, -23, 27, -10},
        {"stretched to twice its size", [] {}, [] { StretchSprite(kChecker, 10, 10, 34, 26); }, 10, -36, 44, -10},
        {"own size under the 3D matrices", [] { Start3DMode(1, 1000, 60); PlaceCamera(0, 0, -60, 0, 0, 0); },
         [] { DrawSprite(kChecker, -20, -20); }, -20, 7, -3, 20},
    };
    for (const Case& c : cases) {
        SetAlpha(0);
        ResetViewport(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        c.matrices();
        c.draw();
        const Screen drawn = WholeScreen();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ReferenceQuad(kChecker, c.left, c.bottom, c.right, c.top);
        const Screen reference = WholeScreen();
        EXPECT_GT(LitPixels(reference).count, 100) << c.what;
        EXPECT_EQ(Differences(drawn, reference), 0) << c.what;
    }
    SetAlpha(0);
    ResetViewport(0, 0, 0, 0);
}

} // namespace
