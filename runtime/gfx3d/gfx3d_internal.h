// 3D plumbing: the transform products, object slots and mesh finishing, keyframe
// blending and the effects (bump, cel, stencil shadows). gfx3d/, the frame step, the
// tests and the benchmarks use these; programs see only gfx3d.h, which is installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/gfx3d/gfx3d.h"
#include "runtime/gfx3d/scene3d.h"

namespace corvane {

// ---------------------------------------------------------------- scene
void ApplyTransformStack(const Scene3D& scene);           // levels 0..depth onto the current GL matrix
void PlacementMatrix(const Scene3D& scene, float out[16]); // the same product from the identity, on the CPU
void RigidInverse(const float m[16], float out[16]);         // inverse ignoring scale: normalised columns transposed, -R^T t
void AffineInverse(const float m[16], float out[16]);        // full inverse, scale included (RigidInverse when singular)
void TransformPoint(const float m[16], const float p[3], float out[3]); // m * (p, 1), column-major
void SetCullModeInternal(int mode);                          // GL culling for -1, 0, +1 (scene mode untouched)

// ---------------------------------------------------------------- objects
constexpr int kNormalCount = 162;
extern const float kNormalTable[kNormalCount][3];            // the MD2 format's unit normals
ObjectSlot* ObjectSlotAt(Scene3D& scene, double slot);    // null outside 0..4095 (and NaN)
void ReleaseMesh(Mesh& mesh); // GL names (while glReady), derived data, arrays
void DropDerivedData(Mesh& mesh); // buffers, toon texture, adjacency
void ReleaseSlot(Scene3D& scene, int slot);               // every mesh freed, not loaded; ends its construction
void ReleaseAllObjectSlots(Scene3D& scene);               // at process exit, before the renderer
int  NearestNormalIndex(const float n[3]);                   // table entry with the smallest |1 - n.t|, later wins ties
std::uint8_t QuantiseToByte(float value);                    // truncated, saturated to 0..255, NaN as 0
void CompactFrames(MeshObject& mesh);                        // raw vertices into quantised corners
void CompactFrame(MeshObject& mesh, MeshFrame& frame, bool firstFrame); // one frame; the first one's texture coordinates join the lists
bool ComputeNormals(MeshObject& mesh, bool smooth, bool tangents = false); // faceted or smooth normals (once per geometry), tangents from u, v; true when the corners changed
void DecodeCorner(const MeshObject& mesh, const MeshFrame& frame, std::size_t corner, MeshVertex* out); // corner to vertex
void ComputeBoundingSpheres(MeshObject& mesh);               // centre = mean of the triangle positions
void FinishMesh(Scene3D& scene, ObjectSlot& slot);        // finishing of every mesh of a slot

// ---------------------------------------------------------------- drawing
struct FrameChoice {
    int a = 0, b = 0;                                        // frames A and B, clamped to the frame count
    float weight = 0;                                        // pose = B + (A - B) * weight; 0: frame A as it is
};
FrameChoice ChooseFrames(int frameCount, double first, double second, double weight, bool animate);
float FastSqrt(float x);                                     // float bits halved plus 0x1FC00000
bool InViewCone(const Scene3D& scene, const float placement[16], const MeshFrame& frame); // drawn or skipped

// ---------------------------------------------------------------- effects
void InitScene3D();                                          // start-up: the shadow pass joins the upward table (2D ends it too)
void SetShadowPass(bool on);                                 // opens or closes the stencil pass; nothing when unchanged
void SelectEffectLight(int number, double colour, double x, double y, double z, double cone); // SetLight with a negative number
bool TangentsMissing(const MeshObject& mesh);                // first vertex corner has tangent and binormal index 0
bool PrepareEffect(Scene3D& scene, Mesh& mesh, bool multitexture); // normals, tangents, toon texture, adjacency
void MakeToonTexture(Mesh& mesh);                     // the cel ramp, one row per colour; remade when the colours change
std::vector<unsigned char> ToonTexels(const std::vector<std::uint32_t>& colours, std::size_t height); // RGBA, 16 wide
void FillEffectVertices(const Scene3D& scene, const Mesh& mesh, const MeshFrame& frameA, const MeshFrame& frameB,
                        float a, const float placement[16], std::vector<MeshVertex>& out); // blend plus light vector or toon coordinates
void SetUpEffectTexturing(const Scene3D& scene, const Mesh& mesh, const void* base, int stride); // DOT3 or toon units
void RestoreEffectTexturing(const Scene3D& scene);        // modulate on both units, BindSlot's textures, unit 0 active
void BuildEdgeNeighbours(const MeshVertex* corners, std::size_t count, std::vector<EdgeNeighbour>& out); // welded within 1e-5
void MarkLitFaces(const MeshVertex* corners, std::size_t count, const float light[3], std::vector<EdgeNeighbour>& edges,
                  std::vector<std::uint8_t>& faceLit);        // facing the light, silhouette edges
void BuildShadowVolume(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                       const std::vector<std::uint8_t>& faceLit, const float light[3], std::vector<float>& out); // x, y, z, w triangles
void DrawShadowVolume(Scene3D& scene, Mesh& mesh, const MeshFrame& frameA, const MeshFrame& frameB, float a,
                      const float placement[16]);            // two stencil passes; nothing outside the pass

} // namespace corvane
