// The 2D quad batch on fixed-function GL: client-side arrays, one glDrawArrays per run.
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/gfx2d.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/renderer.h"

namespace corvane {

namespace {

// A frame of sprites or a screen of text fits; beyond it the quads go in parts,
// so a program that never flushes does not grow the array without bound.
constexpr std::size_t kMostQuads = 16384;

struct Batch {
    std::unique_ptr<QuadVertex[]> vertices;
    std::size_t capacity = 0;    // in vertices
    std::size_t count = 0;       // in vertices
    QuadState state;
    bool pixelGrid = false;
};

// Never destroyed: the renderer's own teardown at exit still asks it to flush.
Batch& TheBatch() {
    static Batch& batch = *new Batch;
    return batch;
}

// Corners 0 1 2 and 0 2 3 of every quad a batch can hold.
const GLushort* FanIndices() {
    static_assert(kMostQuads * 4 - 1 <= 0xFFFF, "a batch's corners are numbered in 16 bits");
    static const std::vector<GLushort> indices = [] {
        std::vector<GLushort> list;
        list.reserve(kMostQuads * 6);
        for (std::size_t q = 0; q < kMostQuads; ++q) {
            const auto first = GLushort(q * 4);
            for (int corner : {0, 1, 2, 0, 2, 3}) list.push_back(GLushort(first + corner));
        }
        return list;
    }();
    return indices.data();
}

bool Reserve(Batch& b, std::size_t vertices) {
    if (vertices <= b.capacity) return true;
    const std::size_t grown = std::max<std::size_t>({vertices, b.capacity * 2, 1024});
    std::unique_ptr<QuadVertex[]> more(new (std::nothrow) QuadVertex[grown]);
    if (!more) return false;
    if (b.count) std::memcpy(more.get(), b.vertices.get(), b.count * sizeof(QuadVertex));
    b.vertices = std::move(more);
    b.capacity = grown;
    return true;
}

void Send(const QuadState& s, const QuadVertex* v, std::size_t count) {
    const bool flat = s.fill == QuadFill::Flat;
    if (flat) {
        // The primitives' own state, for this draw only: no texture on either
        // unit, no alpha test, and the projection nudged so that edges fall
        // between pixel centres.
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(GL_ALPHA_TEST);
        if (auto active = gl::ActiveTexture()) {
            active(GL_TEXTURE1_ARB);
            glDisable(GL_TEXTURE_2D);
            active(GL_TEXTURE0_ARB);
        }
        glDisable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glTranslatef(0.375f, 0.375f, 0.0f);
        glMatrixMode(GL_MODELVIEW);
    }
    if (s.turned) {
        glPushMatrix();
        glTranslatef(s.turnX, s.turnY, 0.0f);
        glRotatef(s.turnDegrees, 0.0f, 0.0f, 1.0f);
    }
    // Client arrays read from memory only while no vertex buffer is bound.
    if (auto bindBuffer = gl::BindBuffer()) bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    constexpr GLsizei stride = sizeof(QuadVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, &v->x);
    if (!flat) {
        if (auto clientActive = gl::ClientActiveTexture()) clientActive(GL_TEXTURE0_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &v->u);
    }
    if (s.coloured) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, stride, &v->r);
    }
    GLint filters[2] = {0, 0};
    if (s.texelPerPixel) {
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filters[0]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filters[1]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
    if (s.fan)
        glDrawElements(GL_TRIANGLES, GLsizei(count / 4 * 6), GL_UNSIGNED_SHORT, FanIndices());
    else
        glDrawArrays(GL_QUADS, 0, GLsizei(count));
    if (s.coloured) glDisableClientState(GL_COLOR_ARRAY);
    if (s.texelPerPixel) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filters[0]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filters[1]);
    }
    if (!flat) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (s.turned) glPopMatrix();
    if (flat) {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopAttrib();
    }
    if (s.coloured) {
        // A colour array leaves the current colour undefined; the 2D state's is the alpha.
        const float a = TheRenderer().currentAlpha;
        glColor4f(a, a, a, a);
    }
}

} // namespace

void UseQuadState(const QuadState& state) {
    Batch& b = TheBatch();
    if (b.count && !(b.state == state)) FlushQuads();
    b.state = state;
}

QuadVertex* AppendQuads(std::size_t quads) {
    Batch& b = TheBatch();
    if (quads == 0 || quads > kMostQuads) return nullptr;
    if (b.count + quads * 4 > kMostQuads * 4) FlushQuads();
    if (!Reserve(b, b.count + quads * 4)) return nullptr;
    QuadVertex* room = b.vertices.get() + b.count;
    b.count += quads * 4;
    return room;
}

void FlushQuads() {
    Batch& b = TheBatch();
    if (!b.count) return;
    const std::size_t count = b.count;
    b.count = 0;
    if (ContextReady()) Send(b.state, b.vertices.get(), count);
}

void SetPixelGridMatrices(bool on) {
    FlushQuads();
    TheBatch().pixelGrid = on;
}

bool PixelGridMatrices() { return TheBatch().pixelGrid; }

void DiscardQuads() { TheBatch().count = 0; }

// Programs that call the GL themselves (or read the back buffer) need the quads
// drawn so far to be in it first.
void FlushDrawing() { FlushQuads(); }

std::size_t PendingQuads() { return TheBatch().count / 4; }

} // namespace corvane
