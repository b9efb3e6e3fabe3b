// BMP files as common tools write them: ImageMagick's run-length, palette and
// 16-bit files, and files this test packs itself (4-bit runs, top-down rows);
// every pixel must come out as ImageMagick decodes the same file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/gfx2d/bmp.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;

namespace {

bool HaveImageMagick() { return corvane::testing::ShellToolsAvailable() && std::system("command -v convert >/dev/null 2>&1") == 0; }

std::uint32_t U32(const std::string& f, std::size_t at) {
    return std::uint32_t(std::uint8_t(f[at])) | std::uint32_t(std::uint8_t(f[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(f[at + 2])) << 16 | std::uint32_t(std::uint8_t(f[at + 3])) << 24;
}

void Put32(std::string& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = char((v >> (8 * i)) & 0xFF);
}

struct Picture {
    std::string file;                               // the BMP bytes
    int width = 0, height = 0;
};

// An uncompressed palette file's indices, stored rows (bottom first).
std::vector<std::vector<int>> Indices(const std::string& f, int bits) {
    const int w = int(U32(f, 18)), h = int(U32(f, 22));
    const std::size_t stride = ((std::size_t(w) * bits + 31) / 32) * 4, offset = U32(f, 10);
    std::vector<std::vector<int>> rows(h, std::vector<int>(w));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t byte = std::uint8_t(f[offset + y * stride + std::size_t(x) * bits / 8]);
            rows[y][x] = bits == 8 ? byte : (x & 1) ? byte & 0x0F : byte >> 4;
        }
    return rows;
}

// Packs stored rows as RLE8 or RLE4: runs of equal indices, literal stretches in
// absolute mode, and one move (delta) in the third row that skips pixels.
std::string PackRunLength(const std::vector<std::vector<int>>& rows, bool four) {
    std::string s;
    auto op = [&](int a, int b) { s += char(a), s += char(b); };
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const std::vector<int>& r = rows[y];
        const int w = int(r.size());
        int x = 0;
        if (y == 2) {                               // skip five pixels of this row
            op(0, 2), op(5, 0);
            x = 5;
        }
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 255 && r[x + run] == r[x]) ++run;
            if (run >= 2 || w - x < 3) {
                op(run, four ? (r[x] << 4) | r[x] : r[x]);
                x += run;
                continue;
            }
            int n = 1;                              // literals until a pair begins
            while (x + n < w && n < 255 && !(x + n + 1 < w && r[x + n] == r[x + n + 1])) ++n;
            if (n < 3) {
                op(1, four ? r[x] << 4 : r[x]);
                ++x;
                continue;
            }
            op(0, n);
            std::string body;
            for (int i = 0; i < n; ++i) {
                if (!four) body += char(r[x + i]);
                else if (i % 2 == 0) body += char(r[x + i] << 4);
                else body.back() = char(body.back() | r[x + i]);
            }
            if (body.size() % 2) body += char(0);
            s += body;
            x += n;
        }
        op(0, 0);
    }
    op(0, 1);
    return s;
}

// A palette file re-stored run-length packed, table and header kept.
std::string WithRunLength(const std::string& f, int bits) {
    const std::uint32_t offset = U32(f, 10);
    std::string out = f.substr(0, offset) + PackRunLength(Indices(f, bits), bits == 4);
    Put32(out, 2, std::uint32_t(out.size()));
    Put32(out, 30, bits == 8 ? 1 : 2);
    Put32(out, 34, std::uint32_t(out.size() - offset));
    return out;
}

// An uncompressed file re-stored top-down: rows reversed, height negative.
std::string TopDown(const std::string& f) {
    const int w = int(U32(f, 18)), h = int(U32(f, 22)), bits = std::uint8_t(f[28]);
    const std::size_t stride = ((std::size_t(w) * bits + 31) / 32) * 4, offset = U32(f, 10);
    std::string out = f;
    for (int y = 0; y < h; ++y) out.replace(offset + y * stride, stride, f, offset + (h - 1 - y) * stride, stride);
    Put32(out, 22, std::uint32_t(-h));
    return out;
}

// ImageMagick's reading of a file, as R, G, B bytes, top row first.
std::string Reference(const std::string& path) {
    std::string raw = path + ".rgb";
    std::string cmd = "convert " + path + " -depth 8 rgb:" + raw;
    if (std::system(cmd.c_str()) != 0) return std::string();
    return corvane::testing::ReadFile(raw);
}

TEST(BmpFormats, EveryPixelAsImageMagickReadsIt) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick missing";
    const std::string dir = corvane::testing::TestTempDir();
    const std::string src = dir + "source.png";
    // Two crossed gradients: many colours, long runs along rows and none across them.
    ASSERT_EQ(std::system(("convert -size 37x23 gradient:red-blue \\( -size 23x37 gradient:yellow-black -rotate 90 \\) "
                           "-compose multiply -composite " + src).c_str()), 0);
    struct Case {
        const char* name;
        const char* options;                        // ImageMagick's way to write it (8-bit palettes: RLE unless told)
        int restore;                                // 0: as written; 4 or 8: repacked as RLE4/RLE8; -1: top-down
        int bits, compression;                      // what the header must say
    };
    const Case cases[] = {
        {"rle8", "-colors 200 -compress RLE BMP3:", 0, 8, 1},
        {"rle8_v5", "-colors 200 -compress RLE BMP:", 0, 8, 1},
        {"rle8_delta", "-colors 200 -compress None BMP3:", 8, 8, 1},
        {"rle4", "-colors 12 -compress None BMP3:", 4, 4, 2},
        {"palette4", "-colors 12 -compress None BMP3:", 0, 4, 0},
        {"palette1", "-monochrome BMP3:", 0, 1, 0},
        {"rgb565", "-define bmp:subtype=RGB565 BMP:", 0, 16, 3},
        {"rgb555", "-define bmp:subtype=RGB555 BMP:", 0, 16, 3},
        {"topdown24", "-type truecolor BMP3:", -1, 24, 0},
        {"topdown8", "-colors 200 -compress None BMP3:", -1, 8, 0},
        {"topdown1", "-monochrome BMP3:", -1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + c.name + ".bmp";
        ASSERT_EQ(std::system(("convert " + src + " " + c.options + path).c_str()), 0);
        std::string file = corvane::testing::ReadFile(path);
        ASSERT_GT(file.size(), 54u);
        if (c.restore > 0) {
            file = WithRunLength(file, c.restore);
        } else if (c.restore < 0) {
            file = TopDown(file);
        }
        if (c.restore != 0) {
            ASSERT_TRUE(corvane::testing::WriteFile(path, file));
        }
        ASSERT_EQ(std::uint8_t(file[28]), c.bits);
        ASSERT_EQ(U32(file, 30), std::uint32_t(c.compression));
        const std::string expected = Reference(path);
        ASSERT_EQ(expected.size(), 37u * 23u * 3u);

        PictureDecodeRequest request;                   // no keying: every pixel as stored
        PictureTexels t;
        ASSERT_TRUE(DecodeBmp(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), request, &t));
        ASSERT_EQ(t.width, 37);
        ASSERT_EQ(t.height, 23);
        int wrong = 0;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                const std::uint8_t* got = &t.rgba[(std::size_t(22 - y) * t.textureWidth + x) * 4];
                const char* want = &expected[(std::size_t(y) * 37 + x) * 3];
                for (int k = 0; k < 3; ++k) wrong += got[k] != std::uint8_t(want[k]);
                wrong += got[3] != 255;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// Hand-made run-length streams over a 4 x 2 picture with a two-colour table.
TEST(BmpFormats, RunsThatLeaveThePictureAreRefused) {
    auto file = [](int compression, const std::string& stream, int height = 2) {
        std::string f(62, '\0');
        f[0] = 'B', f[1] = 'M';
        Put32(f, 10, 62);
        Put32(f, 14, 40);
        Put32(f, 18, 4);
        Put32(f, 22, std::uint32_t(height));
        f[26] = 1;
        f[28] = char(compression == 1 ? 8 : 4);
        Put32(f, 30, std::uint32_t(compression));
        Put32(f, 54, 0x000000);
        Put32(f, 58, 0xFFFFFF);
        return f + stream;
    };
    const std::string ok8("\x04\x01\x00\x00\x00\x02\x02\x00\x02\x01\x00\x01", 12);
    const std::string ok4("\x04\x10\x00\x00\x00\x04\x01\x10\x00\x00\x00\x01", 12);
    struct Case {
        const char* name;
        int compression;
        std::string stream;
        bool loads;
        int height = 2;
    };
    const Case cases[] = {
        {"RLE8 within the picture", 1, ok8, true},
        {"RLE4 within the picture", 2, ok4, true},
        // Rows are packed with their padding to 32 bits: 4 pixels at 8 bits, 8 at 4 bits.
        {"RLE8 run past the row", 1, std::string("\x05\x01\x00\x01", 4), false},
        {"RLE4 run into the row's padding", 2, std::string("\x08\x11\x00\x00\x08\x11\x00\x01", 8), true},
        {"RLE4 run past the row", 2, std::string("\x09\x11\x00\x01", 4), false},
        {"RLE8 literals past the row", 1, std::string("\x00\x05\x01\x00\x01\x00\x01\x00\x00\x01", 10), false},
        {"RLE4 literals past the row", 2, std::string("\x00\x09\x10\x10\x10\x10\x10\x00\x00\x01", 10), false},
        {"run on a row above the top", 1, std::string("\x00\x00\x00\x00\x01\x01\x00\x01", 8), false},
        {"move past the top", 1, std::string("\x00\x02\x00\x03\x00\x01", 6), false},
        {"move past the right edge", 1, std::string("\x00\x02\x05\x00\x00\x01", 6), false},
        {"stream cut inside a literal stretch", 1, std::string("\x00\x04\x01\x00", 4), false},
        {"stream ends before the picture is full", 1, std::string("\x04\x01\x00\x00", 4), false},
        {"stream ends right after the last row", 1, std::string("\x04\x01\x00\x00\x04\x01\x00\x00", 8), true},
        {"top-down run-length", 1, ok8, false, -2},
    };
    for (const Case& c : cases) {
        const std::string f = file(c.compression, c.stream, c.height);
        PictureDecodeRequest request;
        PictureTexels t;
        EXPECT_EQ(DecodeBmp(reinterpret_cast<const std::uint8_t*>(f.data()), f.size(), request, &t), c.loads)
            << c.name;
    }
    // The good RLE8 stream: bottom row white, top row black but for a move over two pixels.
    const std::string f = file(1, ok8);
    PictureDecodeRequest request;
    PictureTexels t;
    ASSERT_TRUE(DecodeBmp(reinterpret_cast<const std::uint8_t*>(f.data()), f.size(), request, &t));
    EXPECT_EQ(t.rgba[0], 255);                                  // texture row 0: the bottom row
    EXPECT_EQ(t.rgba[std::size_t(t.textureWidth) * 4 + 0], 0);  // skipped: index 0
    EXPECT_EQ(t.rgba[std::size_t(t.textureWidth) * 4 + 8], 255);
}

} // namespace
