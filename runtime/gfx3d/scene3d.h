// Scene3D: the 3D subsystem's record (camera, transform stack, fog and lights, the
// effect light) and its 4096 object slots with their meshes. Only gfx3d/ (and the
// tests) reach it; its operations are in runtime/gfx3d/gfx3d_internal.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// One vertex as drawn: the same 88-byte layout in every array and GL buffer.
struct MeshVertex {
    float position[3];
    float normal[3];
    float texCoord[2];
    float lightColour[3];      // bump-mapping light vector
    float tangent[3];
    float binormal[3];         // in cel shading, [0] and [1] are the toon coordinates (s, t)
    std::uint32_t packedColour; // 0xBBGGRR or a primitive marker
    std::uint32_t colourIndex; // into the mesh's colour list
    float colour[3];           // r, g, b in 0..1
};
static_assert(sizeof(MeshVertex) == 88);
static_assert(offsetof(MeshVertex, normal) == 12 && offsetof(MeshVertex, texCoord) == 24);
static_assert(offsetof(MeshVertex, lightColour) == 32 && offsetof(MeshVertex, tangent) == 44);
static_assert(offsetof(MeshVertex, binormal) == 56 && offsetof(MeshVertex, packedColour) == 68);
static_assert(offsetof(MeshVertex, colourIndex) == 72 && offsetof(MeshVertex, colour) == 76);

// Primitive markers: a vertex (or colour entry) with one of these switches the
// primitive type of the vertices that follow.
constexpr std::uint32_t kMarkerList = 0xFFFFFFFFu;
constexpr std::uint32_t kMarkerStrip = 0xFFFFFFFEu;
constexpr std::uint32_t kMarkerFan = 0xFFFFFFFDu;
inline bool IsMarker(std::uint32_t c) { return c >= kMarkerFan; }
inline bool IsNoColour(std::uint32_t c) { return c > 0xFFFFFFFBu; } // decodes as white

// A compact vertex: quantised position, table indices, colour index.
struct MeshCorner {
    std::uint8_t x, y, z;
    std::uint8_t normalIndex, tangentIndex, binormalIndex;
    std::uint32_t colourIndex;
};

struct MeshFrame {
    std::vector<MeshVertex> rawVertices; // given while building, consumed by finishing
    std::vector<MeshCorner> corners;     // the compact vertex stream
    // Set only for a frame whose primitives differ from frame 0's: its own
    // corner order of triangle vertices (see MeshObject::triangleCorners).
    bool ownLayout = false;
    std::vector<std::uint32_t> ownTriangleCorners;
    float quantOffset[3] = {0, 0, 0};
    float quantScale[3] = {1, 1, 1};
    float boundRadius = 0;
    float boundCentre[3] = {0, 0, 0};
};

class MeshObject {
public:
    MeshObject() = default;
    MeshObject(MeshObject&&) = default;
    MeshObject& operator=(MeshObject&&) = default;
    virtual ~MeshObject() = default;
    virtual void ExpandFrames() {}

    std::vector<MeshFrame> frames;            // keyframes; frame 0 is the base pose
    std::vector<MeshVertex> renderVertices;   // working copy of an effect or client-memory draw
    // Corner number of each triangle vertex (3 a triangle), shared by the frames
    // that have frame 0's primitives; vertices are decoded from the corners.
    std::vector<std::uint32_t> triangleCorners;
    bool framesExpanded = false;              // triangleCorners matches the corners
    // Corner positions (x, y, z) of the frame collision tested last, decoded once
    // for the queries that follow; dropped when the frames are expanded again.
    mutable std::vector<float> collisionPositions;
    mutable std::size_t collisionFrame = SIZE_MAX;
    std::vector<float> uList, vList;          // texture coordinates by corner number
    std::vector<std::uint32_t> colours;       // packed colours and markers by colour index
    bool normalsDone = false;
};

struct EdgeNeighbour {
    std::int32_t neighbour = -1;              // triangle across this corner's edge, -1 none
    bool silhouette = false;
};

class Mesh : public MeshObject {
public:
    Mesh() = default;
    Mesh(Mesh&&) = default;
    Mesh& operator=(Mesh&&) = default;
    void ExpandFrames() override;             // corners into triangles, V flipped, for every frame (gfx3d)

    unsigned int staticBuffer = 0;            // frame 0's triangles, uploaded once
    unsigned int streamBuffer = 0;            // renderVertices, uploaded per draw
    bool hasColours = false;                  // some colour is neither white nor a marker
    unsigned int toonTexture = 0;             // cel-shading ramp, made on first use
    float toonRowStep = 0;
    std::vector<EdgeNeighbour> edgeNeighbours; // one per triangle corner (shadow volumes)
    std::vector<std::uint8_t> faceLit;         // one per triangle: faces the effect light
    unsigned int shadowBuffer = 0;            // the last unblended shadow volume, kept while pose and light stay
    std::size_t shadowVertices = 0;           // vertices in shadowBuffer
    std::uint64_t shadowKey = 0;              // what shadowBuffer was built from; 0 none

    std::size_t streamBufferBytes = 0;        // size the stream buffer was specified with
    std::vector<std::uint32_t> toonColours;   // the colour list the toon texture was made from
};

struct ObjectSlot {
    bool loaded = false;                      // holds a finished object
    std::vector<Mesh> meshes;
};

struct TransformLevel {
    std::int32_t rotationCount = 0;
    float rotations[16][4] = {};              // (angle in degrees, x, y, z) in the order given
    float scale[3] = {1, 1, 1};
    float translation[3] = {0, 0, 0};
};

class Scene3D {
public:
    static constexpr int kSlotCount = 4096;
    static constexpr int kTransformLevels = 16;

    Scene3D() = default;
    ~Scene3D() = default;          // frees the meshes' memory; their GL names went with the context

    ObjectSlot slots[kSlotCount];
    bool shadowPassActive = false;
    signed char cullMode = 0;                 // -1, 0, +1
    TransformLevel transformLevels[kTransformLevels];
    std::int32_t transformDepth = 0;          // index of the top level
    float cameraMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // modelview after the camera
    float textureOffset[2] = {0, 0};
    std::uint8_t lightMask = 0;               // bit n: GL light n on
    bool effectEnabled = false;
    std::uint8_t effectMode = 0;              // 1 bump mapping, 2 cel shading, 3 stencil shadows
    float effectLightPosition[3] = {0, 0, 0};
    float effectLightColour[3] = {0, 0, 0};
    float cameraUp[3] = {0, 1, 0};
    float cameraPosition[3] = {0, 0, 0};
    float cameraTarget[3] = {0, 0, -1};
    float cullConeFactor = 0;                 // tangent of the culling cone's half angle
    float nearClip = 0, farClip = 0;
    std::int32_t smoothingMode = 2;           // 0 keep, 1 faceted, 2 smooth

    int constructionSlot = -1;                // the object under construction, -1 none
};

Scene3D& TheScene();                          // the one scene

} // namespace corvane
