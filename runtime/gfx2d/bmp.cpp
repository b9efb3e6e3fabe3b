// BMP reader: header checks and texel conversion over bytes in memory.
#include "runtime/gfx2d/bmp.h"

#include <algorithm>
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
    const std::int32_t storedHeight = ReadI32(info + 8);
    const std::int64_t height = std::llabs(static_cast<long long>(storedHeight));
    if (width < 1 || width > kPictureMaxSide || height < 1 || height > kPictureMaxSide) return false;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->bitCount = ReadU16(info + 14);
    out->pixelOffset = offset;
    out->infoSize = ReadU32(info);
    out->topDown = storedHeight < 0;
    return true;
}

int TextureSideFor(int pixels) {
    int side = 2;
    while (side < pixels) side <<= 1;
    return side;
}

namespace {

constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
// A run-length picture is unpacked before it is read; a small file can claim a
// huge one, so the unpacked rows are bounded.
constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t(1) << 28;

// How one stored pixel becomes B, G, R.
enum class PixelFormat { Indexed, Rgb555, Rgb565, Bgr24, Bgr32 };

// Rows [firstRow, firstRow + rows) of a run-length picture, one index per pixel,
// unpacked from the stream that starts at `data`. Pixels the stream skips (end of
// line, delta) keep index 0. Common writers pack each row with its padding to
// 32 bits, so runs may reach into that padding (and are cut there); a run or move
// beyond it or beyond the last row is refused, as is a stream that ends before
// the picture does.
bool UnpackRunLength(const std::uint8_t* data, std::size_t size, bool fourBits, int width, int height,
                     int firstRow, int rows, std::vector<std::uint8_t>* out) {
    out->assign(std::size_t(width) * std::size_t(rows), 0);
    const std::int64_t rowEnd = fourBits ? ((std::int64_t(width) + 7) & ~7) : ((std::int64_t(width) + 3) & ~3);
    std::size_t at = 0;
    std::int64_t x = 0, y = 0;                      // y counts stored rows, bottom first
    auto put = [&](std::int64_t col, std::uint8_t index) {
        if (col < width && y >= firstRow && y < firstRow + rows)
            (*out)[std::size_t(y - firstRow) * width + std::size_t(col)] = index;
    };
    while (true) {
        if (at + 2 > size) return y >= height;      // the stream may stop once the picture is full
        const std::uint8_t count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) {                            // a run of one index (two alternating ones in 4 bits)
            if (y >= height || x + count > rowEnd) return false;
            for (int i = 0; i < count; ++i)
                put(x + i, fourBits ? std::uint8_t((i & 1) ? value & 0x0F : value >> 4) : value);
            x += count;
        } else if (value == 0) {                    // end of line
            x = 0;
            ++y;
        } else if (value == 1) {                    // end of picture
            return true;
        } else if (value == 2) {                    // move right and up
            if (at + 2 > size) return false;
            x += data[at];
            y += data[at + 1];
            at += 2;
            if (x > rowEnd || y > height || (y == height && x > 0)) return false;
        } else {                                    // `value` indices stored as they are, padded to 16 bits
            const std::size_t bytes = fourBits ? (std::size_t(value) + 1) / 2 : value;
            if (at + bytes > size) return false;
            if (y >= height || x + value > rowEnd) return false;
            for (int i = 0; i < value; ++i)
                put(x + i, fourBits ? std::uint8_t((i & 1) ? data[at + i / 2] & 0x0F : data[at + i / 2] >> 4)
                                    : data[at + i]);
            x += value;
            at += (bytes + 1) & ~std::size_t(1);
        }
    }
}

// Expands a 5- or 6-bit channel to 8 bits by repeating its top bits.
std::uint8_t Expand5(unsigned v) { return std::uint8_t((v << 3) | (v >> 2)); }
std::uint8_t Expand6(unsigned v) { return std::uint8_t((v << 2) | (v >> 4)); }

} // namespace

bool DecodeBmp(const std::uint8_t* file, std::size_t size, const PictureDecodeRequest& request, PictureTexels* out) {
    BmpHeader header;
    if (!ParseBmpHeader(file, size, size, &header)) return false;
    const int bits = header.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

    // What the compression field allows: run-length packing only for its own depth
    // (and, as the format has it, only bottom-up); bit fields only in the layouts
    // below. Anything else would be drawn as noise, so it is refused.
    const std::uint32_t compression = ReadU32(file + 30);
    PixelFormat format = bits <= 8 ? PixelFormat::Indexed
                         : bits == 16 ? PixelFormat::Rgb555
                         : bits == 24 ? PixelFormat::Bgr24
                                      : PixelFormat::Bgr32;
    const bool runLength = compression == kRle8 || compression == kRle4;
    if (runLength) {
        if ((compression == kRle8) != (bits == 8) || (compression == kRle4) != (bits == 4)) return false;
        if (header.topDown) return false;
    } else if (compression == kBitFields && (bits == 16 || bits == 32)) {
        if (header.pixelOffset < kFileHeaderSize + kInfoHeaderSize + 12) return false;
        const std::uint8_t* masks = file + kFileHeaderSize + kInfoHeaderSize;
        const std::uint32_t red = ReadU32(masks), green = ReadU32(masks + 4), blue = ReadU32(masks + 8);
        if (bits == 32) {
            if (red != 0xFF0000u || green != 0xFF00u || blue != 0xFFu) return false;
        } else if (red == 0x7C00u && green == 0x03E0u && blue == 0x001Fu) {
            format = PixelFormat::Rgb555;
        } else if (red == 0xF800u && green == 0x07E0u && blue == 0x001Fu) {
            format = PixelFormat::Rgb565;
        } else {
            return false;
        }
    } else if (compression != kUncompressed) {
        return false;
    }

    // Colour table of the palette depths: right after the info header. Its size
    // field is honoured when it is plausible, so that the larger headers other
    // writers use (108 or 124 bytes) do not turn header fields into palette entries.
    const std::uint8_t* table = nullptr;
    std::uint32_t tableEntries = 0;
    if (format == PixelFormat::Indexed) {
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
    if (width > kPictureMaxSide || height > kPictureMaxSide) return false;

    // Picture rows the rectangle takes, and where each is stored: bottom-up unless
    // the height was negative.
    const std::int64_t firstPictureRow = std::max<std::int64_t>(0, request.sourceY);
    const std::int64_t endPictureRow = std::min<std::int64_t>(header.height, std::int64_t(request.sourceY) + height);
    auto storedRowOf = [&](std::int64_t sy) { return header.topDown ? sy : header.height - 1 - sy; };

    const std::uint8_t* pixels = file + header.pixelOffset;
    std::uint64_t stride = 0;
    std::vector<std::uint8_t> unpacked;             // run-length pictures: one index per pixel
    std::int64_t unpackedFirst = 0;
    if (runLength) {
        if (endPictureRow > firstPictureRow) {
            // Bottom-up, so the rows wanted are stored from height - end on.
            unpackedFirst = header.height - endPictureRow;
            const std::int64_t rows = endPictureRow - firstPictureRow;
            if (std::uint64_t(rows) * std::uint64_t(header.width) > kMaxUnpackedBytes) return false;
            if (!UnpackRunLength(pixels, size - header.pixelOffset, compression == kRle4, header.width, header.height,
                                 int(unpackedFirst), int(rows), &unpacked))
                return false;
        } else if (!UnpackRunLength(pixels, size - header.pixelOffset, compression == kRle4, header.width,
                                    header.height, 0, 0, &unpacked)) {
            return false;                           // nothing taken, but a broken stream is still refused
        }
    } else {
        stride = ((std::uint64_t(header.width) * std::uint64_t(bits) + 31) / 32) * 4;
        const std::uint64_t pixelBytes = stride * std::uint64_t(header.height);
        if (pixelBytes > std::uint64_t(size) - header.pixelOffset) return false; // short read
    }

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
        const std::int64_t stored = storedRowOf(sy);
        const std::uint8_t* row = runLength ? unpacked.data() + std::size_t(stored - unpackedFirst) * header.width
                                            : pixels + stride * std::uint64_t(stored);
        std::uint8_t* dst = out->rgba.data() + std::size_t(height - 1 - y) * tw * 4;
        for (int x = 0; x < width; ++x) {
            const std::int64_t sx = std::int64_t(request.sourceX) + x;
            if (sx < 0 || sx >= header.width) continue;
            std::uint8_t b, g, r;
            switch (format) {
            case PixelFormat::Indexed: {
                std::uint8_t index;
                if (runLength || bits == 8) index = row[sx];
                else if (bits == 4) index = (row[sx >> 1] >> ((sx & 1) ? 0 : 4)) & 0x0F;
                else index = (row[sx >> 3] >> (7 - (sx & 7))) & 1;
                if (index >= tableEntries) return false; // table shorter than the indices need
                const std::uint8_t* e = table + std::size_t(index) * 4;
                b = e[0], g = e[1], r = e[2];
                break;
            }
            case PixelFormat::Rgb555:
            case PixelFormat::Rgb565: {
                const unsigned v = ReadU16(row + sx * 2);
                b = Expand5(v & 0x1F);
                if (format == PixelFormat::Rgb555) g = Expand5((v >> 5) & 0x1F), r = Expand5((v >> 10) & 0x1F);
                else g = Expand6((v >> 5) & 0x3F), r = Expand5((v >> 11) & 0x1F);
                break;
            }
            default: {
                const std::uint8_t* p = row + sx * (bits / 8);
                b = p[0], g = p[1], r = p[2];
                break;
            }
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
