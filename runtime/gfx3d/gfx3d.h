// 3D graphics: the scene (3D mode, camera, transform stack, culling, fog,
// lights), objects built from vertices and drawn with keyframes, and the 3D
// debug primitives.
//
// Object slots: 0..4095; a slot outside the table is ignored (nothing built or
// drawn, results 0). Colours: 0xBBGGRR. Angles in degrees.
//
// 3D effects: SetLight with a negative light number sets the effect light, which
// changes how the objects drawn after it look; its position is (x, y, z), its colour
// the colour, and a cone of 0 turns the effect off again (any other cone turns it on).
// -1 bump mapping: an object textured with a LoadBumpTexture normal map is lit per
// pixel from the effect light. -2 (and any other negative number but -1 and -3) cel
// shading: objects are lit in a few hard bands of their own colours. -3 stencil
// shadow: opens the shadow pass, and every object drawn while it is open casts a
// shadow away from the light; SetLight(-3, ..., 0) or the next PresentFrame closes
// the pass and darkens what lies in the shadows.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/engine/engine.h"
#include "runtime/gfx3d/scene3d.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- scene
void Start3DMode(double nearClip, double farClip, double fov); // projection (fov <= 0: orthographic) and the default 3D state
void PlaceCamera(double x, double y, double z, double targetX, double targetY, double targetZ); // look-at camera
void SetCameraUp(double x, double y, double z);              // up vector for the next PlaceCamera
void SetCullMode(double mode);                               // 0 off, > 0 clockwise front faces, < 0 counter-clockwise
void SetFog(double colour, double exponential, double start, double end); // colour -1: off; start = end = 0: the clip distances
void SetLight(double number, double colour, double x, double y, double z, double dirX, double dirY, double dirZ,
              double cone);                                  // light 0..7 (number & 7); cone 0 off, 180 directional, > 90 point, else spot; a negative number is the effect light: -1 bump, -2 cel, -3 shadow (see 3D effects)
void SetHeadLight(double number, double colour);             // a light from the viewer's direction
void ClearDepthBuffer();                                     // depth buffer only

// ---------------------------------------------------------------- object transform stack
void MoveTransform(double x, double y, double z);            // top level: translation, rotations cleared
void ScaleTransform(double x, double y, double z);           // top level: scale, rotations cleared
void RotateTransform(double angle, double x, double y, double z); // top level: appends a rotation (at most 16)
void PushTransform();                                        // a fresh level on top (at most 16 levels)
double PopTransform();                                       // drops the top level above 0; the new depth
void SetTextureOffset3D(double u, double v);                 // added to texture coordinates when objects are drawn

// ---------------------------------------------------------------- objects
void StartObject(double slot);                               // empties the slot and starts building it (a strip)
void AddVertex(double x, double y, double z, double u, double v, double colour); // colour -1/-2/-3: list/strip/fan marker
void NewStrip();                                             // the following vertices start a new strip
void FinishObject();                                         // compacts, computes normals, expands the object
void CreateCube(double slot, double size);                   // closed white cube centred on the origin
void SetSmoothingMode(double mode);                          // remainder 3: 0 keep normals, 1 faceted, 2 smooth
double LoadObject(const RtString& file, double slot);        // a model file (the binary model corvane-model writes, or MSHA text) into the slot; 1 or 0 (slot kept when unresolved)
double SaveObject(const RtString& file, double slot);        // the slot's first mesh as a binary model file; 1 or 0 (nothing written)

// ---------------------------------------------------------------- drawing
void DrawObject(double slot, double first, double second, double weight, double animate); // a keyframe or a blend of two
void DrawObjectFrame(double slot, double frame);             // one keyframe
void DrawLine3D(double x1, double y1, double z1, double x2, double y2, double z2, double width, double colour); // width 1..512
void DrawPoint3D(double x, double y, double z, double size, double colour); // size 1..512
void DrawAxes3D(double x, double y, double z);               // red x, green y, blue z arrows of length 20

// ---------------------------------------------------------------- collision and picking
double CollideSphere(double slot, double frame, double radius, double x, double y, double z); // 1 when the sphere touches a triangle of the frame
double CollideBox(double slot, double frame, double x, double y, double z, double width, double height); // 1 when the box (width x height x width) overlaps a triangle
double CollideRay(double slot, double frame, double x, double y, double z, double dirX, double dirY, double dirZ); // distance to the nearest hit in front, else the nearest behind (negative); 0 none
void ProjectToScreen(double x, double y, double z, double& outX, double& outY, double& outZ); // world point to window position and depth; unchanged when impossible
void ScreenToWorld(double screenX, double screenY, double depth, double& outX, double& outY, double& outZ); // window position and depth (0 near, 1 far) to world; unchanged when impossible

// ---------------------------------------------------------------- internal: scene
void ApplyTransformStack(const Scene3D& scene);           // levels 0..depth onto the current GL matrix
void PlacementMatrix(const Scene3D& scene, float out[16]); // the same product from the identity, on the CPU
void RigidInverse(const float m[16], float out[16]);         // inverse ignoring scale: normalised columns transposed, -R^T t
void AffineInverse(const float m[16], float out[16]);        // full inverse, scale included (RigidInverse when singular)
void TransformPoint(const float m[16], const float p[3], float out[3]); // m * (p, 1), column-major
void SetCullModeInternal(int mode);                          // GL culling for -1, 0, +1 (scene mode untouched)

// ---------------------------------------------------------------- internal: objects
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

// ---------------------------------------------------------------- internal: drawing
struct FrameChoice {
    int a = 0, b = 0;                                        // frames A and B, clamped to the frame count
    float weight = 0;                                        // pose = B + (A - B) * weight; 0: frame A as it is
};
FrameChoice ChooseFrames(int frameCount, double first, double second, double weight, bool animate);
float FastSqrt(float x);                                     // float bits halved plus 0x1FC00000
bool InViewCone(const Scene3D& scene, const float placement[16], const MeshFrame& frame); // drawn or skipped

// ---------------------------------------------------------------- internal: effects
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
