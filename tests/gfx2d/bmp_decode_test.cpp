// The BMP reader over bytes in memory: layout of the texture buffer, keying,
// bleeding, and files whose headers lie.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/gfx2d/bmp.h"
#include "tests/gfx2d/gfx2d_test_support.h"

using namespace corvane;
using gfx2d_test::MakeBmp;

namespace {

struct Texel { int r, g, b, a; };

Texel At(const PictureTexels& t, int x, int row) {
    const std::uint8_t* p = &t.rgba[(std::size_t(row) * t.textureWidth + x) * 4];
    return Texel{p[0], p[1], p[2], p[3]};
}

bool Decode(const std::string& file, PictureTexels* out, std::uint32_t key = kSpriteKeyColour, bool keying = true) {
    PictureDecodeRequest request;
    request.keyColour = key;
    request.keying = keying;
    return DecodeBmp(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), request, out);
}

void Put32(std::string& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

TEST(BmpDecode, SmallestPictureGetsTwoByTwoTexture) {
    PictureTexels t;
    ASSERT_TRUE(Decode(MakeBmp(1, 1, 24, [](int, int) { return 0x336699u; }), &t));
    EXPECT_EQ(t.textureWidth, 2);
    EXPECT_EQ(t.textureHeight, 2);
    const Texel p = At(t, 0, 0);
    EXPECT_EQ(p.r, 0x99); EXPECT_EQ(p.g, 0x66); EXPECT_EQ(p.b, 0x33); EXPECT_EQ(p.a, 255);
    for (auto [x, y] : {std::pair{1, 0}, {0, 1}, {1, 1}}) EXPECT_EQ(At(t, x, y).a, 0);
}

TEST(BmpDecode, PictureSitsBottomLeftWithTopRowAtHeightMinusOne) {
    // Top row red, bottom row blue, rightmost column green, the rest grey.
    auto pixel = [](int x, int y) -> std::uint32_t {
        if (y == 0) return 0x0000FF;
        if (y == 59) return 0xFF0000;
        if (x == 99) return 0x00FF00;
        return 0x808080;
    };
    for (int bits : {24, 32}) {
        PictureTexels t;
        ASSERT_TRUE(Decode(MakeBmp(100, 60, bits, pixel), &t)) << bits;
        EXPECT_EQ(t.textureWidth, 128);
        EXPECT_EQ(t.textureHeight, 64);
        EXPECT_EQ(At(t, 10, 59).r, 255);   // top picture row
        EXPECT_EQ(At(t, 10, 0).b, 255);    // bottom picture row
        EXPECT_EQ(At(t, 99, 30).g, 255);
        EXPECT_EQ(At(t, 98, 30).r, 0x80);
        EXPECT_EQ(At(t, 100, 30).a, 0);    // right of the picture
        EXPECT_EQ(At(t, 10, 60).a, 0);     // above it
    }
}

TEST(BmpDecode, RowStridesArePaddedToFourBytes) {
    // Width 5: 32 bits gives 20 bytes a row, 24 bits 15 + 1 padding, 8 bits 5 + 3.
    auto pixel = [](int x, int y) -> std::uint32_t { return std::uint32_t(x * 40 + y * 3 + 1); };
    const std::vector<std::uint32_t> palette = [] {
        std::vector<std::uint32_t> p(256);
        for (int i = 0; i < 256; ++i) p[i] = std::uint32_t(i) << 8; // green = index
        return p;
    }();
    for (int bits : {8, 24, 32}) {
        PictureTexels t;
        ASSERT_TRUE(Decode(MakeBmp(5, 3, bits, pixel, bits == 8 ? palette : std::vector<std::uint32_t>{}), &t))
            << bits;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const Texel p = At(t, x, 2 - y);
                const int expected = int(pixel(x, y));
                EXPECT_EQ(bits == 8 ? p.g : p.r, expected) << bits << " bits at " << x << "," << y;
            }
    }
}

TEST(BmpDecode, UnknownDepthsAndTablelessPalettesFail) {
    // 1 and 4 bits need a colour table, which this file has not; the others are no depth at all.
    for (int bits : {0, 1, 2, 4, 12, 48}) {
        std::string f = MakeBmp(4, 4, 24, [](int, int) { return 0x112233u; });
        f[28] = char(bits);
        PictureTexels t;
        EXPECT_FALSE(Decode(f, &t)) << bits;
    }
}

TEST(BmpDecode, KeyColourOnlyHidesExactMatches) {
    auto pixel = [](int x, int) -> std::uint32_t {
        const std::uint32_t colours[] = {0x8000FF, 0x000000, 0x8001FF, 0x010000};
        return colours[x];
    };
    const std::string f = MakeBmp(4, 1, 24, pixel);
    PictureTexels sprite, font;
    ASSERT_TRUE(Decode(f, &sprite, kSpriteKeyColour));
    ASSERT_TRUE(Decode(f, &font, 0x000000));
    EXPECT_EQ(At(sprite, 0, 0).a, 0);
    EXPECT_EQ(At(sprite, 1, 0).a, 255);
    EXPECT_EQ(At(sprite, 2, 0).a, 255);
    EXPECT_EQ(At(font, 0, 0).a, 255);
    EXPECT_EQ(At(font, 1, 0).a, 0);
    EXPECT_EQ(At(font, 3, 0).a, 255);
    PictureTexels unkeyed;
    ASSERT_TRUE(Decode(f, &unkeyed, kSpriteKeyColour, false));
    EXPECT_EQ(At(unkeyed, 0, 0).a, 255);
}

TEST(BmpDecode, TransparentTexelsTakeTheirInteriorNeighboursColour) {
    // 5 x 3: red at (1, 1), blue at (3, 1), key everywhere else; (2, 1) lies between.
    auto pixel = [](int x, int y) -> std::uint32_t {
        if (y == 1 && x == 1) return 0x0000FF;
        if (y == 1 && x == 3) return 0xFF0000;
        return kSpriteKeyColour;
    };
    PictureTexels t;
    ASSERT_TRUE(Decode(MakeBmp(5, 3, 24, pixel), &t));
    const Texel mid = At(t, 2, 1);
    EXPECT_EQ(mid.r, 127); EXPECT_EQ(mid.g, 0); EXPECT_EQ(mid.b, 127); EXPECT_EQ(mid.a, 0);
    const Texel corner = At(t, 0, 0);           // next to red only
    EXPECT_EQ(corner.r, 255); EXPECT_EQ(corner.b, 0); EXPECT_EQ(corner.a, 0);
    // Opaque edge texels are not sources: a red frame with a keyed centre stays as it was.
    auto frame = [](int x, int y) -> std::uint32_t { return (x == 1 && y == 1) ? kSpriteKeyColour : 0x0000FF; };
    PictureTexels f;
    ASSERT_TRUE(Decode(MakeBmp(3, 3, 24, frame), &f));
    EXPECT_EQ(At(f, 1, 1).r, 0);
    // Fonts (key 0) get no bleeding at all.
    PictureTexels font;
    ASSERT_TRUE(Decode(MakeBmp(5, 3, 24, [](int x, int y) { return (y == 1 && x == 1) ? 0xFFFFFFu : 0u; }), &font, 0));
    EXPECT_EQ(At(font, 2, 1).r, 0);
}

TEST(BmpDecode, LyingHeadersFailWithoutReadingOutside) {
    const std::string good = MakeBmp(4, 4, 24, [](int, int) { return 0x102030u; });
    PictureTexels t;
    ASSERT_TRUE(Decode(good, &t));

    std::string f = good;
    f[0] = 'M';
    EXPECT_FALSE(Decode(f, &t)) << "signature";
    f = good; Put32(f, 10, 40);
    EXPECT_FALSE(Decode(f, &t)) << "pixel offset inside the info header";
    f = good; Put32(f, 10, std::uint32_t(good.size() + 1));
    EXPECT_FALSE(Decode(f, &t)) << "pixel offset past the end";
    f = good; Put32(f, 18, 0);
    EXPECT_FALSE(Decode(f, &t)) << "width 0";
    f = good; Put32(f, 22, 0);
    EXPECT_FALSE(Decode(f, &t)) << "height 0";
    f = good; Put32(f, 18, 40000);
    EXPECT_FALSE(Decode(f, &t)) << "width beyond 32768";
    f = good; Put32(f, 18, 0x80000000u);
    EXPECT_FALSE(Decode(f, &t)) << "most negative width";
    f = good; Put32(f, 18, 30000); Put32(f, 22, 30000);
    EXPECT_FALSE(Decode(f, &t)) << "huge picture, short pixel data";
    f = good; Put32(f, 30, 1);
    EXPECT_FALSE(Decode(f, &t)) << "run-length packed";
    f = good.substr(0, good.size() - 1);
    EXPECT_FALSE(Decode(f, &t)) << "short pixel data";
    EXPECT_FALSE(Decode(good.substr(0, 30), &t)) << "cut inside the header";

    // A negative height means the rows are stored top-down: the first stored row
    // (blue here, written as the bottom one) is the top of the picture.
    f = MakeBmp(2, 2, 24, [](int, int y) { return y == 0 ? 0x0000FFu : 0xFF0000u; });
    Put32(f, 22, std::uint32_t(-2));
    ASSERT_TRUE(Decode(f, &t));
    EXPECT_EQ(At(t, 0, 1).b, 255);
    EXPECT_EQ(At(t, 0, 0).r, 255);
}

TEST(BmpDecode, EightBitIndicesBeyondTheColourTableFail) {
    const std::vector<std::uint32_t> two = {0x000000, 0xFFFFFF};
    PictureTexels t;
    EXPECT_TRUE(Decode(MakeBmp(4, 2, 8, [](int x, int) { return std::uint32_t(x & 1); }, two), &t));
    EXPECT_FALSE(Decode(MakeBmp(4, 2, 8, [](int x, int) { return std::uint32_t(x == 3 ? 5 : 0); }, two), &t));
    EXPECT_FALSE(Decode(MakeBmp(4, 2, 8, [](int, int) { return 0u; }), &t)) << "no table at all";
}

TEST(BmpDecode, RectanglesAndTextureSizeLimit) {
    auto pixel = [](int x, int y) { return std::uint32_t(x + 16 * y) << 16; }; // blue = x + 16y
    const std::string f = MakeBmp(8, 8, 24, pixel);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.data());
    PictureDecodeRequest r;
    r.sourceX = 6, r.sourceY = -2, r.width = 4, r.height = 4;
    PictureTexels t;
    ASSERT_TRUE(DecodeBmp(bytes, f.size(), r, &t));
    EXPECT_EQ(t.textureWidth, 4);
    // Target row 2 (texture row 1) is picture row 0; columns 6 and 7 exist, 8 and 9 do not.
    EXPECT_EQ(At(t, 0, 1).b, 6);
    EXPECT_EQ(At(t, 1, 1).b, 7);
    EXPECT_EQ(At(t, 2, 1).a, 0);
    EXPECT_EQ(At(t, 0, 3).a, 0) << "rows above the picture stay transparent";
    r = PictureDecodeRequest{};
    r.maxTextureSize = 4;
    EXPECT_FALSE(DecodeBmp(bytes, f.size(), r, &t)) << "larger than the GL can hold";
}

TEST(BmpDecode, MipmapChainEndsAtOneByOneAndKeepsUniformColour) {
    std::vector<std::uint8_t> rgba(16 * 4 * 4);
    for (std::size_t i = 0; i < rgba.size(); i += 4) rgba[i] = 200, rgba[i + 3] = 255;
    int w = 16, h = 4, levels = 0;
    std::vector<std::pair<int, int>> sizes;
    while (w > 1 || h > 1) {
        ReduceMipmapLevel(rgba.data(), w, h, &w, &h);
        sizes.emplace_back(w, h);
        ++levels;
    }
    const std::vector<std::pair<int, int>> expected = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    EXPECT_EQ(sizes, expected);
    EXPECT_EQ(rgba[0], 200);
    EXPECT_EQ(rgba[3], 255);

    // In place, each texel averages its own 2 x 2 block (rounded), also for odd sizes.
    for (auto [sw, sh] : {std::pair{4, 4}, {3, 5}}) {
        std::vector<std::uint8_t> level(std::size_t(sw) * sh * 4), before;
        for (int i = 0; i < sw * sh; ++i) level[i * 4] = std::uint8_t(i * 10), level[i * 4 + 3] = 255;
        before = level;
        int nw = 0, nh = 0;
        ReduceMipmapLevel(level.data(), sw, sh, &nw, &nh);
        EXPECT_EQ(nw, std::max(sw / 2, 1));
        EXPECT_EQ(nh, std::max(sh / 2, 1));
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) {
                int sum = 0, n = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        if (2 * x + dx < sw && 2 * y + dy < sh) sum += before[((2 * y + dy) * sw + 2 * x + dx) * 4], ++n;
                EXPECT_EQ(level[(y * nw + x) * 4], (sum + n / 2) / n) << sw << "x" << sh << " at " << x << "," << y;
            }
    }
}

TEST(BmpDecode, BumpConversionTurnsBlueSlopesIntoNormals) {
    // Flat blue gives the straight-up normal; blue rising to the right tilts it left.
    std::vector<std::uint8_t> flat(4 * 4 * 4, 90);
    BumpConvert(flat.data(), 4, 4);
    EXPECT_EQ(flat[0], 128); EXPECT_EQ(flat[1], 128); EXPECT_EQ(flat[2], 255); EXPECT_EQ(flat[3], 90);
    std::vector<std::uint8_t> ramp(4 * 4 * 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) ramp[(y * 4 + x) * 4 + 2] = std::uint8_t(x * 50);
    BumpConvert(ramp.data(), 4, 4);
    const std::uint8_t* p = &ramp[(1 * 4 + 1) * 4];
    EXPECT_LT(p[0], 128);
    EXPECT_EQ(p[1], 128);
}
