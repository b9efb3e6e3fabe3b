// BMP reader: header checks and texel conversion over bytes in memory.
#include "runtime/gfx2d/bmp.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace corvane {

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::int32_t ReadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(ReadU32(p)); }

std::uint16_t ReadU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;

} // namespace

bool ParseBmpHeader(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize, BmpHeader* out) {
    if (!data || available < kFileHeaderSize + kInfoHeaderSize) return false;
    if (data[0] != 0x42 || data[1] != 0x4D) return false;
    const std::uint32_t offset = ReadU32(data + 10);
    // The info header of 40 bytes is read from right after the file header; an
    // offset that leaves less room than that would make us read pixel bytes (or
    // nothing) as header fields.
    if (offset < kFileHeaderSize + kInfoHeaderSize || offset > fileSize) return false;
    const std::uint8_t* info = data + kFileHeaderSize;
    const std::int64_t width = std::llabs(static_cast<long long>(ReadI32(info + 4)));
    const std::int64_t height = std::llabs(static_cast<long long>(ReadI32(info + 8)));
    if (width < 1 || width > kBmpMaxSide || height < 1 || height > kBmpMaxSide) return false;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->bitCount = ReadU16(info + 14);
    out->pixelOffset = offset;
    out->infoSize = ReadU32(info);
    return true;
}

int TextureSideFor(int pixels) {
    int side = 2;
    while (side < pixels) side <<= 1;
    return side;
}

bool DecodeBmp(const std::uint8_t* file, std::size_t size, const BmpDecodeRequest& request, BmpTexels* out) {
    BmpHeader header;
    if (!ParseBmpHeader(file, size, size, &header)) return false;
    if (header.bitCount != 8 && header.bitCount != 24 && header.bitCount != 32) return false;
    // Run-length packed rows would be read as raw pixels and drawn as noise:
    // refuse them. Bit fields are taken only in the usual B, G, R byte order.
    const std::uint32_t compression = ReadU32(file + 30);
    if (compression == kBitFields && header.bitCount == 32) {
        if (header.pixelOffset < kFileHeaderSize + kInfoHeaderSize + 12) return false;
        const std::uint8_t* masks = file + kFileHeaderSize + kInfoHeaderSize;
        if (ReadU32(masks) != 0xFF0000u || ReadU32(masks + 4) != 0xFF00u || ReadU32(masks + 8) != 0xFFu)
            return false;
    } else if (compression != kUncompressed) {
        return false;
    }

    const int bytesPerPixel = header.bitCount / 8;
    const std::uint64_t stride = (std::uint64_t(header.width) * bytesPerPixel + 3) & ~std::uint64_t(3);
    const std::uint64_t pixelBytes = stride * std::uint64_t(header.height);
    if (pixelBytes > std::uint64_t(size) - header.pixelOffset) return false; // short read
    const std::uint8_t* pixels = file + header.pixelOffset;

    // 8-bit colour table: right after the info header. Its size field is honoured
    // when it is plausible, so that the larger headers other writers use (108 or
    // 124 bytes) do not turn header fields into palette entries.
    const std::uint8_t* table = nullptr;
    std::uint32_t tableEntries = 0;
    if (header.bitCount == 8) {
        const std::uint32_t block = header.pixelOffset - kFileHeaderSize;
        std::uint32_t tableStart = kInfoHeaderSize;
        if (header.infoSize > kInfoHeaderSize && header.infoSize <= block) tableStart = header.infoSize;
        table = file + kFileHeaderSize + tableStart;
        tableEntries = (block - tableStart) / 4;
    }

    int width = request.width, height = request.height;
    if (width <= 0 || height <= 0) {
        width = header.width;
        height = header.height;
    }
    // A rectangle the GL cannot hold is refused rather than cut, so that the sizes
    // recorded for a slot always describe what its texture holds.
    if (request.maxTextureSize > 0 && (width > request.maxTextureSize || height > request.maxTextureSize))
        return false;
    if (width > kBmpMaxSide || height > kBmpMaxSide) return false;

    const int tw = TextureSideFor(width), th = TextureSideFor(height);
    out->width = width;
    out->height = height;
    out->textureWidth = tw;
    out->textureHeight = th;
    out->rgba.assign(std::size_t(tw) * th * 4, 0);

    const std::uint32_t key = request.keyColour & 0xFFFFFF;
    for (int y = 0; y < height; ++y) {
        const std::int64_t sy = std::int64_t(request.sourceY) + y;
        // Rows above the picture (negative) are skipped as well as rows below it.
        if (sy < 0 || sy >= header.height) continue;
        const std::uint8_t* row = pixels + stride * std::uint64_t(header.height - 1 - sy);
        std::uint8_t* dst = out->rgba.data() + std::size_t(height - 1 - y) * tw * 4;
        for (int x = 0; x < width; ++x) {
            const std::int64_t sx = std::int64_t(request.sourceX) + x;
            if (sx < 0 || sx >= header.width) continue;
            std::uint8_t b, g, r;
            if (header.bitCount == 8) {
                const std::uint8_t index = row[sx];
                if (index >= tableEntries) return false; // table shorter than the indices need
                const std::uint8_t* e = table + std::size_t(index) * 4;
                b = e[0], g = e[1], r = e[2];
            } else {
                const std::uint8_t* p = row + sx * bytesPerPixel;
                b = p[0], g = p[1], r = p[2];
            }
            std::uint8_t* t = dst + std::size_t(x) * 4;
            if (request.keying && ((std::uint32_t(b) << 16) | (std::uint32_t(g) << 8) | r) == key) continue;
            t[0] = r, t[1] = g, t[2] = b, t[3] = 255;
        }
    }
    if (key != 0) BleedEdgeColours(out->rgba.data(), tw, width, height);
    return true;
}

void BleedEdgeColours(std::uint8_t* rgba, int textureWidth, int width, int height) {
    // Transparent texels take the mean colour of their opaque interior neighbours,
    // so linear filtering and mipmaps do not pull the key colour into the edges.
    // Only transparent texels are written and only opaque ones are read, so the
    // order of the walk does not matter.
    for (int y = 0; y < height; ++y) {
        // Neighbour rows and columns that count: inside 1..height - 2 and 1..width - 2.
        const int y0 = y - 1 < 1 ? 1 : y - 1, y1 = y + 1 > height - 2 ? height - 2 : y + 1;
        std::uint8_t* row = rgba + std::size_t(y) * textureWidth * 4;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* t = row + std::size_t(x) * 4;
            if (t[3] != 0) continue;
            const int x0 = x - 1 < 1 ? 1 : x - 1, x1 = x + 1 > width - 2 ? width - 2 : x + 1;
            int sum0 = 0, sum1 = 0, sum2 = 0, count = 0;
            for (int ny = y0; ny <= y1; ++ny) {
                const std::uint8_t* n = rgba + (std::size_t(ny) * textureWidth + x0) * 4;
                for (int nx = x0; nx <= x1; ++nx, n += 4) {
                    if (n[3] == 0) continue; // also skips the texel itself
                    sum0 += n[0], sum1 += n[1], sum2 += n[2];
                    ++count;
                }
            }
            if (count == 0) continue;
            t[0] = std::uint8_t(sum0 / count);
            t[1] = std::uint8_t(sum1 / count);
            t[2] = std::uint8_t(sum2 / count);
        }
    }
}

void BumpConvert(std::uint8_t* rgba, int width, int height) {
    if (width <= 0 || height <= 0) return;
    std::vector<std::uint8_t> result(std::size_t(width) * height * 4);
    auto blue = [&](int x, int y) {
        x = ((x % width) + width) % width;
        y = ((y % height) + height) % height;
        return rgba[(std::size_t(y) * width + x) * 4 + 2] / 255.0;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double gx = (blue(x - 1, y - 1) + 2 * blue(x - 1, y) + blue(x - 1, y + 1)) -
                              (blue(x + 1, y - 1) + 2 * blue(x + 1, y) + blue(x + 1, y + 1));
            const double gy = (blue(x - 1, y + 1) + 2 * blue(x, y + 1) + blue(x + 1, y + 1)) -
                              (blue(x - 1, y - 1) + 2 * blue(x, y - 1) + blue(x + 1, y - 1));
            const double length = std::sqrt(gx * gx + gy * gy + 1.0);
            const std::size_t i = (std::size_t(y) * width + x) * 4;
            result[i + 0] = std::uint8_t(std::lround((gx / length + 1.0) / 2.0 * 255.0));
            result[i + 1] = std::uint8_t(std::lround((gy / length + 1.0) / 2.0 * 255.0));
            result[i + 2] = std::uint8_t(std::lround((1.0 / length + 1.0) / 2.0 * 255.0));
            result[i + 3] = rgba[i + 3];
        }
    }
    std::memcpy(rgba, result.data(), result.size());
}

void ReduceMipmapLevel(std::uint8_t* rgba, int width, int height, int* newWidth, int* newHeight) {
    const int nw = width / 2 > 0 ? width / 2 : 1;
    const int nh = height / 2 > 0 ? height / 2 : 1;
    // A 2 x 2 box, clipped at the level's edges. Each new texel is written at an
    // index no greater than any sample still to be read, so the work can be done
    // in place.
    if (width >= 2 && height >= 2 && width % 2 == 0 && height % 2 == 0) {
        const std::size_t rowBytes = std::size_t(width) * 4;
        for (int y = 0; y < nh; ++y) {
            const std::uint8_t* a = rgba + std::size_t(2 * y) * rowBytes;
            const std::uint8_t* b = a + rowBytes;
            std::uint8_t* d = rgba + std::size_t(y) * nw * 4;
            for (int x = 0; x < nw; ++x, a += 8, b += 8, d += 4)
                for (int c = 0; c < 4; ++c) d[c] = std::uint8_t((a[c] + a[c + 4] + b[c] + b[c + 4] + 2) >> 2);
        }
    } else {
        for (int y = 0; y < nh; ++y) {
            for (int x = 0; x < nw; ++x) {
                int sum[4] = {0, 0, 0, 0}, count = 0;
                for (int dy = 0; dy < 2; ++dy) {
                    const int sy = 2 * y + dy;
                    if (sy >= height) continue;
                    for (int dx = 0; dx < 2; ++dx) {
                        const int sx = 2 * x + dx;
                        if (sx >= width) continue;
                        const std::uint8_t* s = rgba + (std::size_t(sy) * width + sx) * 4;
                        for (int c = 0; c < 4; ++c) sum[c] += s[c];
                        ++count;
                    }
                }
                std::uint8_t* d = rgba + (std::size_t(y) * nw + x) * 4;
                for (int c = 0; c < 4; ++c) d[c] = std::uint8_t((sum[c] + count / 2) / count);
            }
        }
    }
    *newWidth = nw;
    *newHeight = nh;
}

} // namespace corvane
