// Keyframes held compactly: every frame keeps only its quantised corners, and
// the order in which corners become triangle vertices is worked out once and
// shared by every frame with frame 0's primitives. Vertices as drawn (88 bytes
// each) are decoded from the corners when they are needed: for a blend, an
// upload, a shadow volume or a test. Internal to gfx3d (and its tests).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/gfx3d/scene3d.h"

namespace corvane {

// Corner number of each triangle vertex of the frame (3 per triangle).
inline const std::vector<std::uint32_t>& TriangleCorners(const MeshObject& mesh, const MeshFrame& frame) {
    return frame.ownLayout ? frame.ownTriangleCorners : mesh.triangleCorners;
}
inline std::size_t TriangleVertexCount(const MeshObject& mesh, const MeshFrame& frame) {
    return TriangleCorners(mesh, frame).size();
}

// A corner's position in the frame, exactly as the expanded vertex carries it.
inline void CornerPosition(const MeshFrame& frame, const MeshCorner& c, float out[3]) {
    out[0] = (float(c.x) - frame.quantOffset[0]) * frame.quantScale[0];
    out[1] = (float(c.y) - frame.quantOffset[1]) * frame.quantScale[1];
    out[2] = (float(c.z) - frame.quantOffset[2]) * frame.quantScale[2];
}

// Position of triangle vertex k of the frame.
inline void TriangleVertexPosition(const MeshObject& mesh, const MeshFrame& frame, std::size_t k, float out[3]) {
    CornerPosition(frame, frame.corners[TriangleCorners(mesh, frame)[k]], out);
}

// The frame's triangle vertices as drawn (frame A alone, no texture offset).
void DecodeTriangles(const MeshObject& mesh, const MeshFrame& frame, std::vector<MeshVertex>& out);
void DecodeTriangles(const MeshObject& mesh, const MeshFrame& frame, MeshVertex* out); // TriangleVertexCount of them

// Pose B + (A - B) * weight of positions and normals, everything else from
// frame A; offset added to u, v. Frames of different lengths give frame A.
// out receives TriangleVertexCount(mesh, a) vertices.
void BlendFrames(const MeshObject& mesh, const MeshFrame& a, const MeshFrame& b, float weight, const float offset[2],
                 MeshVertex* out);
void BlendFrames(const MeshObject& mesh, const MeshFrame& a, const MeshFrame& b, float weight, const float offset[2],
                 std::vector<MeshVertex>& out);

// Bytes the mesh holds in memory (capacities of its arrays, GL objects not counted).
std::size_t MeshBytesHeld(const MeshObject& mesh);

} // namespace corvane
