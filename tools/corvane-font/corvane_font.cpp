// corvane-font: turns a TrueType or OpenType font into a font picture that
// LoadFont reads: 16 columns of equal cells, 8 rows (codes 0..127) or 16 rows
// (codes 0..255, 128..255 as Windows-1252), code c at column c & 15, row c >> 4.
// Glyphs are white, antialiased onto the font key colour (black) in a BMP, or
// onto transparency in a PNG; an optional dark outline surrounds them.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/gfx2d/gfx2d.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "corvane-font: %s\n", message.c_str());
    std::exit(1);
}

[[noreturn]] void Usage(bool asked) {
    std::fputs(
        "usage: corvane-font FONT OUT.bmp|OUT.png --size PX [--chars 128|256] [--outline PX] [--cell WxH]\n"
        "  FONT        a TrueType or OpenType file\n"
        "  OUT.bmp     24-bit picture, glyphs white on black (the font key colour)\n"
        "  OUT.png     the same grid with the glyphs' coverage as alpha\n"
        "  --size PX   glyph size in pixels (the font's em)\n"
        "  --chars N   128 (8 rows, the default) or 256 (16 rows; codes 128..255 as Windows-1252)\n"
        "  --outline PX  a dark outline PX pixels wide around every glyph\n"
        "  --cell WxH  cell size (default: the widest advance by the font's line height)\n"
        "  corvane-font --help | -h | --version\n",
        asked ? stdout : stderr);
    std::exit(asked ? 0 : 2);
}

// Unicode of codes 128..159 in Windows-1252 (0: not defined there).
const std::uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t UnicodeOf(int code) {
    if (code < 32 || code == 127) return 0;             // control codes stay empty
    if (code >= 128 && code < 160) return kWindows1252[code - 128];
    return std::uint32_t(code);
}

bool ParseInt(const char* text, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 4096) return false;
    *out = int(v);
    return true;
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower((unsigned char)s[s.size() - n + i]) != tail[i]) return false;
    return true;
}

struct Glyph {
    int width = 0, rows = 0, left = 0, top = 0, advance = 0;
    std::vector<std::uint8_t> coverage;                 // width x rows
};

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& rgba, int width, int height) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    const bool ok = png_image_write_to_stdio(&image, f, 0, rgba.data(), 0, nullptr) != 0;
    return (std::fclose(f) == 0) && ok;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    int size = 0, chars = 128, outline = 0, cellW = 0, cellH = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") Usage(true);
        if (a == "--version") {
            std::printf("corvane-font %s\n", CORVANE_VERSION);
            return 0;
        }
        if (a == "--size") {
            if (!ParseInt(value(), &size) || size < 1) Fail("--size takes a number of pixels, 1 or more");
        } else if (a == "--chars") {
            if (!ParseInt(value(), &chars) || (chars != 128 && chars != 256)) Fail("--chars takes 128 or 256");
        } else if (a == "--outline") {
            if (!ParseInt(value(), &outline) || outline > 64) Fail("--outline takes a number of pixels, 0 to 64");
        } else if (a == "--cell") {
            const std::string v = value();
            const std::size_t x = v.find_first_of("xX");
            if (x == std::string::npos || !ParseInt(v.substr(0, x).c_str(), &cellW) ||
                !ParseInt(v.substr(x + 1).c_str(), &cellH) || cellW < 1 || cellH < 1)
                Fail("--cell takes WxH, for example 10x16");
        } else if (!a.empty() && a[0] == '-') {
            Usage(false);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || size == 0) Usage(false);
    const std::string fontPath = positional[0], outPath = positional[1];
    const bool png = EndsWith(outPath, ".png");
    if (!png && !EndsWith(outPath, ".bmp")) Fail("the output must end in .bmp or .png: " + outPath);

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library)) Fail("FreeType did not start");
    FT_Face face = nullptr;
    if (FT_New_Face(library, fontPath.c_str(), 0, &face)) Fail("cannot read a font from " + fontPath);
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) && face->num_charmaps > 0)
        FT_Set_Charmap(face, face->charmaps[0]);        // symbol fonts: their own codes
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size))) Fail("the font has no size " + std::to_string(size));

    // Every glyph rendered once; cells are sized from them.
    std::vector<Glyph> glyphs(static_cast<std::size_t>(chars));
    int missing = 0, widest = 0;
    for (int code = 0; code < chars; ++code) {
        const std::uint32_t unicode = UnicodeOf(code);
        if (!unicode) continue;
        const FT_UInt index = FT_Get_Char_Index(face, unicode);
        if (index == 0) {
            ++missing;
            continue;
        }
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) {
            ++missing;
            continue;
        }
        const FT_Bitmap& b = face->glyph->bitmap;
        Glyph& g = glyphs[std::size_t(code)];
        g.width = int(b.width), g.rows = int(b.rows);
        g.left = face->glyph->bitmap_left, g.top = face->glyph->bitmap_top;
        g.advance = int((face->glyph->advance.x + 32) >> 6);
        g.coverage.assign(std::size_t(g.width) * g.rows, 0);
        for (int y = 0; y < g.rows; ++y)
            for (int x = 0; x < g.width; ++x) {
                const unsigned char* row = b.buffer + std::ptrdiff_t(y) * b.pitch;
                g.coverage[std::size_t(y) * g.width + x] =
                    b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) : row[x];
            }
        widest = std::max({widest, g.advance, g.width + std::max(0, g.left)});
    }
    const int ascent = int((face->size->metrics.ascender + 63) >> 6);
    const int descent = int((-face->size->metrics.descender + 63) >> 6);

    // The loader tells 128 from 256 characters by the picture's shape: an
    // 8-row grid must be at least as wide as high, a 16-row grid higher than wide.
    const int rows = chars == 256 ? 16 : 8;
    int cw = cellW, ch = cellH;
    if (cw == 0 || ch == 0) {
        cw = std::max(1, widest) + 2 * outline;
        ch = ascent + descent + 2 * outline;
        if (rows == 8 && ch > 2 * cw) cw = (ch + 1) / 2;
        if (rows == 16 && ch <= cw) ch = cw + 1;
    } else if (rows == 8 && ch > 2 * cw) {
        Fail("a 128-character grid needs a cell height at most twice its width");
    } else if (rows == 16 && ch <= cw) {
        Fail("a 256-character grid needs a cell height above its width");
    }
    const int width = 16 * cw, height = rows * ch;
    if (width > 16384 || height > 16384) Fail("the picture would be larger than 16384 pixels");

    // Coverage of the whole picture, then the outline around the ink.
    std::vector<std::uint8_t> ink(std::size_t(width) * height, 0);
    int clipped = 0;
    const int content = cw - 2 * outline;
    for (int code = 0; code < chars; ++code) {
        const Glyph& g = glyphs[std::size_t(code)];
        if (g.coverage.empty()) continue;
        const int cellX = (code & 15) * cw, cellY = (code >> 4) * ch;
        // Centred on its advance; every glyph on the same baseline.
        const int ox = outline + (content - g.advance) / 2 + g.left;
        const int oy = outline + ascent - g.top;
        bool cut = false;
        for (int y = 0; y < g.rows; ++y)
            for (int x = 0; x < g.width; ++x) {
                const std::uint8_t c = g.coverage[std::size_t(y) * g.width + x];
                if (!c) continue;
                const int px = ox + x, py = oy + y;
                if (px < 0 || py < 0 || px >= cw || py >= ch) {
                    cut = true;
                    continue;
                }
                ink[std::size_t(cellY + py) * width + cellX + px] = c;
            }
        clipped += cut;
    }
    std::vector<bool> ring(std::size_t(width) * height, false);
    if (outline > 0) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if (ink[std::size_t(y) * width + x]) continue;
                const int cx0 = x / cw * cw, cy0 = y / ch * ch;  // the outline stays in its cell
                bool near = false;
                for (int dy = -outline; dy <= outline && !near; ++dy)
                    for (int dx = -outline; dx <= outline && !near; ++dx) {
                        if (dx * dx + dy * dy > outline * outline) continue;
                        const int nx = x + dx, ny = y + dy;
                        if (nx < cx0 || ny < cy0 || nx >= cx0 + cw || ny >= cy0 + ch) continue;
                        near = ink[std::size_t(ny) * width + nx] != 0;
                    }
                ring[std::size_t(y) * width + x] = near;
            }
    }

    constexpr int kOutlineGrey = 8;                     // the built-in font's outline
    bool written;
    if (png) {
        std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4, 0);
        for (std::size_t i = 0; i < ink.size(); ++i) {
            std::uint8_t* p = &rgba[i * 4];
            const int c = ink[i];
            if (outline > 0 && (c || ring[i])) {        // white over the dark outline, opaque
                const std::uint8_t v = std::uint8_t(kOutlineGrey + (255 - kOutlineGrey) * c / 255);
                p[0] = p[1] = p[2] = v, p[3] = 255;
            } else if (c) {
                p[0] = p[1] = p[2] = 255, p[3] = std::uint8_t(c);
            }
        }
        written = WritePng(outPath, rgba, width, height);
    } else {
        // Rows bottom-up, B G R; black is the font key colour, so coverage is
        // white blended onto it (or onto the outline's grey).
        std::vector<unsigned char> bgr(std::size_t(width) * height * 3, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::size_t i = std::size_t(y) * width + x;
                const int c = ink[i];
                const int base = (outline > 0 && (c || ring[i])) ? kOutlineGrey : 0;
                const unsigned char v = (unsigned char)(base + (255 - base) * c / 255);
                unsigned char* p = &bgr[(std::size_t(height - 1 - y) * width + x) * 3];
                p[0] = p[1] = p[2] = v;
            }
        written = corvane::WriteBmp24(outPath.c_str(), bgr.data(), width, height, width);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (!written) Fail("cannot write " + outPath);
    if (missing) std::fprintf(stderr, "corvane-font: %d characters are not in the font; their cells stay empty\n", missing);
    if (clipped) std::fprintf(stderr, "corvane-font: warning: %d glyphs reach outside their cells and are cut\n", clipped);
    std::printf("%s: %d x %d, cells %d x %d, %d characters\n", outPath.c_str(), width, height, cw, ch, chars);
    return 0;
}
