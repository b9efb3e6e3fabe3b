// Collision and picking inside the 3D subsystem: shape tests of one frame in
// the object's own space, and the 4 x 4 inverse of the screen conversions.
// Pure functions over the mesh records (no GL); the commands are in gfx3d.h.
#pragma once

#include <cstddef>

#include "runtime/gfx3d/scene3d.h"

namespace corvane {

// Each test rejects by the frame's bounding sphere first unless boundFirst is
// false (then every triangle is tested: the brute-force baseline).
bool SphereTouchesFrame(const MeshObject& mesh, const MeshFrame& frame, const double centre[3], double radius,
                        bool boundFirst = true);
bool BoxTouchesFrame(const MeshObject& mesh, const MeshFrame& frame, const double centre[3],
                     const double halfAxes[3][3], bool boundFirst = true); // halfAxes: x, z, y half-size vectors
double RayHitsFrame(const MeshObject& mesh, const MeshFrame& frame, const double origin[3],
                    const double unitDirection[3], bool boundFirst = true); // nearest t in front, else nearest behind; 0 none
// The same tests over count expanded vertices (3 a triangle), bounded by bound's sphere.
bool SphereTouchesVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound,
                           const double centre[3], double radius);
bool BoxTouchesVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound,
                        const double centre[3], const double halfAxes[3][3]);
double RayHitsVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound, const double origin[3],
                       const double unitDirection[3]);
double NearerRayHit(double best, double t);                  // combines two results by the in-front-first rule
bool InvertMatrix4(const double m[16], double out[16]);      // general inverse (column-major); false when singular

} // namespace corvane
