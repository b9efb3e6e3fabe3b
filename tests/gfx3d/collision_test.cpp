// Collision and picking: random shapes against a double-precision brute-force
// reference, the boundary cases, projection by hand, and the debug drawing.
#include <array>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/gfx3d/collision.h"
#include "tests/gfx3d/gfx3d_test_support.h"

namespace gfx3d_test {
namespace {

using namespace corvane;
using P = std::array<double, 3>;

P Sub(P a, P b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
P Add(P a, P b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
P Mul(P a, double k) { return {a[0] * k, a[1] * k, a[2] * k}; }
double Dot(P a, P b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
P Cross(P a, P b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
double Len(P a) { return std::sqrt(Dot(a, a)); }

// Closest point of triangle abc to p (regions of the triangle's Voronoi diagram).
P ClosestOnTriangle(P p, P a, P b, P c) {
    const P ab = Sub(b, a), ac = Sub(c, a), ap = Sub(p, a);
    const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    const P bp = Sub(p, b);
    const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return Add(a, Mul(ab, d1 / (d1 - d3)));
    const P cp = Sub(p, c);
    const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return Add(a, Mul(ac, d2 / (d2 - d6)));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) return Add(b, Mul(Sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6))));
    const double denom = 1 / (va + vb + vc);
    return Add(a, Add(Mul(ab, vb * denom), Mul(ac, vc * denom)));
}

// Largest gap between an axis-aligned box and a triangle over the separating
// axes, normalised: > 0 apart, < 0 overlapping by that much at least.
double BoxGap(P centre, P half, P a, P b, P c) {
    std::vector<P> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const P e[3] = {Sub(b, a), Sub(c, b), Sub(a, c)};
    axes.push_back(Cross(e[0], e[1]));
    for (int i = 0; i < 3; ++i)
        for (const P& edge : e) axes.push_back(Cross(axes[std::size_t(i)], edge));
    double gap = -1e300;
    for (P axis : axes) {
        const double l = Len(axis);
        if (l < 1e-12) continue;
        axis = Mul(axis, 1 / l);
        const double r = half[0] * std::fabs(axis[0]) + half[1] * std::fabs(axis[1]) + half[2] * std::fabs(axis[2]);
        const double m = Dot(centre, axis);
        const double lo = std::min({Dot(a, axis), Dot(b, axis), Dot(c, axis)});
        const double hi = std::max({Dot(a, axis), Dot(b, axis), Dot(c, axis)});
        gap = std::max(gap, std::max(lo - (m + r), (m - r) - hi));
    }
    return gap;
}

// Moller-Trumbore: t along the unit direction, with the smallest barycentric
// margin (negative outside) so that grazing rays can be left out.
bool RayTriangle(P o, P d, P a, P b, P c, double* t, double* margin) {
    const P e1 = Sub(b, a), e2 = Sub(c, a), h = Cross(d, e2);
    const double det = Dot(e1, h);
    if (std::fabs(det) < 1e-12) return false;
    const P s = Sub(o, a);
    const double u = Dot(s, h) / det;
    const P q = Cross(s, e1);
    const double v = Dot(d, q) / det;
    *t = Dot(e2, q) / det;
    *margin = std::min({u, v, 1 - u - v});
    return true;
}

// A placement built here in double: level 0 moved and rotated, level 1 pushed,
// moved and rotated (the transform stack's order: translation, then rotation).
struct Pose {
    P move0, axis0, move1, axis1;
    double angle0, angle1;
};

P Rotate(P p, double degrees, P axis) {
    const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
    axis = Mul(axis, 1 / Len(axis));
    return Add(Add(Mul(p, c), Mul(Cross(axis, p), s)), Mul(axis, Dot(axis, p) * (1 - c)));
}
P Place(const Pose& q, P p) { return Add(q.move0, Rotate(Add(q.move1, Rotate(p, q.angle1, q.axis1)), q.angle0, q.axis0)); }

void ApplyPose(const Pose& q) {
    TheScene().transformDepth = 0;
    TheScene().transformLevels[0] = TransformLevel{};
    MoveTransform(q.move0[0], q.move0[1], q.move0[2]);
    RotateTransform(q.angle0, q.axis0[0], q.axis0[1], q.axis0[2]);
    PushTransform();
    MoveTransform(q.move1[0], q.move1[1], q.move1[2]);
    RotateTransform(q.angle1, q.axis1[0], q.axis1[1], q.axis1[2]);
}

class CollisionTest : public Gfx3dTest {
protected:
    void TearDown() override {
        while (TheScene().transformDepth > 0) PopTransform();
        TheScene().transformLevels[0] = TransformLevel{};
        Gfx3dTest::TearDown();
    }
};

TEST_F(CollisionTest, AgreesWithBruteForce) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> unit(-1, 1);
    auto rnd = [&](double k) { return P{unit(rng) * k, unit(rng) * k, unit(rng) * k}; };
    CreateCube(20, 2);
    StartObject(21);
    AddVertex(0, 0, 0, 0, 0, -1);
    for (int i = 0; i < 2000; ++i) {
        const P base = rnd(4);
        for (int k = 0; k < 3; ++k) {
            const P p = Add(base, rnd(1));
            AddVertex(p[0], p[1], p[2], 0, 0, 0xFFFFFF);
        }
    }
    FinishObject();
    ASSERT_EQ(Triangles(TheScene().slots[21].meshes[0], 0).size(), 6000u);

    const Pose poses[] = {
        {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, 0, 0},
        {{3, -2, 1}, {1, 2, 3}, {0.5, 1, -2}, {0, 0, 1}, 37, -110},
    };
    for (int slot : {20, 21}) {
        const std::vector<MeshVertex> triangles = Triangles(TheScene().slots[slot].meshes[0], 0);
        for (const Pose& pose : poses) {
            ApplyPose(pose);
            std::vector<std::array<P, 3>> world;
            std::vector<double> size;
            for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
                std::array<P, 3> t;
                for (int k = 0; k < 3; ++k) {
                    const float* f = triangles[i + std::size_t(k)].position;
                    t[std::size_t(k)] = Place(pose, P{f[0], f[1], f[2]});
                }
                world.push_back(t);
                size.push_back(std::max({Len(Sub(t[1], t[0])), Len(Sub(t[2], t[1])), Len(Sub(t[0], t[2]))}));
            }
            const P centre = Place(pose, {0, 0, 0});
            const std::string where = "slot " + std::to_string(slot) + " angle " + std::to_string(pose.angle0);
            int hits[3] = {0, 0, 0}, tested[3] = {0, 0, 0};
            for (int n = 0; n < 250; ++n) {
                // Sphere.
                const P c = Add(centre, rnd(slot == 20 ? 3 : 7));
                const double r = 0.05 + std::fabs(unit(rng)) * 2;
                // Cases within 1 % of a triangle's size of touching count only when a
                // clear hit elsewhere settles the answer.
                bool want = false, near = false;
                for (std::size_t i = 0; i < world.size(); ++i) {
                    const double d = Len(Sub(c, ClosestOnTriangle(c, world[i][0], world[i][1], world[i][2])));
                    want |= d < r - 0.01 * size[i];
                    near |= std::fabs(d - r) < 0.01 * size[i];
                }
                if (want || !near) {
                    ++tested[0], hits[0] += want;
                    EXPECT_EQ(CollideSphere(slot, 0, r, c[0], c[1], c[2]), want ? 1.0 : 0.0) << where << " sphere " << n;
                }
                // Box (axis-aligned in the world: width along x and z, height along y).
                const P b = Add(centre, rnd(slot == 20 ? 3 : 7));
                const double w = 0.1 + std::fabs(unit(rng)) * 3, h = 0.1 + std::fabs(unit(rng)) * 3;
                want = false, near = false;
                for (std::size_t i = 0; i < world.size(); ++i) {
                    const double gap = BoxGap(b, {w / 2, h / 2, w / 2}, world[i][0], world[i][1], world[i][2]);
                    want |= gap < -0.01 * size[i];
                    near |= std::fabs(gap) < 0.01 * size[i];
                }
                if (want || !near) {
                    ++tested[1], hits[1] += want;
                    EXPECT_EQ(CollideBox(slot, 0, b[0], b[1], b[2], w, h), want ? 1.0 : 0.0) << where << " box " << n;
                }
                // Ray, its direction of any length.
                const P o = Add(centre, rnd(slot == 20 ? 4 : 10));
                const P aim = Sub(Add(centre, rnd(slot == 20 ? 1.5 : 9)), o);
                const double scale = 0.3 + std::fabs(unit(rng)) * 4;
                const P d = Mul(aim, 1 / Len(aim));
                // Clear hits give the answer; a grazed triangle (or one at the origin)
                // only spoils the case when it would have won.
                const auto better = [](double t, double best) {
                    return best == 0 || (t > 0 && (best < 0 || t < best)) || (t < 0 && best < 0 && t > best);
                };
                double best = 0;
                std::vector<double> grazed;
                for (std::size_t i = 0; i < world.size(); ++i) {
                    double t, margin;
                    if (!RayTriangle(o, d, world[i][0], world[i][1], world[i][2], &t, &margin)) continue;
                    if (std::fabs(margin) < 0.01 || std::fabs(t) < 0.01 * size[i]) grazed.push_back(t);
                    else if (margin > 0 && better(t, best)) best = t;
                }
                near = false;
                for (double t : grazed) near |= better(t, best) || std::fabs(t - best) < 0.01;
                if (!near) {
                    ++tested[2], hits[2] += best != 0;
                    const P dir = Mul(d, scale);
                    EXPECT_NEAR(CollideRay(slot, 0, o[0], o[1], o[2], dir[0], dir[1], dir[2]), best, 1e-3) << where << " ray " << n;
                }
            }
            for (int s = 0; s < 3; ++s) {
                EXPECT_GT(tested[s], 60) << where << " shape " << s;
                EXPECT_GT(hits[s], tested[s] / 6) << where << " shape " << s;
                EXPECT_LT(hits[s], tested[s] * 5 / 6) << where << " shape " << s;
            }
        }
    }
}

TEST_F(CollisionTest, BoundaryCases) {
    CreateCube(1, 2);
    BuildQuad(2, -1, -1, 1, 1);  // z = 0, facing +z
    ReleaseSlot(TheScene(), 3);
    struct Case {
        const char* name;
        double scale;  // of the object (1: none)
        std::function<double()> test;
        double want;
    };
    const Case cases[] = {
        {"centre on the plane inside hits", 1, [] { return CollideSphere(2, 0, 0.1, 0.2, 0.3, 0); }, 1},
        {"surface touching the plane does not", 1, [] { return CollideSphere(2, 0, 0.5, 0.2, 0.3, 0.5); }, 0},
        {"just inside the plane", 1, [] { return CollideSphere(2, 0, 0.5, 0.2, 0.3, 0.499); }, 1},
        {"beside the quad, reaching an edge", 1, [] { return CollideSphere(2, 0, 0.5, 1.4, 0.3, 0.1); }, 1},
        {"beside the quad, short of the edge", 1, [] { return CollideSphere(2, 0, 0.5, 1.6, 0.3, 0.1); }, 0},
        {"ray along +x hits the cube at 4", 1, [] { return CollideRay(1, 0, -5, 0.5, 0.5, 1, 0, 0); }, 4},
        {"direction of length 5", 1, [] { return CollideRay(1, 0, -5, 0.5, 0.5, 5, 0, 0); }, 4},
        {"cube behind the origin: negative", 1, [] { return CollideRay(1, 0, 0.3, 0.2, 5, 0, 0, 1); }, -4},
        {"inside: the face in front wins", 1, [] { return CollideRay(1, 0, 0.3, 0.2, 0.5, 0, 0, -1); }, 1.5},
        {"origin on a face: t 0 is no hit", 1, [] { return CollideRay(1, 0, -1, 0.5, 0.5, 1, 0, 0); }, 2},
        {"ray missing: 0", 1, [] { return CollideRay(1, 0, 5, 5, 5, 1, 0, 0); }, 0},
        {"scale 2, radius 1, 1.8 away: the unscaled face 0.8 away", 2, [] { return CollideSphere(1, 0, 1, 0, 0, 1.8); }, 1},
        {"scale 2, radius 1, 2.5 away: not enlarged", 2, [] { return CollideSphere(1, 0, 1, 0, 0, 2.5); }, 0},
        {"scale 2: the ray meets the unscaled cube", 2, [] { return CollideRay(1, 0, -5, 0.5, 0.5, 1, 0, 0); }, 4},
        {"box 4 high reaches the top", 1, [] { return CollideBox(1, 0, 0, 2.9, 0, 2, 4); }, 1},
        {"box 4 high short of the top", 1, [] { return CollideBox(1, 0, 0, 3.1, 0, 2, 4); }, 0},
        {"box 2 wide reaches the side", 1, [] { return CollideBox(1, 0, 1.9, 0, 0, 2, 4); }, 1},
        {"box 2 wide short of the side", 1, [] { return CollideBox(1, 0, 2.1, 0, 0, 2, 4); }, 0},
        {"box 2 deep reaches the front", 1, [] { return CollideBox(1, 0, 0, 0, 1.9, 2, 4); }, 1},
        {"box 2 deep short of the front", 1, [] { return CollideBox(1, 0, 0, 0, 2.1, 2, 4); }, 0},
        {"box touching a face overlaps", 1, [] { return CollideBox(1, 0, 0, 0, 2, 2, 4); }, 1},
        {"a thin tall box with one end inside", 1, [] { return CollideBox(1, 0, 0, 5.9, 0, 0.2, 10); }, 1},
        {"frame 1 of one frame", 1, [] { return CollideSphere(1, 1, 5, 0, 0, 0); }, 0},
        {"frame -1", 1, [] { return CollideSphere(1, -1, 5, 0, 0, 0); }, 0},
        {"frame -1 ray", 1, [] { return CollideRay(1, -1, -5, 0.5, 0.5, 1, 0, 0); }, 0},
        {"frame -1 box", 1, [] { return CollideBox(1, -1, 0, 0, 0, 2, 2); }, 0},
        {"slot 4096", 1, [] { return CollideSphere(4096, 0, 5, 0, 0, 0); }, 0},
        {"empty slot", 1, [] { return CollideRay(3, 0, -5, 0.5, 0.5, 1, 0, 0); }, 0},
    };
    for (const Case& c : cases) {
        TheScene().transformLevels[0] = TransformLevel{};
        ScaleTransform(c.scale, c.scale, c.scale);
        EXPECT_NEAR(c.test(), c.want, 1e-4) << c.name;
    }
    // The GL matrices stay as they were.
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    MoveTransform(1, 2, 3);
    CollideSphere(1, 0, 1, 0, 0, 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    EXPECT_EQ(std::vector<float>(before, before + 16), std::vector<float>(after, after + 16));
}

TEST_F(CollisionTest, ProjectionByHand) {
    struct Case {
        const char* name;
        std::function<void(double&, double&, double&)> run;
        double x, y, z;
    };
    const Case cases[] = {
        {"a point right of the axis", [](double& x, double& y, double& z) { ProjectToScreen(1, 0, -4, x, y, z); }, 380, 240, 0.757576},
        {"near plane from the screen", [](double& x, double& y, double& z) { ScreenToWorld(320, 239, 0, x, y, z); }, 0, 0, -1},
        {"far plane from the screen", [](double& x, double& y, double& z) { ScreenToWorld(320, 239, 1, x, y, z); }, 0, 0, -100},
        {"a corner pixel at depth 0", [](double& x, double& y, double& z) { ScreenToWorld(0, 479, 0, x, y, z); }, -4.0 / 3, -1, -1},
        {"in a viewport", [](double& x, double& y, double& z) {
             SetViewport(100, 50, 200, 100);
             Start3DMode(1, 100, 90);
             ProjectToScreen(0, 0, -7, x, y, z);
         }, 200, 100, std::nan("") /* any depth */},
        {"there and back", [](double& x, double& y, double& z) {
             PlaceCamera(3, 4, 5, 0, 0, 0);
             double sx = 0, sy = 0, sz = 0;
             ProjectToScreen(0.5, -0.25, 1, sx, sy, sz);
             ScreenToWorld(sx, sy - 1, sz, x, y, z);  // ScreenToWorld's rows count from the last one
         }, 0.5, -0.25, 1},
    };
    for (const Case& c : cases) {
        Reset();
        double x = 7, y = 8, z = 9;
        c.run(x, y, z);
        EXPECT_NEAR(x, c.x, 1e-3) << c.name;
        EXPECT_NEAR(y, c.y, 1e-3) << c.name;
        if (!std::isnan(c.z)) {
            EXPECT_NEAR(z, c.z, 1e-3) << c.name;
        }
    }
    // A singular modelview: nothing written.
    Reset();
    const GLfloat zero[16] = {};
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(zero);
    double x = 7, y = 8, z = 9;
    ProjectToScreen(1, 2, 3, x, y, z);
    ScreenToWorld(10, 20, 0.5, x, y, z);
    EXPECT_EQ(std::vector<double>({x, y, z}), std::vector<double>({7, 8, 9}));
    double inv[16];
    const double singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_FALSE(InvertMatrix4(singular, inv));
    Reset();
}

TEST_F(CollisionTest, DebugDrawing) {
    CreateCube(1, 2);
    engine.debugMode = 1;
    struct Case {
        double x;
        bool hit;
    };
    for (const Case& c : {Case{0.5, true}, Case{3.5, false}}) {
        Clear();
        TheScene().transformLevels[0] = TransformLevel{};
        MoveTransform(0, 0, -8);
        EXPECT_EQ(CollideSphere(1, 0, 1, c.x, 0, -8), c.hit ? 1.0 : 0.0);
        double px = 0, py = 0, pz = 0;
        ProjectToScreen(c.x, 0, -8, px, py, pz);
        const Screen s = WholeScreen();
        int red = 0, green = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) red += s.at(x, y) == Rgba{255, 0, 0}, green += s.at(x, y) == Rgba{0, 255, 0};
        EXPECT_EQ(red > 100, c.hit) << c.x;
        EXPECT_EQ(green > 100, !c.hit) << c.x;
        const Box b = LitBox(s);
        EXPECT_NEAR(b.centreX(), px, 3) << c.x;
        EXPECT_NEAR(b.centreY(), py, 3) << c.x;
        EXPECT_NEAR(b.width(), c.hit ? 61 : 67, 5) << c.x;  // radius 1 at 8 units: 60 px across, and the line
    }
    Clear();
    CollideBox(1, 0, 0, 0, -8, 2, 2);
    CollideRay(1, 0, -5, 0.5, -8, 1, 0, 0);
    EXPECT_FALSE(LitBox(WholeScreen()).empty());
    engine.debugMode = 0;
    Clear();
    CollideSphere(1, 0, 1, 0, 0, -8);
    EXPECT_TRUE(LitBox(WholeScreen()).empty()) << "nothing drawn outside debug mode";
}

} // namespace
} // namespace gfx3d_test
