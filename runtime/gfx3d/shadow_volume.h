// Shadow volumes as drawn: the faces that can reach the view and the key that
// says when a kept volume still fits. Internal to gfx3d/ (and its tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/gfx3d/scene3d.h"

namespace corvane {

// The volume BuildShadowVolume makes, or without its caps at infinity (the unlit
// faces pushed away from the light) when `farCaps` is false.
void BuildShadowVolumeFaces(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                            const std::vector<std::uint8_t>& faceLit, const float light[3], bool farCaps,
                            std::vector<float>& out);

// True when the projection puts every point at infinity strictly outside the
// view (a finite far plane, or an orthographic view): caps made only of such
// points can never produce a fragment. `projection` is column-major, as GL keeps it.
bool InfinityOutsideView(const float projection[16]);

// A digest of everything a volume is built from (positions, adjacency, the light
// in object space, whether the far caps are in); never 0.
std::uint64_t ShadowVolumeKey(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                              const float light[3], bool farCaps);

} // namespace corvane
