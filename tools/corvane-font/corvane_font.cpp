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
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "runtime/gfx2d/gfx2d_internal.h"

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
        "  --cell WxH  cell size (default: the font's line height high; as wide as a\n"
        "              monospaced face's advance, or a proportional face's typical\n"
        "              advance (that of '0'), its glyphs centred and wide ones drawn smaller)\n"
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

// Squared distances to the nearest zero of f along one line of n values (f holds 0
// on ink, kFar elsewhere), by the lower envelope of parabolas: linear in n.
constexpr double kFar = 1e20;

void DistanceLine(const double* f, int n, double* d, std::vector<int>& v, std::vector<double>& z) {
    const double infinity = std::numeric_limits<double>::infinity();
    v.resize(std::size_t(n));
    z.resize(std::size_t(n) + 1);
    std::size_t k = 0;
    v[0] = 0;
    z[0] = -infinity, z[1] = infinity;
    auto meet = [&](int q, int p) { return ((f[q] + double(q) * q) - (f[p] + double(p) * p)) / (2.0 * (q - p)); };
    for (int q = 1; q < n; ++q) {
        double s = meet(q, v[k]);
        while (s <= z[k]) s = meet(q, v[--k]);      // z[0] is -infinity: k stays >= 0
        ++k;
        v[k] = q, z[k] = s, z[k + 1] = infinity;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < q) ++k;
        d[q] = double(q - v[k]) * (q - v[k]) + f[v[k]];
    }
}

// The outline: every empty pixel within `radius` (Euclidean) of ink in the same cell.
// An exact distance transform, one pass down the columns and one along the rows of
// each cell, so the cost follows the picture's size and not the radius.
std::vector<bool> OutlineRing(const std::vector<std::uint8_t>& ink, int width, int height, int cw, int ch, int radius) {
    std::vector<bool> ring(ink.size(), false);
    std::vector<double> grid(std::size_t(cw) * ch), line(std::size_t(std::max(cw, ch))), out(line.size());
    std::vector<int> v;
    std::vector<double> z;
    const double limit = double(radius) * radius;
    for (int cy = 0; cy + ch <= height; cy += ch)
        for (int cx = 0; cx + cw <= width; cx += cw) {
            bool any = false;
            for (int y = 0; y < ch; ++y)
                for (int x = 0; x < cw; ++x) {
                    const bool lit = ink[std::size_t(cy + y) * width + cx + x] != 0;
                    grid[std::size_t(y) * cw + x] = lit ? 0.0 : kFar;
                    any = any || lit;
                }
            if (!any) continue;
            for (int x = 0; x < cw; ++x) {
                for (int y = 0; y < ch; ++y) line[std::size_t(y)] = grid[std::size_t(y) * cw + x];
                DistanceLine(line.data(), ch, out.data(), v, z);
                for (int y = 0; y < ch; ++y) grid[std::size_t(y) * cw + x] = out[std::size_t(y)];
            }
            for (int y = 0; y < ch; ++y) {
                double* row = &grid[std::size_t(y) * cw];
                DistanceLine(row, cw, out.data(), v, z);
                for (int x = 0; x < cw; ++x) {
                    const std::size_t i = std::size_t(cy + y) * width + cx + x;
                    ring[i] = !ink[i] && out[std::size_t(x)] <= limit;
                }
            }
        }
    return ring;
}

// Pixels from 26.6 fixed point, rounded up.
int Ceil26(FT_Pos v) { return int((v + 63) >> 6); }

} // namespace

int Run(int argc, char** argv) {
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

    // The cell is sized from the face's metrics before any glyph is rendered, and
    // checked: a damaged font may claim any ascender, descender or advance.
    const std::int64_t ascent = (std::int64_t(face->size->metrics.ascender) + 63) >> 6;
    const std::int64_t descent = (-std::int64_t(face->size->metrics.descender) + 63) >> 6;
    if (ascent + descent < 1 || ascent > 16384 || descent > 16384 || ascent < -16384 || descent < -16384) {
        Fail(fontPath + ": the font's line height is unusable at --size " + std::to_string(size) + " (ascender " +
             std::to_string(ascent) + ", descender " + std::to_string(-descent) + " pixels)");
    }
    const bool fixed = FT_IS_FIXED_WIDTH(face) != 0;
    auto glyphIndex = [&](int code) -> FT_UInt {
        const std::uint32_t unicode = UnicodeOf(code);
        return unicode ? FT_Get_Char_Index(face, unicode) : 0;
    };
    // Monospaced faces keep their advance: the cell holds the widest glyph. Other
    // faces take their typical width, that of '0' (else the mean of printable
    // ASCII), each glyph is centred in it, and wider glyphs are scaled down to fit.
    std::int64_t typical = 0, widest = 0;
    {
        std::int64_t sum = 0, count = 0;
        for (int code = 0; code < chars; ++code) {
            const FT_UInt index = glyphIndex(code);
            if (!index || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT)) continue;
            const FT_Glyph_Metrics& m = face->glyph->metrics;
            const std::int64_t advance = (std::int64_t(face->glyph->advance.x) + 32) >> 6;
            const std::int64_t right = std::max<std::int64_t>(0, Ceil26(m.horiBearingX)) + Ceil26(m.width);
            widest = std::max({widest, advance, right});
            if (code > 32 && code < 127) sum += advance, ++count;
            if (code == '0') typical = advance;
        }
        if (typical <= 0 && count > 0) typical = (sum + count / 2) / count;
    }
    const bool scaled = !fixed;
    const std::int64_t contentWidth = std::max<std::int64_t>(1, scaled ? typical : widest);

    // The loader tells 128 from 256 characters by the picture's shape: an
    // 8-row grid must be at least as wide as high, a 16-row grid higher than wide.
    const int rows = chars == 256 ? 16 : 8;
    std::int64_t cw = cellW, ch = cellH;
    if (cw == 0 || ch == 0) {
        cw = contentWidth + 2 * outline;
        ch = ascent + descent + 2 * outline;
        if (rows == 8 && ch > 2 * cw) cw = (ch + 1) / 2;
        if (rows == 16 && ch <= cw) ch = cw + 1;
    } else if (rows == 8 && ch > 2 * cw) {
        Fail("a 128-character grid needs a cell height at most twice its width");
    } else if (rows == 16 && ch <= cw) {
        Fail("a 256-character grid needs a cell height above its width");
    }
    if (16 * cw > 16384 || rows * ch > 16384) {
        Fail(fontPath + ": cells of " + std::to_string(cw) + " x " + std::to_string(ch) +
             " pixels make a picture larger than 16384 pixels (a smaller --size or --cell)");
    }
    const int width = int(16 * cw), height = int(rows * ch);

    // Each glyph rendered and placed in its cell at once; none is kept.
    std::vector<std::uint8_t> ink(std::size_t(width) * height, 0);
    int clipped = 0, missing = 0, shrunk = 0;
    const int content = int(cw) - 2 * outline;
    for (int code = 0; code < chars; ++code) {
        if (!UnicodeOf(code)) continue;
        const FT_UInt index = glyphIndex(code);
        if (!index || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT)) {
            ++missing;
            continue;
        }
        // A glyph wider than the cell is drawn smaller, keeping its proportions.
        const std::int64_t inkWidth = Ceil26(face->glyph->metrics.width);
        const std::int64_t inkHeight = Ceil26(face->glyph->metrics.height);
        double factor = 1.0;
        if (scaled && inkWidth > content && content > 0) factor = double(content) / double(inkWidth);
        // Nothing larger than a few cells is rendered: the ink would be cut anyway.
        if (inkWidth * factor > 4.0 * cw + 64 || inkHeight * factor > 4.0 * ch + 64) {
            ++clipped;
            continue;
        }
        if (factor < 1.0) {
            FT_Matrix matrix{FT_Fixed(factor * 65536), 0, 0, FT_Fixed(factor * 65536)};
            FT_Set_Transform(face, &matrix, nullptr);
            const bool failed = FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_HINTING) != 0;
            FT_Set_Transform(face, nullptr, nullptr);
            if (failed) {
                ++missing;
                continue;
            }
            ++shrunk;
        }
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) {
            ++missing;
            continue;
        }
        const FT_Bitmap& b = face->glyph->bitmap;
        const int gw = int(b.width), gh = int(b.rows);
        const int cellX = (code & 15) * int(cw), cellY = (code >> 4) * int(ch);
        // Every glyph on the same baseline; across, a proportional glyph's ink is
        // centred in the cell, a monospaced one keeps its place on its advance.
        const int advance = int((face->glyph->advance.x + 32) >> 6);
        const int ox = outline + (scaled ? (content - gw) / 2 : (content - advance) / 2 + face->glyph->bitmap_left);
        const int oy = outline + int(ascent) - face->glyph->bitmap_top;
        bool cut = false;
        for (int y = 0; y < gh; ++y) {
            const unsigned char* row = b.buffer + std::ptrdiff_t(y) * b.pitch;
            for (int x = 0; x < gw; ++x) {
                const std::uint8_t c =
                    b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) : row[x];
                if (!c) continue;
                const int px = ox + x, py = oy + y;
                if (px < 0 || py < 0 || px >= cw || py >= ch) {
                    cut = true;
                    continue;
                }
                ink[std::size_t(cellY + py) * width + cellX + px] = c;
            }
        }
        clipped += cut;
    }
    const std::vector<bool> ring =
        outline > 0 ? OutlineRing(ink, width, height, int(cw), int(ch), outline) : std::vector<bool>(ink.size(), false);

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
    if (shrunk) std::fprintf(stderr, "corvane-font: %d glyphs wider than the cell are drawn smaller\n", shrunk);
    std::printf("%s: %d x %d, cells %d x %d, %d characters\n", outPath.c_str(), width, height, int(cw), int(ch), chars);
    return 0;
}

int main(int argc, char** argv) {
    // Running out of memory, or any other failure, is one line and status 1.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        Fail("not enough memory to make the font picture");
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}
