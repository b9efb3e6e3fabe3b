// Cutting a decoded picture into the 64 x 64 tiles of a background buffer, as a
// pure function so that the fuzzer and the tests reach it without a GL context.
#pragma once

#include <cstdint>

#include "runtime/gfx2d/bmp.h"

namespace corvane {

// Tile (column, row) of a picture decoded whole and unkeyed (DecodeBmp): the
// 64 x 64 texels at picture offset (64 column, 64 row) into tile (64 x 64 x 4
// bytes, its top picture row at texture row 63), the key colour 0x8000FF and
// everything past the picture's edge (0, 0, 0, 0), edge colours bled inside
// the tile.
void CutBackgroundTile(const PictureTexels& picture, int column, int row, std::uint8_t* tile);

} // namespace corvane
