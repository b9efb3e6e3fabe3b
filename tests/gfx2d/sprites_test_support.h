// Helpers of the sprite tests: pictures loaded into slots and screen blocks
// compared pixel for pixel.
#pragma once

#include "tests/gfx2d/gfx2d_test_support.h"

namespace sprites_test {

using gfx2d_test::Lit;
using gfx2d_test::LitPixels;

using gfx2d_test::Rgba;
using gfx2d_test::Screen;
using gfx2d_test::ReadScreen;

inline constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kKey = 0x8000FF;

inline Rgba ColourOf(std::uint32_t c) { return Rgba{int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16), 255}; }

// 32 x 32, one colour per quadrant: red top-left, green top-right, blue
// bottom-left, white bottom-right.
inline std::uint32_t Quadrants(int x, int y) {
    if (y < 16) return x < 16 ? kRed : kGreen;
    return x < 16 ? kBlue : kWhite;
}

inline std::string LoadPicture(int slot, int width, int height, const std::function<std::uint32_t(int, int)>& pixel,
                               const std::string& name, int bits = 24) {
    const std::string path = gfx2d_test::WriteTemp(name, gfx2d_test::MakeBmp(width, height, bits, pixel));
    EXPECT_EQ(corvane::LoadSprite(corvane::RtString(path.c_str()), slot), 1.0) << name;
    return path;
}

// Number of pixels in which two equally sized blocks differ.
inline int Differences(const Screen& a, const Screen& b) {
    int n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) n += !(a.at(a.x0 + x, a.y0 + y) == b.at(b.x0 + x, b.y0 + y));
    return n;
}

inline gfx2d_test::Screen WholeScreen() { return gfx2d_test::ReadScreen(0, 0, 640, 480); }

class SpritesTest : public gfx2d_test::Gfx2dTest {};

} // namespace sprites_test
