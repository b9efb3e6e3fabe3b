// Shared checks of the model fuzz targets: a mesh a reader accepted goes
// through finishing and one query of each shape, then is written and read back
// unchanged.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/gfx3d/collision.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"
#include "runtime/gfx3d/model_file.h"

namespace model_fuzz {

inline void Check(bool ok) {
    if (!ok) std::abort();
}

inline bool SameCorners(const corvane::MeshObject& a, const corvane::MeshObject& b) {
    if (a.frames.size() != b.frames.size()) return false;
    for (std::size_t f = 0; f < a.frames.size(); ++f) {
        const auto& x = a.frames[f].corners;
        const auto& y = b.frames[f].corners;
        if (x.size() != y.size()) return false;
        for (std::size_t k = 0; k < x.size(); ++k)
            if (x[k].x != y[k].x || x[k].y != y[k].y || x[k].z != y[k].z || x[k].normalIndex != y[k].normalIndex ||
                x[k].colourIndex != y[k].colourIndex)
                return false;
    }
    return true;
}

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

inline void Exercise(corvane::Mesh& mesh) {
    using namespace corvane;
    std::size_t corners = 0;
    for (const MeshFrame& f : mesh.frames) corners += f.corners.size();
    if (corners > (1u << 16)) return; // large but valid: finishing it only costs time
    ComputeNormals(mesh, true);
    mesh.ExpandFrames();
    ComputeBoundingSpheres(mesh);
    if (!mesh.frames.empty()) {
        const MeshFrame& f = mesh.frames[0];
        const double centre[3] = {0.5, -0.25, 1}, direction[3] = {0.6, 0.8, 0};
        const double half[3][3] = {{1, 0, 0}, {0, 0, 1}, {0, 2, 0}};
        (void)SphereTouchesFrame(mesh, f, centre, 3);
        (void)BoxTouchesFrame(mesh, f, centre, half);
        (void)RayHitsFrame(mesh, f, centre, direction);
        // Blending reads two frames through their own triangle orders.
        const float offset[2] = {0.25f, 0};
        std::vector<MeshVertex> pose;
        BlendFrames(mesh, f, mesh.frames.back(), 0.5f, offset, pose);
        Check(pose.size() == TriangleVertexCount(mesh, f));
    }
    std::vector<std::uint8_t> bytes;
    if (!SerialiseModel(mesh, bytes)) {
        Check(mesh.colours.size() > 256);
        return;
    }
    Mesh again;
    Check(ParseModel(again, bytes.data(), bytes.size(), false) == ModelError::None);
    Check(SameCorners(mesh, again));
    Check(SameBits(mesh.colours, again.colours));
    Check(SameBits(mesh.uList, again.uList) && SameBits(mesh.vList, again.vList));
}

} // namespace model_fuzz
