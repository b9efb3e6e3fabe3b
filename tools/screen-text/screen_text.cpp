// screen-text: reads text drawn in the runtime's built-in font back from a
// screenshot, so a run without a person can report what the window showed.
//
//   screen-text IMAGE.ppm X Y [X Y ...]
//
// IMAGE.ppm is a binary PPM (P6) of the window's client area; each X Y names the
// top-left corner of a text line's first cell. Prints one line per position.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/gfx2d/gfx2d_internal.h"

namespace {

constexpr int kTexW = 128, kTexH = 64, kImageH = 64, kCellW = 7, kCellH = 8;

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool Lit(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return p[0] > 128 && p[1] > 128 && p[2] > 128;
    }
};

bool ReadPpm(const char* path, Image& img) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    if (!(in >> magic >> img.width >> img.height >> maxValue) || magic != "P6" || maxValue != 255) return false;
    if (img.width <= 0 || img.height <= 0 || img.width > 16384 || img.height > 16384) return false;
    in.get();
    img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
    in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
    return static_cast<bool>(in);
}

// The lit (figure) pixels of each glyph, one bit per pixel of its 7 x 8 cell.
std::vector<std::vector<bool>> GlyphFigures() {
    std::vector<unsigned char> texels(kTexW * kTexH * 4);
    corvane::BuildBuiltinFontTexels(texels.data());
    std::vector<std::vector<bool>> glyphs(128, std::vector<bool>(kCellW * kCellH, false));
    for (int code = 32; code < 128; ++code) {
        for (int y = 0; y < kCellH; ++y) {
            for (int x = 0; x < kCellW; ++x) {
                int row = kImageH - 1 - ((code >> 4) * kCellH + y);
                const unsigned char* t = &texels[(static_cast<size_t>(row) * kTexW + (code & 15) * kCellW + x) * 4];
                glyphs[code][y * kCellW + x] = t[0] > 128;
            }
        }
    }
    return glyphs;
}

std::string ReadLine(const Image& img, const std::vector<std::vector<bool>>& glyphs, int x0, int y0) {
    std::string text;
    for (int x = x0; x + kCellW <= img.width; x += kCellW) {
        int best = -1;
        for (int code = 32; code < 128 && best < 0; ++code) {
            bool same = true;
            for (int i = 0; i < kCellW * kCellH && same; ++i)
                same = glyphs[code][i] == img.Lit(x + i % kCellW, y0 + i / kCellW);
            if (same) best = code;
        }
        text.push_back(best < 0 ? '?' : static_cast<char>(best));
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

} // namespace

int main(int argc, char** argv) {
    static const char kUsage[] =
        "usage: screen-text IMAGE.ppm X Y [X Y ...]\n"
        "  reads the built-in-font text drawn at each X Y of the screenshot IMAGE.ppm\n"
        "  screen-text --help | -h | --version\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("screen-text %s\n", CORVANE_VERSION);
        return 0;
    }
    if (argc < 4 || (argc - 2) % 2 != 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Image img;
    if (!ReadPpm(argv[1], img)) {
        std::fprintf(stderr, "screen-text: %s is not a binary PPM image\n", argv[1]);
        return 1;
    }
    auto glyphs = GlyphFigures();
    for (int i = 2; i + 1 < argc; i += 2)
        std::cout << ReadLine(img, glyphs, std::atoi(argv[i]), std::atoi(argv[i + 1])) << "\n";
    return 0;
}
