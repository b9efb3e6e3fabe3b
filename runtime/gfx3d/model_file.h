// Model files: the binary compact format (an image of a mesh's quantised
// keyframes) and the MSHA text format (polygons, texture coordinates and
// per-frame positions). The parsers and the serialiser work on byte buffers and
// touch no GL, so they can be fed arbitrary bytes.
//
// Binary layout (little-endian, no padding): magic 17 B3 C6 00, float64 version
// 1.02, int32 frameCount, colourCount, uvCount; colourCount uint32 colours;
// uvCount (float u, float v); per frame int32 cornerCount, 3 floats offset,
// 3 floats scale, cornerCount x (x, y, z, normal index, colour index) bytes.
#pragma once

#include <cstddef>
#include <string>
#include <cstdint>
#include <vector>

#include "runtime/gfx3d/scene3d.h"

namespace corvane {

enum class ModelError { None, Read, Malloc }; // Read: damaged or unreadable; Malloc: too large to hold

constexpr std::uint8_t kModelMagic[4] = {0x17, 0xB3, 0xC6, 0x00};
constexpr double kModelVersion = 1.02;
constexpr int kMaxNormalIndex = 161;
constexpr std::int64_t kMaxTextCorners = std::int64_t(1) << 20; // corners of all frames of a text model (each may become three triangle vertices)

// ---------------------------------------------------------------- parsing (no GL)
ModelError ParseModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size, bool keepRawVertices); // mesh cleared first; binary when the magic leads, else text
ModelError ParseBinaryModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size, bool keepRawVertices); // after the magic check
ModelError ParseTextModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size); // MSHA tokens into compacted frames
bool SerialiseModel(const MeshObject& mesh, std::vector<std::uint8_t>& out); // false for more than 256 colours or a corner outside them
std::int32_t TextCount(float value);                         // truncated; outside int32 (or NaN) the smallest int32

// ---------------------------------------------------------------- files
std::string ModelProblem(const char* fileName); // why ReadModel refused the file, in plain words
bool ReadModel(MeshObject& mesh, const char* fileName, bool keepRawVertices); // false on failure (logged once opened), mesh cleared
bool WriteModel(const MeshObject& mesh, const char* fileName); // whole file or none; false when it could not be written

} // namespace corvane
