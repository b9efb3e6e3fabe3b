// The effects' geometry without drawing: tangents from texture coordinates,
// welded adjacency, lit faces and silhouettes, and the closed shadow volume.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "runtime/gfx3d/gfx3d_internal.h"

namespace {

using namespace corvane;

MeshVertex At(float x, float y, float z, float u = 0, float v = 0) {
    MeshVertex m{};
    m.position[0] = x, m.position[1] = y, m.position[2] = z;
    m.texCoord[0] = u, m.texCoord[1] = v;
    m.packedColour = 0xFFFFFF;
    return m;
}

int Index(float x, float y, float z) {
    const float n[3] = {x, y, z};
    return NearestNormalIndex(n);
}

// A one-triangle-list mesh finished the way FinishObject does it.
MeshObject ListMesh(const std::vector<MeshVertex>& corners) {
    MeshObject mesh;
    mesh.frames.emplace_back();
    MeshVertex marker{};
    marker.packedColour = kMarkerList;
    mesh.frames[0].rawVertices.push_back(marker);
    for (const MeshVertex& v : corners) mesh.frames[0].rawVertices.push_back(v);
    CompactFrames(mesh);
    ComputeNormals(mesh, true);
    return mesh;
}

TEST(EffectsGeometry, TangentsFollowTheTextureCoordinates) {
    struct Case {
        const char* name;
        std::vector<MeshVertex> corners;
        int normal, tangent, binormal;
    } const cases[] = {
        {"upright quad, u along x, v down",
         {At(-1, -1, 0, 0, 1), At(1, -1, 0, 1, 1), At(1, 1, 0, 1, 0), At(-1, -1, 0, 0, 1), At(1, 1, 0, 1, 0),
          At(-1, 1, 0, 0, 0)},
         Index(0, 0, 1), Index(1, 0, 0), Index(0, -1, 0)},
        {"mirrored u",
         {At(-1, -1, 0, 1, 1), At(1, -1, 0, 0, 1), At(1, 1, 0, 0, 0), At(-1, -1, 0, 1, 1), At(1, 1, 0, 0, 0),
          At(-1, 1, 0, 1, 0)},
         Index(0, 0, 1), Index(-1, 0, 0), Index(0, -1, 0)},
        {"floor, u along z, v along x",
         {At(0, 0, 0, 0, 0), At(0, 0, 2, 1, 0), At(2, 0, 2, 1, 1), At(0, 0, 0, 0, 0), At(2, 0, 2, 1, 1),
          At(2, 0, 0, 0, 1)},
         Index(0, 1, 0), Index(0, 0, 1), Index(1, 0, 0)},
        {"one texel everywhere: no direction (the zero vector's entry)",
         {At(-1, -1, 0, 0.5f, 0.5f), At(1, -1, 0, 0.5f, 0.5f), At(1, 1, 0, 0.5f, 0.5f)},
         Index(0, 0, 1), Index(0, 0, 0), Index(0, 0, 0)},
    };
    for (const Case& c : cases) {
        MeshObject mesh = ListMesh(c.corners);
        ASSERT_TRUE(mesh.normalsDone);
        EXPECT_TRUE(TangentsMissing(mesh)) << c.name;
        EXPECT_TRUE(ComputeNormals(mesh, true, true)) << c.name << ": tangents missing, so it runs";
        EXPECT_FALSE(ComputeNormals(mesh, true, true)) << c.name << ": done once";
        EXPECT_FALSE(ComputeNormals(mesh, false, false)) << c.name;
        for (std::size_t k = 1; k < mesh.frames[0].corners.size(); ++k) {
            const MeshCorner& corner = mesh.frames[0].corners[k];
            EXPECT_EQ(corner.normalIndex, c.normal) << c.name << " corner " << k;
            EXPECT_EQ(corner.tangentIndex, c.tangent) << c.name << " corner " << k;
            EXPECT_EQ(corner.binormalIndex, c.binormal) << c.name << " corner " << k;
        }
        EXPECT_EQ(mesh.frames[0].corners[0].tangentIndex, 0) << "the marker keeps its indices";
    }
}

TEST(EffectsGeometry, AdjacencyWeldsNearCornersOnly) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float d = 0.9e-5f, far = 2.0e-5f;
    struct Case {
        const char* name;
        std::vector<MeshVertex> corners;
        std::vector<int> neighbours; // per corner's edge
    } const cases[] = {
        {"two triangles on one edge",
         {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1, 0, 0), At(1, 1, 0), At(0, 1, 0)}, {-1, 1, -1, -1, -1, 0}},
        {"the edge in the same order still pairs",
         {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(0, 1, 0), At(1, 0, 0), At(1, 1, 0)}, {-1, 1, -1, 0, -1, -1}},
        {"ends within 1e-5 weld",
         {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1 + d, 0, -d), At(1, 1, 0), At(d, 1 - d, 0)}, {-1, 1, -1, -1, -1, 0}},
        {"ends 2e-5 apart do not",
         {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1 + far, 0, 0), At(1, 1, 0), At(0, 1, 0)}, {-1, -1, -1, -1, -1, -1}},
        {"three on one edge: the third takes the first",
         {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1, 0, 0), At(1, 1, 0), At(0, 1, 0), At(0, 1, 0), At(1, 0, 0),
          At(1, 0, 5)},
         {-1, 1, -1, -1, -1, 0, 0, -1, -1}},
        {"NaN corners pair with nothing; the clean edge still pairs",
         {At(nan, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1, 0, 0), At(nan, 0, 0), At(0, 1, 0)}, {-1, 1, -1, -1, -1, 0}},
        {"a degenerate triangle is nobody's own neighbour", {At(0, 0, 0), At(0, 0, 0), At(0, 0, 0)}, {-1, -1, -1}},
        {"a trailing partial triangle is ignored", {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), At(1, 0, 0)}, {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        std::vector<EdgeNeighbour> edges;
        BuildEdgeNeighbours(c.corners.data(), c.corners.size(), edges);
        ASSERT_EQ(edges.size(), c.neighbours.size()) << c.name;
        for (std::size_t e = 0; e < edges.size(); ++e) EXPECT_EQ(edges[e].neighbour, c.neighbours[e]) << c.name << " edge " << e;
    }
}

// A closed cube's triangles (counter-clockwise from outside, or reversed).
std::vector<MeshVertex> CubeTriangles(bool reversed, float offsetY) {
    static const int kFaces[6][4] = {{1, 3, 4, 5}, {0, 7, 6, 2}, {2, 6, 4, 3}, {0, 1, 5, 7}, {7, 5, 4, 6}, {0, 2, 3, 1}};
    static const float kCorners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                                         {1, 1, 1},    {1, -1, 1},  {-1, 1, 1},  {-1, -1, 1}};
    std::vector<MeshVertex> out;
    for (const auto& f : kFaces) {
        const int order[6] = {0, 1, 2, 0, 2, 3}, flipped[6] = {0, 2, 1, 0, 3, 2};
        for (int i = 0; i < 6; ++i) {
            const float* p = kCorners[f[reversed ? flipped[i] : order[i]]];
            out.push_back(At(p[0], p[1] + offsetY, p[2]));
        }
    }
    return out;
}

TEST(EffectsGeometry, TheVolumeIsClosed) {
    struct Case {
        const char* name;
        bool reversed;
        float light[3];
        int silhouettes;
    } const cases[] = {
        {"light above, outward winding", false, {0.5f, 6, 0.5f}, 4},
        {"light above, reversed winding", true, {0.5f, 6, 0.5f}, 4},
        {"light off a corner", false, {5, 6, 7}, 6},
        {"light off a corner, reversed", true, {5, 6, 7}, 6},
        // Measured from each face, not from the origin: the side faces stay dark.
        {"light just above the top", false, {0.5f, 1.5f, 0.5f}, 4},
    };
    for (const Case& c : cases) {
        const std::vector<MeshVertex> cube = CubeTriangles(c.reversed, 0);
        std::vector<EdgeNeighbour> edges;
        BuildEdgeNeighbours(cube.data(), cube.size(), edges);
        for (const EdgeNeighbour& e : edges) ASSERT_GE(e.neighbour, 0) << c.name << ": a cube has no open edge";
        std::vector<std::uint8_t> lit;
        MarkLitFaces(cube.data(), cube.size(), c.light, edges, lit);
        int silhouettes = 0;
        for (const EdgeNeighbour& e : edges) silhouettes += e.silhouette;
        EXPECT_EQ(silhouettes, c.silhouettes) << c.name;
        std::vector<float> volume;
        BuildShadowVolume(cube.data(), cube.size(), edges, lit, c.light, volume);
        ASSERT_EQ(volume.size(), std::size_t(silhouettes * 6 + 36) * 4) << c.name;
        // Every directed edge meets its reverse exactly once: a closed, consistently
        // wound surface (points at infinity compared as they are).
        std::map<std::vector<float>, int> directed;
        for (std::size_t t = 0; t < volume.size() / 12; ++t)
            for (int l = 0; l < 3; ++l) {
                const float* p = &volume[t * 12 + std::size_t(l) * 4];
                const float* q = &volume[t * 12 + std::size_t((l + 1) % 3) * 4];
                ++directed[{p[0], p[1], p[2], p[3], q[0], q[1], q[2], q[3]}];
            }
        for (const auto& [edge, n] : directed) {
            const std::vector<float> reverse = {edge[4], edge[5], edge[6], edge[7], edge[0], edge[1], edge[2], edge[3]};
            auto found = directed.find(reverse);
            EXPECT_TRUE(found != directed.end() && found->second == n) << c.name;
        }
    }
}

} // namespace
