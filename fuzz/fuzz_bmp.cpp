// Fuzzes the BMP reader: header checks, texel conversion with keying and edge
// bleeding (every depth, run-length packing, top-down rows), rectangles against
// the whole picture, background tiles cut at 64-pixel offsets from the whole
// picture, and the mipmap reduction of what it produced.
// Input: 6 bytes of request (source x, source y, width, height, key flags), then the file.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/gfx2d/background_tiles.h"
#include "runtime/gfx2d/bmp.h"

namespace {

// Tile (column, row) cut from the picture decoded once must agree with the
// 64 x 64 rectangle decoded at that offset: the same transparent texels and the
// same opaque colours, and nothing past the picture's edge.
void CheckTile(const std::uint8_t* file, std::size_t size, int column, int row) {
    corvane::BmpHeader header;
    if (!corvane::ParseBmpHeader(file, size, size, &header)) return;
    if (header.width > 4096 || header.height > 4096 || std::int64_t(header.width) * header.height > (1 << 20)) return;
    corvane::PictureTexels whole;
    if (!corvane::DecodeBmp(file, size, corvane::PictureDecodeRequest{}, &whole)) return;
    std::vector<std::uint8_t> tile(64 * 64 * 4);
    corvane::CutBackgroundTile(whole, column, row, tile.data());
    corvane::PictureDecodeRequest rect;
    rect.sourceX = column * 64;
    rect.sourceY = row * 64;
    rect.width = rect.height = 64;
    rect.keying = true;
    rect.keyColour = corvane::kSpriteKeyColour;
    corvane::PictureTexels direct;
    if (!corvane::DecodeBmp(file, size, rect, &direct) || direct.textureWidth != 64) __builtin_trap();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* a = &tile[(std::size_t(63 - y) * 64 + x) * 4];
            const std::uint8_t* b = &direct.rgba[(std::size_t(63 - y) * 64 + x) * 4];
            const bool inside = column * 64 + x < header.width && row * 64 + y < header.height;
            if (!inside && (a[0] | a[1] | a[2] | a[3])) __builtin_trap();
            if (a[3] != b[3] || (a[3] && std::memcmp(a, b, 4) != 0)) __builtin_trap();
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    corvane::PictureDecodeRequest request;
    request.sourceX = std::int8_t(data[0]);
    request.sourceY = std::int8_t(data[1]);
    request.width = data[2] & 0x7F;            // 0: the whole picture
    request.height = data[3] & 0x7F;
    request.keying = data[4] & 1;
    request.keyColour = (data[4] & 2) ? corvane::kSpriteKeyColour : 0;
    request.maxTextureSize = 512;               // bounds the buffer the fuzzer can ask for
    const std::uint8_t* file = data + 6;
    const std::size_t fileSize = size - 6;

    corvane::BmpHeader header;
    const bool parsed = corvane::ParseBmpHeader(file, fileSize, fileSize, &header);
    corvane::PictureTexels texels;
    const bool decoded = corvane::DecodeBmp(file, fileSize, request, &texels);
    if (decoded && !parsed) __builtin_trap();
    if (!decoded) return 0;

    // The buffer has the documented shape.
    const int tw = texels.textureWidth, th = texels.textureHeight;
    if (tw < 2 || th < 2 || (tw & (tw - 1)) || (th & (th - 1))) __builtin_trap();
    if (tw < texels.width || th < texels.height) __builtin_trap();
    if (texels.rgba.size() != std::size_t(tw) * th * 4) __builtin_trap();
    // Texels outside the rectangle stay (0, 0, 0, 0).
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            if (x >= texels.width || y >= texels.height) {
                const std::uint8_t* t = &texels.rgba[(std::size_t(y) * tw + x) * 4];
                if (t[0] | t[1] | t[2] | t[3]) __builtin_trap();
            }

    // Without keying and bleeding, a rectangle is exactly that part of the whole
    // picture: run-length rows unpacked for the rectangle alone, top-down rows and
    // the packed depths must all land where the whole decode puts them.
    if (!request.keying && request.keyColour == 0 && (request.sourceX | request.sourceY) != 0 &&
        header.width <= 512 && header.height <= 512) {
        corvane::PictureDecodeRequest whole;
        whole.maxTextureSize = 512;
        corvane::PictureTexels all;
        if (corvane::DecodeBmp(file, fileSize, whole, &all)) {
            for (int y = 0; y < texels.height; ++y)
                for (int x = 0; x < texels.width; ++x) {
                    const int sx = request.sourceX + x, sy = request.sourceY + y;
                    if (sx < 0 || sy < 0 || sx >= header.width || sy >= header.height) continue;
                    const std::uint8_t* a = &texels.rgba[(std::size_t(texels.height - 1 - y) * tw + x) * 4];
                    const std::uint8_t* b =
                        &all.rgba[(std::size_t(header.height - 1 - sy) * all.textureWidth + sx) * 4];
                    if (std::memcmp(a, b, 4) != 0) __builtin_trap();
                }
        }
    }

    if (data[5] & 2) CheckTile(file, fileSize, data[0] & 0x3F, data[1] & 0x3F);

    if (data[5] & 1) corvane::BumpConvert(texels.rgba.data(), tw, th);
    int w = tw, h = th;
    while (w > 1 || h > 1) corvane::ReduceMipmapLevel(texels.rgba.data(), w, h, &w, &h);
    return 0;
}
