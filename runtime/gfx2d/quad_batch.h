// The one way 2D quads (sprites, text, filled rectangles, billboards) reach the GL.
// Commands describe the state a quad is drawn with and append its four corners;
// quads that share that state collect in one client-side vertex array and go to
// the GL as one draw call. A different state sends the pending quads first.
//
// Everything not in QuadState (blending, viewport, matrices, culling, fog, the
// texture environment...) is the GL state at the moment the quads are sent. So
// any code that changes such state, reads pixels back, or draws by other means
// calls FlushQuads() first; BindSlot, SetAlpha, the viewport, the primitives that
// are not quads, backgrounds, 3D drawing, video and the frame's present do.
//
// Internal to the runtime: not part of gfx2d.h.
#pragma once

#include <cstddef>

namespace corvane {

struct QuadVertex {
    float x, y, z;           // position as the current matrices take it (2D: x, -y, 0)
    float u, v;              // texture unit 0
    float r, g, b, a;        // colour (only for a QuadState that is coloured)
};

enum class QuadFill : unsigned char {
    Textured,                // the texture BindSlot bound, alpha test as the 2D state has it
    Flat,                    // no texture, no alpha test, nudged onto pixel centres (rectangles)
};

struct QuadState {
    unsigned int texture = 0;    // GL name on unit 0 (0: whatever is bound, e.g. untextured)
    QuadFill fill = QuadFill::Textured;
    // Coloured quads carry their own colour and leave the drawing alpha as the
    // current colour behind them; the others are drawn in the current colour.
    bool coloured = false;
    // Sprites split each quad into triangles as a fan (corners 0 1 2, then 0 2 3),
    // text and rectangles as GL quads: turned and filtered pictures keep the very
    // texels they always had only with the split they always had.
    bool fan = false;
    // Each texel lands on one pixel centre (an upright picture at its own size on
    // whole pixels under the 2D matrices): linear filtering gives exactly the
    // texel there, so the cheaper nearest lookup is used for the draw.
    bool texelPerPixel = false;
    // A turn about a point (RotateSprite): corners relative to it, the GL matrix
    // does the turning so that the pixels are the matrix stack's own.
    bool turned = false;
    float turnX = 0, turnY = 0, turnDegrees = 0;

    bool operator==(const QuadState&) const = default;
};

// The state of the quads appended next. Pending quads of another state are sent first.
void UseQuadState(const QuadState& state);

// Room for `quads` quads (4 corners each, counter-clockwise from the bottom-left),
// drawn with the last UseQuadState. Null when memory runs out: the quads are dropped.
QuadVertex* AppendQuads(std::size_t quads);

// Whether the matrices in force map 2D coordinates 1:1 onto pixels: set by the
// 2D viewport reset, cleared when 3D drawing sets its own.
void SetPixelGridMatrices(bool on);
bool PixelGridMatrices();

// Sends the pending quads (nothing when none, or when the GL context is gone).
void FlushQuads();

// Drops the pending quads unsent (the context is going away).
void DiscardQuads();

std::size_t PendingQuads();

// Sets one corner.
inline void SetQuadVertex(QuadVertex& v, float x, float y, float z, float u, float t, const float colour[4]) {
    v.x = x, v.y = y, v.z = z, v.u = u, v.v = t;
    v.r = colour[0], v.g = colour[1], v.b = colour[2], v.a = colour[3];
}

} // namespace corvane
