// Fuzzes the shadow-volume builder: adjacency (welding and edge matching), the
// lit faces and silhouette edges, and the volume, over arbitrary triangle lists:
// degenerate, open, non-manifold, NaN and infinite corners, and a pose with
// more or fewer triangles than the adjacency was built from.
// Input: 1 byte of scale, 3 bytes of light position, then 3 bytes per corner.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "runtime/gfx3d/gfx3d_internal.h"

namespace {

float Coordinate(std::uint8_t b, float step) {
    if (b == 255) return std::numeric_limits<float>::quiet_NaN();
    if (b == 254) return std::numeric_limits<float>::infinity();
    if (b == 253) return -3.0e38f;
    return float(int(b) - 128) * step; // small steps make near-equal corners that weld
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const float steps[4] = {1.0f, 0.6e-5f, 1.1e-5f, 0.25f};
    const float step = steps[data[0] & 3];
    const float light[3] = {Coordinate(data[1], 1.0f), Coordinate(data[2], 1.0f), Coordinate(data[3], 1.0f)};
    std::vector<corvane::MeshVertex> corners;
    for (std::size_t i = 4; i + 3 <= size; i += 3) {
        corvane::MeshVertex v{};
        for (int a = 0; a < 3; ++a) v.position[a] = Coordinate(data[i + std::size_t(a)], step);
        corners.push_back(v);
    }
    const std::size_t triangles = corners.size() / 3;

    std::vector<corvane::EdgeNeighbour> edges;
    corvane::BuildEdgeNeighbours(corners.data(), corners.size(), edges);
    if (edges.size() != triangles * 3) __builtin_trap();
    for (std::size_t e = 0; e < edges.size(); ++e) {
        const std::int32_t n = edges[e].neighbour;
        if (n < -1 || n >= std::int32_t(triangles) || n == std::int32_t(e / 3)) __builtin_trap();
    }

    // The pose drawn may differ in length from frame 0 (a damaged model).
    for (std::size_t pose : {corners.size(), corners.size() / 2, corners.size() + 6}) {
        std::vector<corvane::MeshVertex> drawn(corners.begin(), corners.begin() + std::ptrdiff_t(std::min(pose, corners.size())));
        drawn.resize(pose);
        std::vector<corvane::EdgeNeighbour> marked = edges;
        std::vector<std::uint8_t> lit;
        corvane::MarkLitFaces(drawn.data(), drawn.size(), light, marked, lit);
        std::size_t silhouettes = 0;
        for (std::size_t t = 0; t < lit.size(); ++t)
            for (int l = 0; l < 3; ++l) {
                const bool s = marked[t * 3 + std::size_t(l)].silhouette;
                if (s && !lit[t]) __builtin_trap();
                silhouettes += s;
            }
        std::vector<float> volume;
        corvane::BuildShadowVolume(drawn.data(), drawn.size(), marked, lit, light, volume);
        if (volume.size() != (silhouettes * 6 + lit.size() * 3) * 4) __builtin_trap();
    }
    return 0;
}
