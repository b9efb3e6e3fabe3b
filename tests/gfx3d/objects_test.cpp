// Objects: building, finishing (corners, normals, triangles, bounds), slots,
// the cube, and the choice of keyframes.
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "tests/gfx3d/gfx3d_test_support.h"

namespace gfx3d_test {
namespace {

using namespace corvane;

const corvane::Mesh& Mesh(int slot) { return TheScene().slots[slot].meshes.at(0); }

// The triangles of frame 0 as the u coordinates of their corners (vertex ids).
std::vector<std::vector<int>> TrianglesByU(int slot) {
    std::vector<std::vector<int>> out;
    const auto& t = Triangles(Mesh(slot), 0);
    for (std::size_t i = 0; i + 2 < t.size(); i += 3)
        out.push_back({int(t[i].texCoord[0]), int(t[i + 1].texCoord[0]), int(t[i + 2].texCoord[0])});
    return out;
}

TEST_F(Gfx3dTest, PrimitivesAssembleInOrder) {
    struct Case {
        const char* name;
        double marker;  // 0: the strip StartObject begins with
        int count;
        std::vector<std::vector<int>> want;
    };
    const Case cases[] = {
        {"strip A..E", 0, 5, {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}}},
        {"fan A..D", -3, 4, {{0, 1, 2}, {0, 2, 3}}},
        {"list of six", -1, 7, {{0, 1, 2}, {3, 4, 5}}},
        {"two vertices make no triangle", 0, 2, {}},
    };
    for (const Case& c : cases) {
        StartObject(1);
        if (c.marker != 0) AddVertex(0, 0, 0, 0, 0, c.marker);
        for (int i = 0; i < c.count; ++i) AddVertex(i, (i * 7) % 3, (i * 5) % 4, i, 0, 0xFFFFFF);
        FinishObject();
        EXPECT_TRUE(TheScene().slots[1].loaded) << c.name;
        EXPECT_EQ(TrianglesByU(1), c.want) << c.name;
    }
    // Frames with fewer than three raw vertices (the strip marker counts) are emptied.
    StartObject(1);
    AddVertex(1, 2, 3, 0, 0, 0xFFFFFF);
    FinishObject();
    EXPECT_TRUE(Mesh(1).frames.empty());
    DrawObjectFrame(1, 0);
    // A strip restarts after NewStrip, and the winding of every strip triangle
    // comes out counter-clockwise when the strip is.
    StartObject(1);
    AddQuad(0, 0, 1, 1);
    AddQuad(2, 0, 3, 1);
    FinishObject();
    const auto t = Triangles(Mesh(1), 0);
    ASSERT_EQ(t.size(), 12u);
    for (std::size_t i = 0; i < t.size(); i += 3) {
        const float* a = t[i].position;
        const float* b = t[i + 1].position;
        const float* c = t[i + 2].position;
        EXPECT_GT((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]), 0) << i / 3;
        EXPECT_NEAR(t[i].normal[2], 1.0f, 1e-6) << i / 3;
    }
}

TEST_F(Gfx3dTest, CompactionAndDecoding) {
    StartObject(1);
    AddVertex(-1, 4, 3, 0.25, 0.5, 0x102030);
    AddVertex(2, -4, 3, 0.75, 1.5, 0x102030);
    AddVertex(0.5, 0, 3, 1.0, -2.0, 0xFFFFFF);
    FinishObject();
    const corvane::Mesh& m = Mesh(1);
    const MeshFrame& f = m.frames[0];
    EXPECT_FLOAT_EQ(f.quantScale[0], 3.0f / 255.0f);
    EXPECT_FLOAT_EQ(f.quantScale[1], 8.0f / 255.0f);
    EXPECT_FLOAT_EQ(f.quantScale[2], 1.0f) << "a flat axis";
    const std::vector<MeshVertex> t = Triangles(m, 0);
    ASSERT_EQ(t.size(), 3u);
    const float want[3][3] = {{-1, 4, 3}, {2, -4, 3}, {0.5f, 0, 3}};
    for (int i = 0; i < 3; ++i)
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(t[i].position[a], want[i][a], f.quantScale[a]) << i;
    // The marker and two colours; texture v flipped on expansion; colours decoded.
    EXPECT_EQ(m.colours, (std::vector<std::uint32_t>{kMarkerStrip, 0x102030, 0xFFFFFF}));
    EXPECT_TRUE(m.hasColours);
    EXPECT_FLOAT_EQ(t[1].texCoord[1], -1.5f);
    EXPECT_FLOAT_EQ(t[0].colour[2], 0x10 / 255.0f);
    EXPECT_TRUE(f.rawVertices.empty());
    EXPECT_TRUE(m.renderVertices.empty()) << "vertices are decoded when drawn, not held";
    // Bounding sphere: the mean of the triangle corners and the farthest of them.
    EXPECT_NEAR(f.boundCentre[0], 0.5f, 0.02f);
    EXPECT_NEAR(f.boundCentre[1], 0.0f, 0.02f);
    EXPECT_NEAR(f.boundRadius, std::sqrt(1.5f * 1.5f + 16.0f), 0.03f);

    // A white-only object has no colours to send.
    CreateCube(2, 2);
    EXPECT_FALSE(Mesh(2).hasColours);

    // Degenerate input: nothing but NaN and infinities finishes, bounds finite
    // or NaN, never an out-of-range conversion; it draws without harm.
    const double nan = std::nan(""), inf = HUGE_VAL;
    StartObject(3);
    AddVertex(nan, 0, -5, 0, 0, 0xFFFFFF);
    AddVertex(1, inf, -5, 0, 0, 0xFFFFFF);
    AddVertex(-inf, 1, nan, 0, 0, 0xFFFFFF);
    AddVertex(1, 1, -5, 0, 0, 0xFFFFFF);
    FinishObject();
    EXPECT_EQ(Mesh(3).frames[0].corners.size(), 5u);
    DrawObjectFrame(3, 0);
    // A frame of markers only keeps scale 1, offset 0.
    StartObject(4);
    for (int i = 0; i < 3; ++i) NewStrip();
    FinishObject();
    EXPECT_FLOAT_EQ(Mesh(4).frames[0].quantScale[0], 1.0f);
    EXPECT_FLOAT_EQ(Mesh(4).frames[0].quantOffset[0], 0.0f);
    EXPECT_FLOAT_EQ(Mesh(4).frames[0].boundRadius, 0.0f);

    EXPECT_EQ(QuantiseToByte(-3.0f), 0);
    EXPECT_EQ(QuantiseToByte(254.9f), 254);
    EXPECT_EQ(QuantiseToByte(1e30f), 255);
    EXPECT_EQ(QuantiseToByte(std::nanf("")), 0);
}

TEST_F(Gfx3dTest, NormalTableAndNormals) {
    struct Entry { int index; float x, y, z; };
    for (const Entry& e : {Entry{0, -0.525731f, 0, 0.850651f}, Entry{161, -0.688191f, -0.587785f, -0.425325f},
                           Entry{5, 0, 0, 1}, Entry{32, 0, 1, 0}, Entry{52, 1, 0, 0}}) {
        EXPECT_FLOAT_EQ(kNormalTable[e.index][0], e.x) << e.index;
        EXPECT_FLOAT_EQ(kNormalTable[e.index][1], e.y) << e.index;
        EXPECT_FLOAT_EQ(kNormalTable[e.index][2], e.z) << e.index;
        const float n[3] = {e.x, e.y, e.z};
        EXPECT_EQ(NearestNormalIndex(n), e.index);
    }
    const float zero[3] = {0, 0, 0};
    EXPECT_EQ(NearestNormalIndex(zero), 161) << "all entries tie; the last wins";

    // A box as a triangle list: faceted normals are one axis per face, smooth ones
    // lean across the edges.
    const auto buildListBox = [] {
        StartObject(1);
        AddVertex(0, 0, 0, 0, 0, -1);
        const int face[6][4][3] = {
            {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},     {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
            {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},     {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
            {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}};
        for (const auto& q : face)
            for (int i : {0, 1, 2, 0, 2, 3}) AddVertex(q[i][0], q[i][1], q[i][2], 0, 0, 0xFFFFFF);
        FinishObject();
    };
    for (int mode : {1, 2, -1}) {
        SetSmoothingMode(mode);
        buildListBox();
        const auto t = Triangles(Mesh(1), 0);
        ASSERT_EQ(t.size(), 36u);
        for (std::size_t i = 0; i < t.size(); ++i) {
            const float* n = t[i].normal;
            const float longest = std::max({std::fabs(n[0]), std::fabs(n[1]), std::fabs(n[2])});
            if (mode == 1) {
                EXPECT_FLOAT_EQ(longest, 1.0f) << i;
                EXPECT_EQ(std::memcmp(n, t[i - i % 6].normal, 12), 0) << "one normal per face " << i;
                const float* p = t[i].position;
                EXPECT_GT(n[0] * p[0] + n[1] * p[1] + n[2] * p[2], 0.9f) << "outward " << i;
            } else if (mode == 2) {
                EXPECT_LT(longest, 0.9f) << i;
            } else {
                EXPECT_EQ(t[i].normal[0], kNormalTable[161][0]) << "kept (none given)";
            }
        }
    }
}

TEST_F(Gfx3dTest, CubeIsClosed) {
    CreateCube(7, 2);
    const corvane::Mesh& m = Mesh(7);
    const auto t = Triangles(m, 0);
    ASSERT_EQ(t.size(), 36u);
    EXPECT_EQ(m.colours, (std::vector<std::uint32_t>{kMarkerStrip, 0xFFFFFF}));
    // Every directed edge once, and its reverse once: closed and consistently wound.
    std::map<std::pair<std::vector<float>, std::vector<float>>, int> edges;
    std::set<std::vector<float>> corners;
    for (std::size_t i = 0; i < t.size(); i += 3) {
        float centroid[3] = {0, 0, 0}, n[3];
        const float* p[3] = {t[i].position, t[i + 1].position, t[i + 2].position};
        for (int k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a) {
                EXPECT_FLOAT_EQ(std::fabs(p[k][a]), 1.0f);
                centroid[a] += p[k][a];
            }
            corners.insert({p[k][0], p[k][1], p[k][2]});
            ++edges[{{p[k][0], p[k][1], p[k][2]}, {p[(k + 1) % 3][0], p[(k + 1) % 3][1], p[(k + 1) % 3][2]}}];
        }
        const float u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        n[0] = u[1] * v[2] - u[2] * v[1], n[1] = u[2] * v[0] - u[0] * v[2], n[2] = u[0] * v[1] - u[1] * v[0];
        EXPECT_GT(n[0] * centroid[0] + n[1] * centroid[1] + n[2] * centroid[2], 0) << "outward, triangle " << i / 3;
    }
    EXPECT_EQ(corners.size(), 8u);
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
    }
}

TEST_F(Gfx3dTest, SlotsAndConstruction) {
    // Slots outside the table: nothing built, nothing under construction.
    for (double slot : {-1.0, 4096.0, std::nan(""), 1e300}) {
        StartObject(slot);
        EXPECT_EQ(TheScene().constructionSlot, -1) << slot;
        AddVertex(0, 0, 0, 0, 0, 0);
        FinishObject();
        CreateCube(slot, 2);
        DrawObjectFrame(slot, 0);
        DrawObject(slot, 0, 1, 0.5, 1);
    }
    EXPECT_EQ(ObjectSlotAt(TheScene(), 4095.0), &TheScene().slots[4095]);

    // Replacing the slot under construction ends the construction.
    StartObject(5);
    AddVertex(0, 0, 0, 0, 0, 0xFFFFFF);
    CreateCube(5, 2);
    AddVertex(9, 9, 9, 0, 0, 0xFFFFFF);
    NewStrip();
    FinishObject();
    EXPECT_EQ(Triangles(Mesh(5), 0).size(), 36u);
    StartObject(6);
    AddVertex(0, 0, 0, 0, 0, 0xFFFFFF);
    ReleaseSlot(TheScene(), 6);
    AddVertex(0, 0, 0, 0, 0, 0xFFFFFF);
    FinishObject();
    EXPECT_TRUE(TheScene().slots[6].meshes.empty());
    EXPECT_FALSE(TheScene().slots[6].loaded);

    // Smoothing mode is the truncating remainder.
    for (const auto& [given, stored] : {std::pair{5.0, 2}, {-1.0, -1}, {-4.9, -1}, {3.0, 0}}) {
        SetSmoothingMode(given);
        EXPECT_EQ(TheScene().smoothingMode, stored) << given;
    }
}

TEST_F(Gfx3dTest, FrameChoice) {
    struct Case { int frames; double first, second, weight; bool animate; int a, b; float w; };
    const Case cases[] = {
        {3, 5, 0, 0, false, 2, 0, 0},        // beyond the last frame: the last
        {5, 0, 4, 0.625, true, 2, 3, 0.5f},  // halfway between 2 and 3
        {5, 0, 4, 0.5, true, 2, 2, 0},       // a whole position is that frame
        {5, 0, 4, 1.5, true, 2, 2, 0},       // the weight wraps
        {5, 4, 0, 0.5, true, 2, 2, 0},       // backwards, whole
        {5, 4, 0, 0.625, true, 2, 1, 0.5f},  // backwards, between 1 and 2
        {5, 0, 4, 1.0, true, 4, 4, 0},       // exactly 1 is the end
        {5, 1, 3, 0.25, false, 1, 3, 0.25f}, // without animation the weight is used as given
        {5, -7, 1e300, std::nan(""), true, 0, 0, 0},
        {5, 2, 2, 0.3, true, 2, 2, 0},
        {5, 0, 4, -0.125, true, 0, 1, 1.5f}, // a negative weight stays negative
    };
    for (const Case& c : cases) {
        const FrameChoice got = ChooseFrames(c.frames, c.first, c.second, c.weight, c.animate);
        EXPECT_EQ(got.a, c.a) << c.first << " " << c.second << " " << c.weight;
        EXPECT_EQ(got.b, c.b) << c.first << " " << c.second << " " << c.weight;
        EXPECT_NEAR(got.weight, c.w, 1e-6) << c.first << " " << c.second << " " << c.weight;
    }
    for (float x : {1.0f, 2.0f, 100.0f, 0.25f})
        EXPECT_NEAR(FastSqrt(x), std::sqrt(x), 0.07f * std::sqrt(x)) << x;
}

} // namespace
} // namespace gfx3d_test
