// The 3D scene: 3D mode, camera, object transform stack, culling, fog and the
// GL lights.
#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx3d/gfx3d_internal.h"

namespace corvane {

namespace {
Scene3D g_scene;
} // namespace

Scene3D& TheScene() { return g_scene; }

namespace {

constexpr double kDegrees = 3.14159265358979323846 / 180.0;

void Identity(float m[16]) {
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// out = a * b (column-major); out may alias either operand.
void Multiply(const float a[16], const float b[16], float out[16]) {
    float r[16];
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
            r[col * 4 + row] = sum;
        }
    std::memcpy(out, r, sizeof r);
}

void Translate(float m[16], const float t[3]) {
    float s[16];
    Identity(s);
    s[12] = t[0], s[13] = t[1], s[14] = t[2];
    Multiply(m, s, m);
}

void Scale(float m[16], const float k[3]) {
    float s[16];
    Identity(s);
    s[0] = k[0], s[5] = k[1], s[10] = k[2];
    Multiply(m, s, m);
}

// The rotation the GL builds for glRotatef: an axis too short to normalise
// leaves the matrix as it is.
void Rotate(float m[16], float angle, float x, float y, float z) {
    const double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (!(length > 1.0e-4)) return;
    const double ax = x / length, ay = y / length, az = z / length;
    const double c = std::cos(angle * kDegrees), s = std::sin(angle * kDegrees), t = 1.0 - c;
    float r[16];
    Identity(r);
    r[0] = float(ax * ax * t + c), r[4] = float(ax * ay * t - az * s), r[8] = float(ax * az * t + ay * s);
    r[1] = float(ay * ax * t + az * s), r[5] = float(ay * ay * t + c), r[9] = float(ay * az * t - ax * s);
    r[2] = float(ax * az * t - ay * s), r[6] = float(ay * az * t + ax * s), r[10] = float(az * az * t + c);
    Multiply(m, r, m);
}

void ColourOf(double colour, float out[4]) {
    const std::uint32_t c = std::uint32_t(ToInt(colour));
    out[0] = float(c & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float((c >> 16) & 0xFF) / 255.0f;
    out[3] = 1.0f;
}

// Normalised when the squared length exceeds 1e-7 and the length is not 0.
void NormaliseDirection(float v[3]) {
    const float sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (!(sq > 1.0e-7f)) return;
    const float length = std::sqrt(sq);
    if (length == 0.0f) return;
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void Normalise(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length != 0.0f)
        for (int i = 0; i < 3; ++i) v[i] /= length;
}

void Cross(const float a[3], const float b[3], float out[3]) {
    const float r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::memcpy(out, r, sizeof r);
}

TransformLevel& TopLevel() { return TheScene().transformLevels[TheScene().transformDepth]; }

} // namespace

// ---------------------------------------------------------------- matrices

void TransformPoint(const float m[16], const float p[3], float out[3]) {
    float r[3];
    for (int i = 0; i < 3; ++i) r[i] = m[i] * p[0] + m[4 + i] * p[1] + m[8 + i] * p[2] + m[12 + i];
    std::memcpy(out, r, sizeof r);
}

void PlacementMatrix(const Scene3D& scene, float out[16]) {
    Identity(out);
    const int depth = scene.transformDepth < 0 ? 0 : scene.transformDepth % Scene3D::kTransformLevels;
    for (int n = 0; n <= depth; ++n) {
        const TransformLevel& level = scene.transformLevels[n];
        Translate(out, level.translation);
        for (int i = level.rotationCount - 1; i >= 0; --i) {
            const float* r = level.rotations[i];
            Rotate(out, r[0], r[1], r[2], r[3]);
        }
        Scale(out, level.scale);
    }
}

void ApplyTransformStack(const Scene3D& scene) {
    const int depth = scene.transformDepth < 0 ? 0 : scene.transformDepth % Scene3D::kTransformLevels;
    for (int n = 0; n <= depth; ++n) {
        const TransformLevel& level = scene.transformLevels[n];
        glTranslatef(level.translation[0], level.translation[1], level.translation[2]);
        for (int i = level.rotationCount - 1; i >= 0; --i) {
            const float* r = level.rotations[i];
            glRotatef(r[0], r[1], r[2], r[3]);
        }
        glScalef(level.scale[0], level.scale[1], level.scale[2]);
    }
}

void RigidInverse(const float m[16], float out[16]) {
    float column[3][3];
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 3; ++i) column[c][i] = m[c * 4 + i];
        Normalise(column[c]);
    }
    Identity(out);
    const float* t = &m[12];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) out[j * 4 + i] = column[i][j];
        out[12 + i] = -(column[i][0] * t[0] + column[i][1] * t[1] + column[i][2] * t[2]);
    }
}

void AffineInverse(const float m[16], float out[16]) {
    // The 3 x 3 part by its cofactors; the translation taken back through it.
    const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], k = m[10];
    const float A = e * k - f * h, B = f * g - d * k, C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    if (!(std::fabs(det) > 1e-30f) || !std::isfinite(det)) {
        RigidInverse(m, out); // flattened to nothing: no inverse, keep the rotation's
        return;
    }
    const float inv = 1.0f / det;
    Identity(out);
    out[0] = A * inv, out[4] = (c * h - b * k) * inv, out[8] = (b * f - c * e) * inv;
    out[1] = B * inv, out[5] = (a * k - c * g) * inv, out[9] = (c * d - a * f) * inv;
    out[2] = C * inv, out[6] = (b * g - a * h) * inv, out[10] = (a * e - b * d) * inv;
    const float* t = &m[12];
    for (int i = 0; i < 3; ++i) out[12 + i] = -(out[i] * t[0] + out[4 + i] * t[1] + out[8 + i] * t[2]);
}

// ---------------------------------------------------------------- 3D mode and camera

void SetCullModeInternal(int mode) {
    if (mode == 0) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(mode > 0 ? GL_CW : GL_CCW);
}

void Start3DMode(double nearValue, double farValue, double fovValue) {
    Scene3D& s = TheScene();
    const float nearClip = float(nearValue), farClip = float(farValue), fov = float(fovValue);

    FlushQuads(); // the 2D quads so far, under the 2D state
    SetShadowPass(false);        // its closing resets the 2D viewport
    SetPixelGridMatrices(false);

    s.cullConeFactor = float(std::tan(std::fmin(double(fov) + 5.0, 89.0) * kDegrees));
    s.cameraUp[0] = 0, s.cameraUp[1] = 1, s.cameraUp[2] = 0;
    s.nearClip = nearClip;
    s.farClip = farClip;

    int vx = 0, vy = 0, vw = 0, vh = 0;
    Viewport2D(vx, vy, vw, vh);
    glViewport(vx, SurfaceHeight() - vh - vy, vw, vh);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = vh > 0 ? double(vw) / double(vh) : 1.0;
    if (fov > 0.0f) {
        const double half = double(nearClip) * std::tan(double(fov) / 2.0 * kDegrees);
        glFrustum(-aspect * half, aspect * half, -half, half, nearClip, farClip);
    } else {
        const double half = double(nearClip) * std::tan(std::fabs(double(fov)) / 2.0 * kDegrees) * 100.0;
        glOrtho(-aspect * half, aspect * half, -half, half, nearClip, farClip);
        s.cullConeFactor = float(std::tan(89.0 * kDegrees));
    }

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    BindSlot(-1, -1, 0);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    for (GLenum cap : {GL_FOG, GL_LINE_SMOOTH, GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                       GL_POLYGON_OFFSET_POINT, GL_AUTO_NORMAL, GL_NORMALIZE, GL_LIGHTING})
        glDisable(cap);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glFrontFace(GL_CCW);
    glDisable(GL_CULL_FACE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);

    Identity(s.cameraMatrix);
    s.textureOffset[0] = s.textureOffset[1] = 0;
    s.effectEnabled = false;
    s.transformDepth = 0;
    s.lightMask = 0;
    // The view left in the GL: eye at the origin looking down -z. The view-cone
    // test reads these, so they must match it before any PlaceCamera.
    s.cameraPosition[0] = s.cameraPosition[1] = s.cameraPosition[2] = 0;
    s.cameraTarget[0] = 0, s.cameraTarget[1] = 0, s.cameraTarget[2] = -1;

    s.cullMode = 0;
    SetCullModeInternal(0);
}

void PlaceCamera(double x, double y, double z, double targetX, double targetY, double targetZ) {
    Scene3D& s = TheScene();
    const float eye[3] = {float(x), float(y), float(z)};
    const float target[3] = {float(targetX), float(targetY), float(targetZ)};
    SetPixelGridMatrices(false); // sends the pending quads first
    std::memcpy(s.cameraPosition, eye, sizeof eye);
    std::memcpy(s.cameraTarget, target, sizeof target);

    float f[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
    Normalise(f);
    float side[3], up[3];
    Cross(s.cameraUp, f, side);
    Cross(f, side, up);
    Normalise(up);
    Normalise(side);

    float m[16];
    Identity(m);
    for (int i = 0; i < 3; ++i) {
        m[i * 4 + 0] = side[i];
        m[i * 4 + 1] = up[i];
        m[i * 4 + 2] = f[i];
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMultMatrixf(m);
    glTranslatef(-eye[0], -eye[1], -eye[2]);
    glGetFloatv(GL_MODELVIEW_MATRIX, s.cameraMatrix);

    s.transformDepth = 0;
    s.transformLevels[0] = TransformLevel{};
}

void SetCameraUp(double x, double y, double z) {
    Scene3D& s = TheScene();
    s.cameraUp[0] = float(x), s.cameraUp[1] = float(y), s.cameraUp[2] = float(z);
}

void SetCullMode(double mode) {
    const int given = ToInt(mode); // truncated like every integer argument: 0.5 and -0.5 are 0
    const int m = given > 0 ? 1 : (given < 0 ? -1 : 0);
    TheScene().cullMode = static_cast<signed char>(m);
    FlushQuads();
    SetCullModeInternal(m);
}

void ClearDepthBuffer() {
    FlushQuads();
    glClear(GL_DEPTH_BUFFER_BIT);
}

// ---------------------------------------------------------------- fog and lights

void SetFog(double colour, double exponential, double start, double end) {
    FlushQuads();
    // -1 is every bit set, whether given signed or as the unsigned number.
    if (ToInt(colour) == -1 || colour == 4294967295.0) {
        glDisable(GL_FOG);
        return;
    }
    const Scene3D& s = TheScene();
    glEnable(GL_FOG);
    if (exponential != 0.0) {
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_DENSITY, float(start));
    } else {
        glFogi(GL_FOG_MODE, GL_LINEAR);
        float from = float(start), to = float(end);
        if (start == 0.0 && end == 0.0) from = s.nearClip, to = s.farClip;
        glFogf(GL_FOG_START, from);
        glFogf(GL_FOG_END, to);
    }
    float c[4];
    ColourOf(colour, c);
    c[3] = 0.0f;
    glFogfv(GL_FOG_COLOR, c);
}

void SetLight(double number, double colour, double x, double y, double z, double dirX, double dirY, double dirZ,
              double coneValue) {
    Scene3D& s = TheScene();
    const int n = ToInt(number);
    FlushQuads();
    if (n < 0) {
        SelectEffectLight(n, colour, x, y, z, coneValue);
        return;
    }
    const int index = n & 7;
    const GLenum light = GLenum(GL_LIGHT0 + index);
    const float cone = float(coneValue);
    if (cone == 0.0f) {
        glDisable(light);
        s.lightMask = std::uint8_t(s.lightMask & ~(1u << index));
        if (s.lightMask == 0) glDisable(GL_LIGHTING);
        return;
    }
    glEnable(GL_LIGHTING);
    glEnable(light);
    s.lightMask = std::uint8_t(s.lightMask | (1u << index));
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);

    float position[4] = {float(x), float(y), float(z), 1.0f};
    float direction[4] = {float(dirX), float(dirY), float(dirZ), 0.0f};
    float c[4];
    ColourOf(colour, c);
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float straight = 180.0f;

    if (position[0] == 0 && position[1] == 0 && position[2] == 0 && direction[0] == 0 && direction[1] == 0 &&
        direction[2] == 0) {
        // A head light: from the viewer, whatever the camera.
        const float fromViewer[4] = {0.0f, 0.0f, 1.0f, 0.0f};
        glPushMatrix();
        glLoadIdentity();
        glLightfv(light, GL_POSITION, fromViewer);
        glPopMatrix();
        glLightfv(light, GL_DIFFUSE, c);
        glLightfv(light, GL_SPECULAR, black);
        glLightfv(light, GL_SPOT_CUTOFF, &straight);
        return;
    }

    bool spot = false;
    if (cone == 180.0f) {
        glLightfv(light, GL_SPOT_CUTOFF, &straight);
        float towards[4] = {-direction[0], -direction[1], -direction[2], 0.0f};
        NormaliseDirection(towards);
        glLightfv(light, GL_POSITION, towards);
        glLightfv(light, GL_SPECULAR, black);
    } else if (cone > 90.0f) {
        glLightfv(light, GL_SPOT_CUTOFF, &straight);
        glLightfv(light, GL_POSITION, position);
        glLightfv(light, GL_SPECULAR, c);
    } else {
        spot = true;
        // The GL takes cut-offs of 0..90 only.
        const float cutOff = cone < 0.0f ? 0.0f : cone;
        glLightfv(light, GL_SPOT_CUTOFF, &cutOff);
        NormaliseDirection(direction);
        glLightfv(light, GL_POSITION, position);
        glLightfv(light, GL_SPOT_DIRECTION, direction);
        glLightfv(light, GL_SPECULAR, c);
    }
    glLightfv(light, GL_DIFFUSE, c);

    if (DebugMode()) {
        DrawPoint3D(x, y, z, 40, 0x80C8FF);
        if (spot)
            DrawLine3D(x, y, z, x + 500.0 * direction[0], y + 500.0 * direction[1], z + 500.0 * direction[2], 3,
                       0x6CAAE1);
    }
}

void SetHeadLight(double number, double colour) { SetLight(number, colour, 0, 0, 0, 0, 0, 0, 180); }

// ---------------------------------------------------------------- transform stack

void MoveTransform(double x, double y, double z) {
    TransformLevel& level = TopLevel();
    level.rotationCount = 0;
    level.translation[0] = float(x), level.translation[1] = float(y), level.translation[2] = float(z);
}

void ScaleTransform(double x, double y, double z) {
    TransformLevel& level = TopLevel();
    level.rotationCount = 0;
    level.scale[0] = float(x), level.scale[1] = float(y), level.scale[2] = float(z);
}

void RotateTransform(double angle, double x, double y, double z) {
    TransformLevel& level = TopLevel();
    if (level.rotationCount >= 16) return;
    float* r = level.rotations[level.rotationCount++];
    r[0] = float(angle), r[1] = float(x), r[2] = float(y), r[3] = float(z);
}

void PushTransform() {
    Scene3D& s = TheScene();
    if (s.transformDepth >= Scene3D::kTransformLevels - 1) return; // the sixteenth level is the last
    ++s.transformDepth;
    s.transformLevels[s.transformDepth] = TransformLevel{};
}

double PopTransform() {
    Scene3D& s = TheScene();
    if (s.transformDepth > 0) --s.transformDepth;
    return s.transformDepth;
}

void SetTextureOffset3D(double u, double v) {
    TheScene().textureOffset[0] = float(u);
    TheScene().textureOffset[1] = float(v);
}

} // namespace corvane
