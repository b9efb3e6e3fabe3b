// The 2D drawing state (viewport, projection, default GL state, alpha and
// blending) and the untextured primitives.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <utility>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/bmp.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"

namespace corvane {

namespace {

// A primitive's colour: scaled by the global alpha, the key colour with alpha 0,
// in bytes as the GL takes them.
struct PrimitiveColour {
    GLubyte red, green, blue, alpha;

    explicit PrimitiveColour(double colour) {
        const std::uint32_t c = static_cast<std::uint32_t>(ToInt(colour));
        const float a = TheRenderer().currentAlpha;
        red = GLubyte(a * float(c & 0xFF));
        green = GLubyte(a * float((c >> 8) & 0xFF));
        blue = GLubyte(a * float((c >> 16) & 0xFF));
        alpha = (c & 0xFFFFFF) == kSpriteKeyColour ? 0 : GLubyte(255.0f * a);
    }
};

// Shared set-up of the points and lines: the primitive colour, no texture,
// projection nudged onto pixel centres. (Rectangles are quads of the batch.)
struct PrimitiveScope {
    Renderer& r;
    int slot, secondSlot, mipmapped;

    explicit PrimitiveScope(double colour)
        : r(TheRenderer()), slot(r.boundSlot), secondSlot(r.boundSecondSlot), mipmapped(r.boundMipmapped) {
        FlushQuads();
        glDisable(GL_ALPHA_TEST);
        const PrimitiveColour c(colour);
        glColor4ub(c.red, c.green, c.blue, c.alpha);
        BindSlot(-1, -1, 0);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glTranslatef(0.375f, 0.375f, 0.0f);
        glMatrixMode(GL_MODELVIEW);
    }

    ~PrimitiveScope() {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        const float a = r.currentAlpha;
        glColor4f(a, a, a, a);
        BindSlot(slot, secondSlot, mipmapped);
        glEnable(GL_ALPHA_TEST);
    }
};

} // namespace

void ResetViewport(int x, int y, int width, int height) {
    Renderer& r = TheRenderer();
    FlushQuads();
    if (width <= 0 || height <= 0) {
        width = SurfaceWidth();
        height = SurfaceHeight();
    }
    r.viewportX = x;
    r.viewportY = y;
    r.viewportWidth = width;
    r.viewportHeight = height;
    glViewport(x, SurfaceHeight() - height - y, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, -height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetPixelGridMatrices(true);

    ForgetBoundTexture();
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.15f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_FLAT);
    for (GLenum cap : {GL_DITHER, GL_FOG, GL_LINE_SMOOTH, GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                       GL_POLYGON_OFFSET_LINE, GL_COLOR_MATERIAL, GL_AUTO_NORMAL, GL_NORMALIZE, GL_LIGHTING})
        glDisable(cap);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
}

void SetScreenSize(int width, int height) {
    SetSurfaceSize(width, height);
    ResetViewport(0, 0, 0, 0);
}

void SetViewport(double x, double y, double width, double height) {
    FlushQuads();
    UpSetShadowPass(false); // a pending stencil-shadow pass ends before the viewport changes
    ResetViewport(ToInt(x), ToInt(y), ToInt(width), ToInt(height));
}

void SetAlpha(double value) {
    float alpha = 1.0f;
    FlushQuads();
    if (value == 0.0 || !(value == value)) {
        glDisable(GL_BLEND);
    } else if (value > 0.0) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        alpha = value > 1.0 ? 1.0f : float(value);
    } else {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        alpha = -value > 1.0 ? 1.0f : float(-value);
    }
    TheRenderer().currentAlpha = alpha;
    glColor4f(alpha, alpha, alpha, alpha);
}

void DrawPixel(double x, double y, double colour) {
    const int px = ToInt(x), py = ToInt(y);
    PrimitiveScope scope(colour);
    glBegin(GL_POINTS);
    glVertex2f(float(px), -float(py) - 1.0f);
    glEnd();
}

void DrawLine(double x1, double y1, double x2, double y2, double colour) {
    const int ax = ToInt(x1), ay = ToInt(y1), bx = ToInt(x2), by = ToInt(y2);
    PrimitiveScope scope(colour);
    glBegin(GL_LINES);
    glVertex2f(float(ax), -float(ay) - 1.0f);
    glVertex2f(float(bx), -float(by) - 1.0f);
    glEnd();
    // The GL leaves a line's last pixel out; draw it as a point.
    glBegin(GL_POINTS);
    glVertex2f(float(bx), -float(by) - 1.0f);
    glEnd();
}

void DrawRect(double x1, double y1, double x2, double y2, double colour) {
    int left = ToInt(x1), top = ToInt(y1), right = ToInt(x2), bottom = ToInt(y2);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const PrimitiveColour c(colour);
    const float rgba[4] = {float(c.red) / 255.0f, float(c.green) / 255.0f, float(c.blue) / 255.0f,
                           float(c.alpha) / 255.0f};
    QuadState flat;
    flat.fill = QuadFill::Flat;
    flat.coloured = true;
    UseQuadState(flat);
    QuadVertex* v = AppendQuads(1);
    if (!v) return;
    // Counter-clockwise on screen so that face culling keeps it.
    const float l = float(left), r = float(right) + 1.0f, t = -float(top), b = -float(bottom) - 1.0f;
    SetQuadVertex(v[0], l, b, 0.0f, 0.0f, 0.0f, rgba);
    SetQuadVertex(v[1], r, b, 0.0f, 0.0f, 0.0f, rgba);
    SetQuadVertex(v[2], r, t, 0.0f, 0.0f, 0.0f, rgba);
    SetQuadVertex(v[3], l, t, 0.0f, 0.0f, 0.0f, rgba);
}

void SetTextureMipmap(double flag) { TheRenderer().textureMipmapFlag = ToInt(flag); }

void SetTexture(double slot, double secondSlot) {
    // Negative numbers mean "no texture"; numbers beyond the table are refused.
    const int a = ToInt(slot) < 0 ? -1 : ToInt(slot);
    const int b = ToInt(secondSlot) < 0 ? -1 : ToInt(secondSlot);
    if (a >= Renderer::kSlotCount || b >= Renderer::kSlotCount) return;
    BindSlot(a, b, TheRenderer().textureMipmapFlag);
}

} // namespace corvane
