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

#include "runtime/engine/engine.h"
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

} // namespace corvane
