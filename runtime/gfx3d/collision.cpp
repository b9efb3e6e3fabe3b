// Collision and picking: spheres, boxes and rays against the triangles of an
// object as it is placed, and conversions between world and screen.
//
// Shapes go into the object's space through the placement's inverse without
// scale, so they keep their size there. The placement is built on the CPU in
// the transform stack's order; the GL matrices are never read back for it.
#include "runtime/gfx3d/collision.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"

namespace corvane {

namespace {

struct V3 {
    double x, y, z;
};
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
inline double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline V3 Of(const double p[3]) { return {p[0], p[1], p[2]}; }
inline V3 Of(const float p[3]) { return {p[0], p[1], p[2]}; }

// The frame's corner positions as drawing decodes them, kept on the mesh for
// the next query of the same frame (collision usually asks one frame many times).
const float* CollisionPositions(const MeshObject& mesh, const MeshFrame& frame) {
    const auto at = reinterpret_cast<std::uintptr_t>(&frame), first = reinterpret_cast<std::uintptr_t>(mesh.frames.data());
    const std::size_t index = at >= first ? (at - first) / sizeof(MeshFrame) : SIZE_MAX;
    const bool own = index < mesh.frames.size() && &mesh.frames[index] == &frame;
    static thread_local std::vector<float> loose; // a frame of no mesh's: decoded every time
    std::vector<float>& out = own ? mesh.collisionPositions : loose;
    if (own && mesh.collisionFrame == index && out.size() == frame.corners.size() * 3) return out.data();
    out.resize(frame.corners.size() * 3);
    for (std::size_t k = 0; k < frame.corners.size(); ++k) CornerPosition(frame, frame.corners[k], &out[k * 3]);
    if (own) mesh.collisionFrame = index;
    return out.data();
}

// Triangle vertex positions of a frame through its triangle order.
struct FramePoints {
    const float* positions;
    const std::uint32_t* layout;
    std::size_t triangles;
    FramePoints(const MeshObject& mesh, const MeshFrame& f)
        : positions(CollisionPositions(mesh, f)), layout(TriangleCorners(mesh, f).data()),
          triangles(TriangleCorners(mesh, f).size() / 3) {}
    V3 operator[](std::size_t k) const { return Of(positions + std::size_t(layout[k]) * 3); }
};

// Positions of an array of expanded vertices.
struct VertexPoints {
    const MeshVertex* vertices;
    std::size_t triangles;
    V3 operator[](std::size_t k) const { return Of(vertices[k].position); }
};

double ClampedAcos(double c) { return std::acos(std::clamp(c, -1.0, 1.0)); }

// Length for the angle rule: a very short vector counts as none.
double RuleLength(V3 v) {
    const double sq = Dot(v, v);
    return sq <= 1e-7 ? 0.0 : std::sqrt(sq);
}

double AngleBetween(V3 a, double la, V3 b, double lb) {
    const double product = la * lb;
    if (product <= 1e-8) return 0.0;
    return ClampedAcos(Dot(a, b) / product);
}

double SegmentDistanceSquared(V3 p, V3 a, V3 b) {
    const V3 ab = b - a;
    const double len = Dot(ab, ab);
    double t = len > 0 ? Dot(p - a, ab) / len : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const V3 d = p - (a + ab * t);
    return Dot(d, d);
}

// The triangle tests are inlined into the frame loops: a call per triangle, with
// its points passed on the stack, costs about as much as the test.
[[gnu::always_inline]] inline bool SphereTouchesTriangle(V3 c, double radius, V3 a, V3 b, V3 d) {
    V3 n = Cross(b - a, d - a);
    const double length = std::sqrt(Dot(n, n));
    if (!(length > 0)) return false;
    n = n * (1.0 / length);
    const double s = Dot(n, c) - Dot(n, a);
    if (!(std::fabs(s) < radius)) return false;
    const V3 q = c - n * s;
    const V3 qa = a - q, qb = b - q, qd = d - q;
    const double la = RuleLength(qa), lb = RuleLength(qb), ld = RuleLength(qd);
    const double sum = AngleBetween(qa, la, qb, lb) + AngleBetween(qb, lb, qd, ld) + AngleBetween(qd, ld, qa, la);
    if (sum >= 6.220353514028915) return true; // 0.99 of a full turn: inside
    const double r2 = radius * radius;
    return SegmentDistanceSquared(c, a, b) < r2 || SegmentDistanceSquared(c, b, d) < r2 ||
           SegmentDistanceSquared(c, d, a) < r2;
}

// Separating-axis test on one axis; touching intervals overlap.
bool Separates(V3 axis, V3 centre, const V3 half[3], V3 a, V3 b, V3 c) {
    const double r = std::fabs(Dot(half[0], axis)) + std::fabs(Dot(half[1], axis)) + std::fabs(Dot(half[2], axis));
    const double m = Dot(centre, axis);
    const double pa = Dot(a, axis), pb = Dot(b, axis), pc = Dot(c, axis);
    const double lo = std::min({pa, pb, pc}), hi = std::max({pa, pb, pc});
    return lo > m + r || hi < m - r;
}

[[gnu::always_inline]] inline bool BoxTouchesTriangle(V3 centre, const V3 half[3], V3 a, V3 b, V3 c) {
    for (int i = 0; i < 3; ++i)
        if (Separates(half[i], centre, half, a, b, c)) return false;
    const V3 edges[3] = {b - a, c - b, a - c};
    if (Separates(Cross(edges[0], edges[1]), centre, half, a, b, c)) return false;
    for (int i = 0; i < 3; ++i)
        for (const V3& edge : edges)
            if (Separates(Cross(half[i], edge), centre, half, a, b, c)) return false;
    return true;
}

// Ray t of one triangle; 0 when it is not hit.
[[gnu::always_inline]] inline double RayTriangle(V3 o, V3 dir, V3 a, V3 b, V3 c) {
    const V3 u = b - a, v = c - a;
    const V3 n = Cross(u, v);
    const double nd = Dot(n, dir);
    if ((n.x == 0 && n.y == 0 && n.z == 0) || nd == 0) return 0.0;
    const double t = -Dot(n, o - a) / nd;
    const V3 w = o + dir * t - a;
    const double uu = Dot(u, u), uv = Dot(u, v), vv = Dot(v, v), wu = Dot(w, u), wv = Dot(w, v);
    const double den = uv * uv - uu * vv;
    const double s = (uv * wv - vv * wu) / den;
    const double r = (uv * wu - uu * wv) / den;
    if (s >= 0 && s <= 1 && r >= 0 && s + r <= 1) return t;
    return 0.0;
}

struct Placement {
    float inverse[16];
};

Placement ObjectPlacement(const Scene3D& scene) {
    float m[16];
    PlacementMatrix(scene, m);
    Placement p;
    RigidInverse(m, p.inverse);
    return p;
}

V3 ToObject(const Placement& p, double x, double y, double z) {
    const float in[3] = {float(x), float(y), float(z)};
    float out[3];
    TransformPoint(p.inverse, in, out);
    return Of(out);
}

// The frame of a mesh that a test reads; null for a frame out of range.
const MeshFrame* TestedFrame(const Mesh& mesh, double frame) {
    if (!(frame > -1.0)) return nullptr; // negative and NaN
    const int f = ToInt(frame);
    if (std::size_t(f) >= mesh.frames.size()) return nullptr;
    return &mesh.frames[std::size_t(f)];
}

// ---------------------------------------------------------------- debug drawing

constexpr double kGreen = 0x00FF00, kRed = 0x0000FF, kYellow = 0x00FFFF;

void DrawLine(V3 a, V3 b, double width, double colour) { DrawLine3D(a.x, a.y, a.z, b.x, b.y, b.z, width, colour); }

// An icosahedron split once, its corners on the sphere, as outlined triangles.
void DrawWireSphere(V3 centre, double radius, bool hit) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    const V3 corners[12] = {{-1, t, 0}, {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                            {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    static const int kFaces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                      {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                      {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                      {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    const auto unit = [](V3 v) { return v * (1.0 / std::sqrt(Dot(v, v))); };
    const double width = hit ? 1 : 5, colour = hit ? kRed : kGreen;
    for (const auto& f : kFaces) {
        const V3 a = unit(corners[f[0]]), b = unit(corners[f[1]]), c = unit(corners[f[2]]);
        const V3 ab = unit(a + b), bc = unit(b + c), ca = unit(c + a);
        const V3 parts[4][3] = {{a, ab, ca}, {ab, b, bc}, {ca, bc, c}, {ab, bc, ca}};
        for (const auto& p : parts)
            for (int i = 0; i < 3; ++i)
                DrawLine(centre + p[i] * radius, centre + p[(i + 1) % 3] * radius, width, colour);
    }
}

void DrawWireBox(V3 centre, V3 hx, V3 hy, V3 hz, bool hit) {
    const double width = hit ? 1 : 5, colour = hit ? kRed : kGreen;
    for (int axis = 0; axis < 3; ++axis) {
        const V3 along = axis == 0 ? hx : axis == 1 ? hy : hz;
        const V3 u = axis == 0 ? hy : hx, v = axis == 2 ? hy : hz;
        for (int su : {-1, 1})
            for (int sv : {-1, 1}) {
                const V3 base = centre + u * su + v * sv;
                DrawLine(base - along, base + along, width, colour);
            }
    }
}

} // namespace

// ---------------------------------------------------------------- frame tests (object space)

namespace {

template <typename Points>
bool SphereTouches(const Points& t, const MeshFrame& bound, const double centreIn[3], double radius, bool boundFirst) {
    if (t.triangles == 0) return false;
    const V3 c = Of(centreIn);
    if (boundFirst) {
        const V3 d = c - Of(bound.boundCentre);
        const double reach = radius + bound.boundRadius;
        if (Dot(d, d) > reach * reach) return false;
        const V3 first = c - t[0];
        if (radius * radius >= Dot(first, first)) return true;
    }
    for (std::size_t i = 0; i < t.triangles * 3; i += 3)
        if (SphereTouchesTriangle(c, radius, t[i], t[i + 1], t[i + 2])) return true;
    return false;
}

template <typename Points>
bool BoxTouches(const Points& t, const MeshFrame& bound, const double centreIn[3], const double halfAxes[3][3],
                bool boundFirst) {
    if (t.triangles == 0) return false;
    const V3 c = Of(centreIn);
    const V3 half[3] = {Of(halfAxes[0]), Of(halfAxes[1]), Of(halfAxes[2])};
    if (boundFirst) {
        const V3 d = c - Of(bound.boundCentre);
        const V3 diagonal = half[0] + half[1] + half[2];
        const double reach = bound.boundRadius + std::sqrt(Dot(diagonal, diagonal));
        if (Dot(d, d) > reach * reach) return false;
    }
    for (std::size_t i = 0; i < t.triangles * 3; i += 3)
        if (BoxTouchesTriangle(c, half, t[i], t[i + 1], t[i + 2])) return true;
    return false;
}

template <typename Points>
double RayHits(const Points& t, const MeshFrame& bound, const double originIn[3], const double directionIn[3],
               bool boundFirst) {
    if (t.triangles == 0) return 0.0;
    const V3 o = Of(originIn), dir = Of(directionIn);
    if (boundFirst) {
        // Hits behind the origin count too, so the whole line must miss the bound.
        const V3 toCentre = Of(bound.boundCentre) - o;
        const V3 off = toCentre - dir * Dot(toCentre, dir);
        const double reach = bound.boundRadius * (1 + 1e-5) + 1e-5;
        if (Dot(dir, dir) > 0.5 && Dot(off, off) > reach * reach) return 0.0;
    }
    double best = 0.0;
    for (std::size_t i = 0; i < t.triangles * 3; i += 3)
        best = NearerRayHit(best, RayTriangle(o, dir, t[i], t[i + 1], t[i + 2]));
    return best;
}

} // namespace

bool SphereTouchesFrame(const MeshObject& mesh, const MeshFrame& frame, const double centre[3], double radius,
                        bool boundFirst) {
    return SphereTouches(FramePoints(mesh, frame), frame, centre, radius, boundFirst);
}

bool BoxTouchesFrame(const MeshObject& mesh, const MeshFrame& frame, const double centre[3],
                     const double halfAxes[3][3], bool boundFirst) {
    return BoxTouches(FramePoints(mesh, frame), frame, centre, halfAxes, boundFirst);
}

double RayHitsFrame(const MeshObject& mesh, const MeshFrame& frame, const double origin[3],
                    const double unitDirection[3], bool boundFirst) {
    return RayHits(FramePoints(mesh, frame), frame, origin, unitDirection, boundFirst);
}

bool SphereTouchesVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound,
                           const double centre[3], double radius) {
    return SphereTouches(VertexPoints{vertices, count / 3}, bound, centre, radius, true);
}

bool BoxTouchesVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound,
                        const double centre[3], const double halfAxes[3][3]) {
    return BoxTouches(VertexPoints{vertices, count / 3}, bound, centre, halfAxes, true);
}

double RayHitsVertices(const MeshVertex* vertices, std::size_t count, const MeshFrame& bound, const double origin[3],
                       const double unitDirection[3]) {
    return RayHits(VertexPoints{vertices, count / 3}, bound, origin, unitDirection, true);
}

double NearerRayHit(double best, double t) {
    if (t == 0) return best;
    if (best == 0) return t;
    if (t > 0) return best < 0 || t < best ? t : best;
    return best < 0 && t > best ? t : best;
}

bool InvertMatrix4(const double m[16], double inv[16]) {
    double r[16];
    r[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    r[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    r[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    r[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    r[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    r[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    r[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    r[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    r[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    r[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    r[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    r[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    r[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    r[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    r[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    r[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    const double det = m[0] * r[0] + m[1] * r[4] + m[2] * r[8] + m[3] * r[12];
    if (det == 0 || !std::isfinite(det)) return false;
    for (int i = 0; i < 16; ++i) inv[i] = r[i] / det;
    return true;
}

// ---------------------------------------------------------------- commands

double CollideSphere(double slotNumber, double frame, double radius, double x, double y, double z) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    bool hit = false;
    if (slot && !slot->meshes.empty()) {
        const Placement p = ObjectPlacement(scene);
        const V3 c = ToObject(p, x, y, z);
        const double centre[3] = {c.x, c.y, c.z};
        for (const Mesh& mesh : slot->meshes) {
            const MeshFrame* f = TestedFrame(mesh, frame);
            if (f && SphereTouchesFrame(mesh, *f, centre, radius)) {
                hit = true;
                break;
            }
        }
    }
    if (DebugMode()) DrawWireSphere({x, y, z}, radius, hit);
    return hit ? 1.0 : 0.0;
}

double CollideBox(double slotNumber, double frame, double x, double y, double z, double width, double height) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    const V3 world[3] = {{width / 2, 0, 0}, {0, 0, width / 2}, {0, height / 2, 0}};
    bool hit = false;
    if (slot && !slot->meshes.empty()) {
        const Placement p = ObjectPlacement(scene);
        const V3 c = ToObject(p, x, y, z);
        const double centre[3] = {c.x, c.y, c.z};
        double half[3][3];
        for (int i = 0; i < 3; ++i) {
            const V3 end = ToObject(p, x + world[i].x, y + world[i].y, z + world[i].z) - c;
            half[i][0] = end.x, half[i][1] = end.y, half[i][2] = end.z;
        }
        for (const Mesh& mesh : slot->meshes) {
            const MeshFrame* f = TestedFrame(mesh, frame);
            if (f && BoxTouchesFrame(mesh, *f, centre, half)) {
                hit = true;
                break;
            }
        }
    }
    if (DebugMode()) DrawWireBox({x, y, z}, world[0], world[2], world[1], hit);
    return hit ? 1.0 : 0.0;
}

double CollideRay(double slotNumber, double frame, double x, double y, double z, double dirX, double dirY, double dirZ) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    V3 dir{dirX, dirY, dirZ};
    const double sq = Dot(dir, dir);
    const bool unit = sq > 1e-7 && std::sqrt(sq) != 0;
    if (unit) dir = dir * (1.0 / std::sqrt(sq));
    double best = 0.0;
    if (slot && !slot->meshes.empty()) {
        const Placement p = ObjectPlacement(scene);
        const V3 o = ToObject(p, x, y, z);
        V3 d = ToObject(p, x + dir.x, y + dir.y, z + dir.z) - o;
        // The transformed direction is a unit vector but for rounding; make it one.
        const double dl = std::sqrt(Dot(d, d));
        if (unit && dl > 0) d = d * (1.0 / dl);
        const double origin[3] = {o.x, o.y, o.z}, direction[3] = {d.x, d.y, d.z};
        for (const Mesh& mesh : slot->meshes)
            if (const MeshFrame* f = TestedFrame(mesh, frame)) best = NearerRayHit(best, RayHitsFrame(mesh, *f, origin, direction));
    }
    if (DebugMode()) {
        const double length = best == 0 ? 1000 : best;
        const double colour = best > 0 ? kGreen : best < 0 ? kYellow : kRed;
        DrawLine({x, y, z}, V3{x, y, z} + dir * length, best != 0 ? 5 : 1, colour);
    }
    return best;
}

void ProjectToScreen(double x, double y, double z, double& outX, double& outY, double& outZ) {
    GLint viewport[4];
    GLdouble projection[16], modelview[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    double eye[4], clip[4];
    const double p[4] = {x, y, z, 1};
    for (int i = 0; i < 4; ++i)
        eye[i] = modelview[i] * p[0] + modelview[4 + i] * p[1] + modelview[8 + i] * p[2] + modelview[12 + i] * p[3];
    for (int i = 0; i < 4; ++i)
        clip[i] = projection[i] * eye[0] + projection[4 + i] * eye[1] + projection[8 + i] * eye[2] + projection[12 + i] * eye[3];
    if (clip[3] == 0) return;
    const double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    // Window coordinates with the origin at the top left, like ScreenToWorld's input.
    outX = viewport[0] + (nx + 1) * viewport[2] / 2;
    outY = SurfaceHeight() - (viewport[1] + viewport[3] * (ny + 1) / 2);
    outZ = (nz + 1) / 2;
}

void ScreenToWorld(double screenX, double screenY, double depth, double& outX, double& outY, double& outZ) {
    GLint viewport[4];
    GLdouble projection[16], modelview[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    if (viewport[2] == 0 || viewport[3] == 0) return;
    double pm[16], inverse[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * modelview[c * 4 + k];
            pm[c * 4 + r] = sum;
        }
    if (!InvertMatrix4(pm, inverse)) return;
    const double y = SurfaceHeight() - 1 - screenY; // GL counts rows from the bottom
    const double n[4] = {(screenX - viewport[0]) / viewport[2] * 2 - 1, (y - viewport[1]) / viewport[3] * 2 - 1,
                         depth * 2 - 1, 1};
    double w[4];
    for (int i = 0; i < 4; ++i) w[i] = inverse[i] * n[0] + inverse[4 + i] * n[1] + inverse[8 + i] * n[2] + inverse[12 + i] * n[3];
    if (w[3] == 0) return;
    outX = w[0] / w[3];
    outY = w[1] / w[3];
    outZ = w[2] / w[3];
}

} // namespace corvane
