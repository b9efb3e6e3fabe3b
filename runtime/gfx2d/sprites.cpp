// Sprites: the draws, polygon batches, pixel collision, screen grabs, pixel
// reads and BMP saving of slots and of the screen.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/surface.h"
#include "runtime/gfx2d/bmp.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/platform/platform_files.h"

namespace corvane {

namespace {

// A sprite slot as the draws see it: a valid number whose slot holds a texture.
struct Sprite {
    int slot = -1;
    int w = 0, h = 0;      // the picture's own size
    float u = 0, v = 0;    // texture coordinates of its top-right corner
};

bool SlotNumber(double value, int* slot) {
    if (!(value > -1.0 && value < double(Renderer::kSlotCount))) return false; // also NaN
    *slot = static_cast<int>(value);
    return true;
}

bool SlotIsLoaded(int slot) {
    Renderer& r = TheRenderer();
    return r.textureWidth[slot] > 0 && r.textureHeight[slot] > 0 && r.textureNames[slot][0] != 0;
}

// An empty slot (never loaded, freed, failed load) draws nothing: its recorded
// image size may be stale and its texture is gone.
bool SpriteOf(double value, Sprite* s) {
    const Renderer& r = TheRenderer();
    int slot = 0;
    if (!SlotNumber(value, &slot) || !SlotIsLoaded(slot)) return false;
    s->slot = slot;
    s->w = r.imageWidth[slot];
    s->h = r.imageHeight[slot];
    s->u = float(s->w) / float(r.textureWidth[slot]);
    s->v = float(s->h) / float(r.textureHeight[slot]);
    return true;
}

// Coordinates handed to the GL as floats: NaN as 0, and far beyond any surface
// clamped, so that no conversion overflows.
float Coord(double value) {
    if (!(value == value)) return 0.0f;
    return float(std::clamp(value, -1.0e9, 1.0e9));
}

// An integer coordinate rounded up as the draws place pictures, saturated.
int Ceiled(double value) { return ToInt(std::ceil(value)); }

// Degrees in [0, 360); a non-finite angle as 0.
double NormalisedAngle(double angle) {
    if (!std::isfinite(angle)) return 0.0;
    angle = std::fmod(angle, 360.0);
    return angle < 0.0 ? angle + 360.0 : angle;
}

// The drawing alpha on all four channels (what the current colour holds in 2D).
void AlphaColour(float colour[4]) {
    const float a = TheRenderer().currentAlpha;
    colour[0] = colour[1] = colour[2] = colour[3] = a;
}

// One sprite quad into the batch, drawn with the slot's texture.
void Quad(const Sprite& s, const QuadState& state, float left, float bottom, float right, float top,
          const float colour[4]) {
    BindSlot(s.slot, -1, 0);
    QuadState bound = state;
    bound.texture = TheRenderer().boundNames[0];
    bound.fan = true;
    UseQuadState(bound);
    QuadVertex* v = AppendQuads(1);
    if (!v) return;
    SetQuadVertex(v[0], left, bottom, 0.0f, 0.0f, 0.0f, colour);
    SetQuadVertex(v[1], right, bottom, 0.0f, s.u, 0.0f, colour);
    SetQuadVertex(v[2], right, top, 0.0f, s.u, s.v, colour);
    SetQuadVertex(v[3], left, top, 0.0f, 0.0f, s.v, colour);
}

void Stretched(const Sprite& s, int x, int y, int width, int height) {
    float colour[4];
    AlphaColour(colour);
    QuadState state;
    state.texelPerPixel = width == s.w && height == s.h && PixelGridMatrices() && std::abs(x) < (1 << 20) &&
                          std::abs(y) < (1 << 20);
    // Sums in double: saturated coordinates must not overflow.
    Quad(s, state, Coord(double(x)), Coord(-double(y) - height), Coord(double(x) + width), Coord(-double(y)),
         colour);
}

// The centred quad of RotateSprite and RotoZoomSprite, turned about the
// picture's (unzoomed) centre.
void Turned(const Sprite& s, QuadState turn, double x, double y, double angle, double width, double height,
            const float colour[4]) {
    turn.turned = true;
    turn.turnX = Coord(x + (s.w >> 1));
    turn.turnY = Coord(-y - (s.h >> 1));
    turn.turnDegrees = float(NormalisedAngle(angle));
    const float hw = Coord(width / 2.0), hh = Coord(height / 2.0);
    Quad(s, turn, -hw, -hh, hw, hh, colour);
}

PolygonBatch& Batch() {
    static PolygonBatch batch;
    return batch;
}

GLint MaxTextureSize() {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    return max > 0 ? max : 64;
}

} // namespace

// ---------------------------------------------------------------- draws

void DrawSprite(double slot, double x, double y) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    Stretched(s, Ceiled(x), Ceiled(y), s.w, s.h);
}

void StretchSprite(double slot, double x, double y, double width, double height) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    Stretched(s, Ceiled(x), Ceiled(y), Ceiled(width), Ceiled(height));
}

void ZoomSprite(double slot, double x, double y, double zoomX, double zoomY) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    const double width = std::fabs(s.w * zoomX), height = std::fabs(s.h * zoomY);
    StretchSprite(slot, x - (width - s.w) / 2.0, y - (height - s.h) / 2.0, width, height);
}

void RotateSprite(double slot, double x, double y, double angle) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    float colour[4];
    AlphaColour(colour);
    Turned(s, QuadState{}, x, y, angle, s.w, s.h, colour);
}

void RotoZoomSprite(double slot, double x, double y, double angle, double zoom) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    int width = ToInt(s.w * zoom), height = ToInt(s.h * zoom);
    if (width <= 0) width = s.w;
    if (height <= 0) height = s.h;
    const float a = TheRenderer().currentAlpha;
    // 255 x alpha, clamped as the GL clamps a colour: white for any alpha of at least 1/255.
    const float white = std::min(255.0f * a, 1.0f);
    const float colour[4] = {white, white, white, a};
    QuadState coloured;
    coloured.coloured = true;
    Turned(s, coloured, x, y, angle, width, height, colour);
}

void DrawSprite3D(double slot, double x, double y, double z, double scale) {
    Sprite s;
    if (!SpriteOf(slot, &s)) return;
    Renderer& r = TheRenderer();
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float k = Coord(scale);
    const float dx = float(s.w >> 2) * k, ey = float(s.h >> 1) * k;
    const float d[3] = {m[0] * dx, m[4] * dx, m[8] * dx};   // half the width along the view's right
    const float e[3] = {m[1] * ey, m[5] * ey, m[9] * ey};   // the height along the view's up
    const float p[3] = {Coord(x), Coord(y), Coord(z)};

    FlushQuads(); // culling changes below
    const GLboolean culled = glIsEnabled(GL_CULL_FACE);
    GLint frontFace = GL_CCW;
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    const int boundSlot = r.boundSlot, boundSecond = r.boundSecondSlot, boundMip = r.boundMipmapped;
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    BindSlot(s.slot, -1, 0);
    QuadState state;
    state.texture = r.boundNames[0];
    state.fan = true;
    UseQuadState(state);
    if (QuadVertex* v = AppendQuads(1)) {
        float colour[4];
        AlphaColour(colour);
        SetQuadVertex(v[0], p[0] - d[0], p[1] - d[1], p[2] - d[2], 0.0f, 0.0f, colour);
        SetQuadVertex(v[1], p[0] + d[0], p[1] + d[1], p[2] + d[2], s.u, 0.0f, colour);
        SetQuadVertex(v[2], p[0] + d[0] + e[0], p[1] + d[1] + e[1], p[2] + d[2] + e[2], s.u, s.v, colour);
        SetQuadVertex(v[3], p[0] - d[0] + e[0], p[1] - d[1] + e[1], p[2] - d[2] + e[2], 0.0f, s.v, colour);
    }
    FlushQuads();
    if (!culled) glDisable(GL_CULL_FACE);
    glFrontFace(GLenum(frontFace));
    BindSlot(boundSlot, boundSecond, boundMip);
}

// ---------------------------------------------------------------- polygon batches

const PolygonBatch& CurrentPolygonBatch() { return Batch(); }

void StartPoly(double slot) {
    PolygonBatch& b = Batch();
    // Negative numbers are an untextured batch; numbers beyond the table make a
    // batch that is never drawn.
    if (!(slot == slot)) slot = 0.0;
    b.slot = slot <= -1.0 ? -1 : (slot < double(Renderer::kSlotCount) ? int(slot) : Renderer::kSlotCount);
    b.vertices.clear();
    if (b.vertices.capacity() < 512) {
        try {
            b.vertices.reserve(512);
        } catch (const std::bad_alloc&) {
        }
    }
}

void PolyVertex(double x, double y, double tx, double ty, double colour) {
    PolygonBatch& b = Batch();
    const Renderer& r = TheRenderer();
    struct PolyVertex p;
    p.x = Coord(x);
    p.negY = Coord(-y);
    p.u = p.v = 0.0f;
    if (IsValidSlot(b.slot) && r.textureWidth[b.slot] > 0 && r.textureHeight[b.slot] > 0) {
        p.u = Coord(tx / r.textureWidth[b.slot]);
        p.v = Coord((r.imageHeight[b.slot] - ty) / r.textureHeight[b.slot]);
    }
    const std::uint32_t c = static_cast<std::uint32_t>(ToInt(colour));
    const float a = r.currentAlpha;
    p.red = float(c & 0xFF) / 255.0f * a;
    p.green = float((c >> 8) & 0xFF) / 255.0f * a;
    p.blue = float((c >> 16) & 0xFF) / 255.0f * a;
    p.alpha = (c & 0xFFFFFF) == kSpriteKeyColour ? 0.0f : 1.0f;
    try {
        b.vertices.push_back(p);
    } catch (const std::bad_alloc&) {
        // No room: the vertex is dropped rather than the program.
    }
}

void EndPoly() {
    Renderer& r = TheRenderer();
    PolygonBatch& b = Batch();
    if (b.slot >= Renderer::kSlotCount || b.vertices.empty()) return;
    const bool textured = b.slot >= 0;
    if (textured && !SlotIsLoaded(b.slot)) return;
    FlushQuads();
    BindSlot(b.slot, -1, 0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glShadeModel(GL_SMOOTH);
    // Client arrays read from memory only while no vertex buffer is bound.
    if (auto bindBuffer = reinterpret_cast<PFNGLBINDBUFFERARBPROC>(GLEntryPoints().bindBuffer))
        bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    auto clientActive = reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(GLEntryPoints().clientActiveTexture);
    const struct PolyVertex* v = b.vertices.data();
    constexpr GLsizei stride = sizeof(struct PolyVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, &v->x);
    if (textured) {
        if (clientActive) clientActive(GL_TEXTURE0_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &v->u);
    }
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, stride, &v->red);
    glDrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(b.vertices.size()));
    glDisableClientState(GL_VERTEX_ARRAY);
    if (textured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glShadeModel(GL_FLAT);
    glEnable(GL_TEXTURE_2D);
    ForgetBoundTexture();
    const float a = r.currentAlpha;
    glColor4f(a, a, a, a);
    glDisable(GL_DITHER);
    glDisable(GL_COLOR_MATERIAL);
}

// ---------------------------------------------------------------- collision

double SpriteCollision(double slot1, double x1, double y1, double slot2, double x2, double y2) {
    Sprite a, b;
    if (!SpriteOf(slot1, &a) || !SpriteOf(slot2, &b)) return 0.0;
    // Placed as DrawSprite places them; box sums in 64 bits.
    const std::int64_t ax = Ceiled(x1), ay = Ceiled(y1), bx = Ceiled(x2), by = Ceiled(y2);
    const std::int64_t left = std::max(ax, bx), right = std::min(ax + a.w, bx + b.w);
    const std::int64_t top = std::max(ay, by), bottom = std::min(ay + a.h, by + b.h);
    if (left >= right || top >= bottom) return 0.0;
    Renderer& r = TheRenderer();
    const unsigned char* alphaA = FetchAlphaCopy(a.slot);
    const unsigned char* alphaB = FetchAlphaCopy(b.slot);
    if (!alphaA || !alphaB) return 0.0;
    const std::int64_t rowA = r.textureWidth[a.slot], rowB = r.textureWidth[b.slot];
    // The masks as drawn: picture row p is alpha-copy row h - 1 - p.
    for (std::int64_t j = top; j < bottom; ++j) {
        const unsigned char* lineA = alphaA + (a.h - 1 - (j - ay)) * rowA;
        const unsigned char* lineB = alphaB + (b.h - 1 - (j - by)) * rowB;
        for (std::int64_t i = left; i < right; ++i)
            if (lineA[i - ax] != 0 && lineB[i - bx] == 255) return 1.0;
    }
    return 0.0;
}

// ---------------------------------------------------------------- screen grabs and pixel reads

void GrabSprite(double slotNumber, double xNumber, double yNumber, double widthNumber, double heightNumber) {
    int slot = 0;
    if (!SlotNumber(slotNumber, &slot)) return;
    const int x = ToInt(xNumber), y = ToInt(yNumber), width = ToInt(widthNumber), height = ToInt(heightNumber);
    const GLint max = MaxTextureSize();
    if (width < 1 || height < 1 || width > max || height > max) return;
    Renderer& r = TheRenderer();
    FlushQuads(); // the copy reads what is drawn so far, and the slot's old texture goes
    const int tw = std::max(32, TextureSideFor(width)), th = std::max(32, TextureSideFor(height));
    if (ContextReady())
        for (unsigned int& name : r.textureNames[slot])
            if (name) glDeleteTextures(1, &name);
    r.textureNames[slot][0] = r.textureNames[slot][1] = 0;
    r.alphaCopy[slot].reset();
    ForgetBoundTexture();

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Transparent outside the copied part, as every slot's texture is.
    const std::vector<unsigned char> zeros(std::size_t(tw) * th * 4, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
    // Only the part of the rectangle that lies on the surface: the GL leaves
    // the rest of a copy undefined. Sums in 64 bits (coordinates saturate).
    const std::int64_t glY = std::int64_t(SurfaceHeight()) - y - height; // the rectangle's bottom, GL rows
    const std::int64_t x0 = std::max<std::int64_t>(x, 0), x1 = std::min<std::int64_t>(std::int64_t(x) + width, SurfaceWidth());
    const std::int64_t y0 = std::max<std::int64_t>(glY, 0), y1 = std::min<std::int64_t>(glY + height, SurfaceHeight());
    if (x0 < x1 && y0 < y1) {
        glReadBuffer(GL_BACK);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, GLint(x0 - x), GLint(y0 - glY), GLint(x0), GLint(y0), GLsizei(x1 - x0),
                            GLsizei(y1 - y0));
    }
    r.textureNames[slot][0] = name;
    r.textureWidth[slot] = tw;
    r.textureHeight[slot] = th;
    r.imageWidth[slot] = width;
    r.imageHeight[slot] = height;
}

double GetPixel(double xNumber, double yNumber) {
    const int x = ToInt(xNumber), y = ToInt(yNumber);
    if (x < 0 || y < 0 || x >= SurfaceWidth() || y >= SurfaceHeight()) return 0.0;
    unsigned char rgb[3] = {0, 0, 0};
    FlushQuads();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, SurfaceHeight() - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return double(rgb[0]) + 256.0 * rgb[1] + 65536.0 * rgb[2];
}

// ---------------------------------------------------------------- saving

namespace {

double Saved(const char* command, const RtString& file, bool written) {
    if (written) return 1.0;
    const std::string why = platform::WriteProblem(file.Buffer());
    ReportFailure(command, file.Buffer(), why.empty() ? "could not be written" : why);
    return 0.0;
}

} // namespace

double SaveScreen(const RtString& file) {
    if (SurfaceWidth() < 1 || SurfaceHeight() < 1) return 0.0;
    std::vector<unsigned char> pixels;
    try {
        pixels.resize(std::size_t(SurfaceWidth()) * SurfaceHeight() * 3);
    } catch (const std::bad_alloc&) {
        return 0.0;
    }
    FlushQuads();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, SurfaceWidth(), SurfaceHeight(), GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
    // Save names are the user's own: relative to the current directory, not resolved.
    return Saved("SaveScreen", file, WriteBmp24(file.Buffer(), pixels.data(), SurfaceWidth(), SurfaceHeight(), SurfaceWidth()));
}

double SaveSprite(double slotNumber, const RtString& file) {
    Sprite s;
    if (!SpriteOf(slotNumber, &s)) return 0.0;
    Renderer& r = TheRenderer();
    const int tw = r.textureWidth[s.slot], th = r.textureHeight[s.slot];
    if (s.w < 1 || s.h < 1 || s.w > tw || s.h > th) return 0.0;
    std::vector<unsigned char> pixels;
    try {
        pixels.resize(std::size_t(tw) * th * 3);
    } catch (const std::bad_alloc&) {
        return 0.0;
    }
    ForgetBoundTexture();
    glBindTexture(GL_TEXTURE_2D, r.textureNames[s.slot][0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
    return Saved("SaveSprite", file, WriteBmp24(file.Buffer(), pixels.data(), s.w, s.h, tw));
}

} // namespace corvane
