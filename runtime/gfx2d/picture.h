// Pictures of every kind the loaders take, recognised by their first bytes:
// BMP (through the BMP reader unchanged), PNG, JPEG and TGA. Pure functions over
// bytes in memory, like the BMP reader, so the fuzzer and the tests can drive
// them without a GL context. The result is the same texture buffer the BMP
// reader gives, ready for the bump conversion and the mipmap chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/gfx2d/bmp.h"

namespace corvane {

enum class PictureKind { Unknown, Bmp, Png, Jpeg, Tga };

// What the first bytes say the file is. TGA has no signature, so it is taken
// when its 18-byte header is one a TGA writer could have written.
PictureKind SniffPicture(const std::uint8_t* data, std::size_t size);

// The picture's sizes from its headers alone (the whole file in memory).
// False, with 0 and 0, for anything the decoder would refuse at once.
bool ProbePicture(const std::uint8_t* file, std::size_t size, int* width, int* height);

// DecodeBmp for every kind. A PNG, JPEG or TGA is decoded from its first row on,
// so the whole picture (not only the rectangle) must fit maxTextureSize and
// kPictureMaxSide. A picture with an alpha channel (PNG alpha or transparency
// chunk, TGA attribute bits) keeps its alpha and is not keyed; one without
// follows the key-colour rule as a BMP does. Fully transparent texels become
// (0, 0, 0, 0) before edge bleeding, which runs when the key colour is not 0.
bool DecodePicture(const std::uint8_t* file, std::size_t size, const PictureDecodeRequest& request, PictureTexels* out);

// Why a picture file in memory cannot be loaded, in plain words for the error log
// ("not a picture (BMP, PNG, JPEG or TGA)", "truncated PNG", "unsupported BMP (2 bits
// per pixel)", "too large (40000 x 10 pixels)", ...); "damaged <kind>" when nothing
// more precise is known. Only asked after a load failed.
std::string PictureProblem(const std::uint8_t* file, std::size_t size, int maxTextureSize);

} // namespace corvane
