// The BMP reader as pure functions over bytes in memory: header checks, the
// RGBA texture buffer with colour keying and edge bleeding, the normal-map
// conversion and the mipmap reduction. No GL here, so the fuzzer and the tests
// can drive every branch without a context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

inline constexpr int kPictureMaxSide = 32768;         // larger sides are taken as a lying header
inline constexpr std::uint32_t kSpriteKeyColour = 0x8000FF; // red 255, green 0, blue 128

struct BmpHeader {
    int width = 0, height = 0;                      // absolute sizes of the picture
    int bitCount = 0;                               // 1, 4, 8, 16, 24 or 32 once accepted
    std::uint32_t pixelOffset = 0;                  // where the rows start in the file
    std::uint32_t infoSize = 0;                     // size field of the info header
    bool topDown = false;                           // a negative height: the first stored row is the top one
};

// Reads and checks the file and info headers from the first bytes of a file
// (at least 54). fileSize is the whole file's size. False for a bad signature,
// a pixel offset below 54 or past the end, or a side of 0 or beyond kPictureMaxSide.
// Does not judge the bit count (the size probe accepts any depth).
bool ParseBmpHeader(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize, BmpHeader* out);

struct PictureDecodeRequest {
    int sourceX = 0, sourceY = 0;                   // top-left of the wanted rectangle in the picture
    int width = 0, height = 0;                      // 0 or less: the whole picture
    std::uint32_t keyColour = 0;                    // 0xBBGGRR
    bool keying = false;                            // key-coloured pixels become (0,0,0,0)
    int maxTextureSize = 0;                         // refuse rectangles wider or taller than this (0: no limit)
};

struct PictureTexels {
    int width = 0, height = 0;                      // the rectangle taken
    int textureWidth = 0, textureHeight = 0;        // powers of two, at least 2
    std::vector<std::uint8_t> rgba;                 // textureWidth x textureHeight texels, R G B A
};

// Turns a whole BMP file in memory into the texture buffer: the picture in the
// bottom-left corner, its top row at texture row height - 1. Accepts 1, 4 and 8
// bits through the colour table (8 and 4 also run-length packed), 16 bits as
// 5-5-5 or 5-6-5, 24 and 32 bits (32 also as B, G, R bit fields); rows bottom-up,
// or top-down when the stored height is negative. Runs that leave the picture
// are refused. Edge bleeding runs when the key colour is not 0.
bool DecodeBmp(const std::uint8_t* file, std::size_t size, const PictureDecodeRequest& request, PictureTexels* out);

int  TextureSideFor(int pixels);                    // smallest power of two >= pixels, at least 2
void BleedEdgeColours(std::uint8_t* rgba, int textureWidth, int width, int height); // see DecodeBmp
void BumpConvert(std::uint8_t* rgba, int width, int height); // blue channel as height map -> normal map
// Replaces the level in rgba (width x height) by the next smaller one, in place;
// sizes halve with 0 counting as 1. Returns the new sizes.
void ReduceMipmapLevel(std::uint8_t* rgba, int width, int height, int* newWidth, int* newHeight);

} // namespace corvane
