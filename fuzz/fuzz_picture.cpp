// Fuzzes the PNG, JPEG and TGA decoders: recognition, the size probe and the
// decode with keying and rectangles. The first byte may put a format's opening
// bytes in front of the rest, so the fuzzer reaches each library's body
// without first having to guess a signature.
// Input: 6 bytes of request and prefix choice, then the file.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/gfx2d/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    static const std::uint8_t kJpeg[] = {0xFF, 0xD8, 0xFF};
    std::vector<std::uint8_t> file;
    switch (data[0] & 3) {
    case 1: file.assign(kPng, kPng + sizeof kPng); break;
    case 2: file.assign(kJpeg, kJpeg + sizeof kJpeg); break;
    default: break;
    }
    file.insert(file.end(), data + 6, data + size);

    corvane::PictureDecodeRequest request;
    request.sourceX = std::int8_t(data[1]);
    request.sourceY = std::int8_t(data[2]);
    request.width = data[3] & 0x7F;            // 0: the whole picture
    request.height = data[4] & 0x7F;
    request.keying = data[5] & 1;
    request.keyColour = (data[5] & 2) ? corvane::kSpriteKeyColour : 0;
    request.maxTextureSize = 256;              // bounds the buffers the fuzzer can ask for

    int w = 0, h = 0;
    const bool probed = corvane::ProbePicture(file.data(), file.size(), &w, &h);
    corvane::PictureTexels texels;
    const bool decoded = corvane::DecodePicture(file.data(), file.size(), request, &texels);
    if (decoded && !probed) __builtin_trap();
    if (!decoded) return 0;
    // Decoded from the top, so the whole picture had to fit (a BMP rectangle need not).
    const bool bmp = corvane::SniffPicture(file.data(), file.size()) == corvane::PictureKind::Bmp;
    if (!bmp && (w > 256 || h > 256)) __builtin_trap();

    const int tw = texels.textureWidth, th = texels.textureHeight;
    if (tw < 2 || th < 2 || (tw & (tw - 1)) || (th & (th - 1))) __builtin_trap();
    if (tw < texels.width || th < texels.height) __builtin_trap();
    if (texels.rgba.size() != std::size_t(tw) * th * 4) __builtin_trap();
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) {
            const std::uint8_t* t = &texels.rgba[(std::size_t(y) * tw + x) * 4];
            // Outside the rectangle (0, 0, 0, 0); transparent texels only colour-bled.
            if ((x >= texels.width || y >= texels.height) && (t[0] | t[1] | t[2] | t[3])) __builtin_trap();
            if (t[3] == 0 && request.keyColour == 0 && (t[0] | t[1] | t[2])) __builtin_trap();
        }
    return 0;
}
