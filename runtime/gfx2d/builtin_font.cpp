// The built-in font: 96 glyphs (codes 32..127) of 5 x 6 pixels, each in a 7 x 8
// cell with a dark outline, used whenever no font file is found.
#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/renderer.h"

namespace corvane {

namespace {

constexpr int kTextureWidth = 128, kTextureHeight = 64;
constexpr int kImageWidth = 112, kImageHeight = 64;
constexpr int kCellWidth = 7, kCellHeight = 8;

// Bit (column + 5 * row) is pixel (column, row) of the figure, row 0 at the top.
constexpr std::uint32_t kGlyphMasks[96] = {
    0x00000000, 0x08021080, 0x00002940, 0x15F57D40, 0x08E619C4, 0x14222140, 0x0ED114E0, 0x00001080, // 32..39
    0x08210880, 0x04421040, 0x09575480, 0x08471080, 0x04400000, 0x00070000, 0x08000000, 0x04222100, // 40..47
    0x00E5294E, 0x004210C4, 0x00E1390E, 0x00E4390E, 0x0084394A, 0x00E4384E, 0x00E5384E, 0x0042210E, // 48..55
    0x00E5394E, 0x00E4394E, 0x00020080, 0x00220080, 0x00820888, 0x000701C0, 0x00222082, 0x0040310E, // 56..63
    0x00E0B526, 0x00A5394E, 0x00E5194E, 0x00E5094E, 0x00E52946, 0x00E1384E, 0x0021384E, 0x00E5284E, // 64..71
    0x00A5394A, 0x00E2108E, 0x00E5210C, 0x00A5194A, 0x00E10842, 0x015AD6BF, 0x00A5294E, 0x00E5294E, // 72..79
    0x0021394E, 0x00F294A7, 0x00A5194E, 0x00E4384E, 0x0042108E, 0x00E5294A, 0x0045294A, 0x01FAD6B5, // 80..87
    0x00A5114A, 0x0042394A, 0x00E1110E, 0x00610846, 0x01041041, 0x00621086, 0x00000144, 0x00E00000, // 88..95
    0x00000082, 0x00E53000, 0x00E53842, 0x00E13800, 0x00E53908, 0x08273800, 0x00423888, 0x08873800, // 96..103
    0x00A51842, 0x00421004, 0x04421004, 0x00A32842, 0x00421084, 0x015ABC00, 0x00A51800, 0x00E53800, // 104..111
    0x04E51800, 0x10E53000, 0x00253800, 0x00E409C0, 0x00C23884, 0x00C52800, 0x00452800, 0x00EAD400, // 112..119
    0x00A22800, 0x1C872800, 0x00E121C0, 0x00821888, 0x00421084, 0x00223082, 0x0002A800, 0x3F18C63F, // 120..127
};

// Whether pixel (x, y) of a 7 x 8 cell belongs to the figure (placed at 1..5, 1..6).
bool FigurePixel(std::uint32_t mask, int x, int y) {
    if (x < 1 || x > 5 || y < 1 || y > 6) return false;
    return (mask >> ((x - 1) + 5 * (y - 1))) & 1u;
}

} // namespace

void BuildBuiltinFontTexels(unsigned char* rgba) {
    for (int i = 0; i < kTextureWidth * kTextureHeight * 4; ++i) rgba[i] = 0;
    for (int code = 32; code < 128; ++code) {
        const std::uint32_t mask = kGlyphMasks[code - 32];
        const int cellX = (code & 15) * kCellWidth, cellY = (code >> 4) * kCellHeight;
        for (int y = 0; y < kCellHeight; ++y) {
            for (int x = 0; x < kCellWidth; ++x) {
                std::uint8_t value;
                if (FigurePixel(mask, x, y)) {
                    value = 255;
                } else if (FigurePixel(mask, x - 1, y) || FigurePixel(mask, x + 1, y) ||
                           FigurePixel(mask, x, y - 1) || FigurePixel(mask, x, y + 1)) {
                    value = 8; // outline, so the text reads on any background
                } else {
                    continue;
                }
                // Image row 0 is the top; the texture keeps it at row kImageHeight - 1.
                const int row = kImageHeight - 1 - (cellY + y);
                unsigned char* t = rgba + (std::size_t(row) * kTextureWidth + cellX + x) * 4;
                t[0] = t[1] = t[2] = value;
                t[3] = 255;
            }
        }
    }
}

void InstallBuiltinFont(int slot) {
    Renderer& renderer = TheRenderer();
    if (!IsValidSlot(slot)) return;
    FreeSlot(slot);
    std::vector<unsigned char> rgba(std::size_t(kTextureWidth) * kTextureHeight * 4);
    BuildBuiltinFontTexels(rgba.data());
    GLuint name = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glGenTextures(1, &name);
    ForgetBoundTexture();
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureWidth, kTextureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
    renderer.textureNames[slot][0] = name;
    renderer.textureNames[slot][1] = 0;
    renderer.textureWidth[slot] = kTextureWidth;
    renderer.textureHeight[slot] = kTextureHeight;
    renderer.imageWidth[slot] = kImageWidth;
    renderer.imageHeight[slot] = kImageHeight;
}

} // namespace corvane
