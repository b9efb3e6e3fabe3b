// Helpers of the 2D tests: BMP files built byte by byte, the headless engine,
// and framebuffer reads in screen coordinates (y downward).
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "tests/support/engine_fixture.h"

namespace gfx2d_test {

// A BMP file with a 40-byte info header. pixel(x, y) gives, for y counted from
// the top of the picture, the colour 0xBBGGRR (24 and 32 bits) or the palette
// index (8 bits). Rows are stored bottom-up.
inline std::string MakeBmp(int width, int height, int bits, const std::function<std::uint32_t(int, int)>& pixel,
                           const std::vector<std::uint32_t>& palette = {}) {
    const int bytesPerPixel = bits / 8;
    const int stride = (width * bytesPerPixel + 3) & ~3;
    const std::uint32_t tableBytes = std::uint32_t(palette.size() * 4);
    const std::uint32_t offset = 54 + tableBytes;
    std::string f;
    auto u16 = [&](std::uint32_t v) { f += char(v & 0xFF); f += char((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    f += "BM";
    u32(offset + std::uint32_t(stride) * height);
    u32(0);
    u32(offset);
    u32(40);
    u32(std::uint32_t(width));
    u32(std::uint32_t(height));
    u16(1);
    u16(std::uint32_t(bits));
    u32(0);
    u32(std::uint32_t(stride) * height);
    u32(2835);
    u32(2835);
    u32(std::uint32_t(palette.size()));
    u32(0);
    for (std::uint32_t c : palette) { // 0xBBGGRR -> B, G, R, 0
        f += char((c >> 16) & 0xFF);
        f += char((c >> 8) & 0xFF);
        f += char(c & 0xFF);
        f += char(0);
    }
    for (int row = height - 1; row >= 0; --row) {
        std::string line;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, row);
            if (bits == 8) {
                line += char(v & 0xFF);
            } else {
                line += char((v >> 16) & 0xFF);
                line += char((v >> 8) & 0xFF);
                line += char(v & 0xFF);
                if (bits == 32) line += char(0x7F); // ignored fourth byte
            }
        }
        line.resize(std::size_t(stride), '\0');
        f += line;
    }
    return f;
}

inline std::string WriteTemp(const std::string& name, const std::string& bytes) {
    const std::string path = corvane::testing::TestTempDir() + name;
    EXPECT_TRUE(corvane::testing::WriteFile(path, bytes)) << path;
    return path;
}

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b; } // colour only
};

inline std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// A block of the back buffer in screen coordinates: at(x, y) with y downward.
struct Screen {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<unsigned char> pixels;          // bottom row first, as the GL reads

    Rgba at(int x, int y) const {
        const int row = (y0 + height - 1) - y;  // row inside the block, counted from its bottom
        const unsigned char* p = &pixels[(std::size_t(row) * width + (x - x0)) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    }
    bool lit(int x, int y) const { const Rgba c = at(x, y); return c.r || c.g || c.b; }
};

inline Screen ReadScreen(int x, int y, int width, int height) {
    Screen s;
    s.x0 = x, s.y0 = y, s.width = width, s.height = height;
    s.pixels = corvane::testing::ReadBackBuffer(x, corvane::SurfaceHeight() - y - height, width, height);
    return s;
}

// Every test starts from a cleared frame with the default 2D state.
class Gfx2dTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine()) << "no headless GL context";
        corvane::SetAlpha(0);
        corvane::ResetViewport(0, 0, 0, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

// Draws a slot's whole texture 1:1 with its top-left corner at (x, y).
inline void DrawSlotTexture(int slot, int x, int y, bool mipmapped = false) {
    const float tw = float(corvane::TheRenderer().textureWidth[slot]), th = float(corvane::TheRenderer().textureHeight[slot]);
    corvane::BindSlot(slot, -1, mipmapped ? 1 : 0);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(float(x), -float(y) - th);
    glTexCoord2f(1, 0); glVertex2f(float(x) + tw, -float(y) - th);
    glTexCoord2f(1, 1); glVertex2f(float(x) + tw, -float(y));
    glTexCoord2f(0, 1); glVertex2f(float(x), -float(y));
    glEnd();
}

// Bounding box and count of the lit pixels of a block.
struct Lit {
    int count = 0, left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

inline Lit LitPixels(const Screen& s) {
    Lit l;
    for (int y = s.y0; y < s.y0 + s.height; ++y)
        for (int x = s.x0; x < s.x0 + s.width; ++x)
            if (s.lit(x, y)) {
                ++l.count;
                l.left = std::min(l.left, x), l.right = std::max(l.right, x);
                l.top = std::min(l.top, y), l.bottom = std::max(l.bottom, y);
            }
    return l;
}

} // namespace gfx2d_test
