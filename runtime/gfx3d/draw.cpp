// Drawing objects: keyframe choice and blending, the view-cone test, vertex
// arrays in GL buffers (or client memory), and the 3D debug primitives.
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime/engine/engine.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"

namespace corvane {

namespace {

constexpr GLsizei kStride = GLsizei(sizeof(MeshVertex));

// An offset into the bound buffer, or into client memory when base is a pointer.
const void* At(const void* base, std::size_t offset) {
    return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) + offset);
}

long long TruncateFrame(double value) {
    if (!(value == value)) return 0;
    if (value >= 9.0e15) return 9000000000000000LL;
    if (value <= -9.0e15) return -9000000000000000LL;
    return static_cast<long long>(value);
}

// Fills the stream buffer with count vertices; the buffer is bound afterwards.
void UploadStream(Mesh& mesh, const MeshVertex* data, std::size_t bytes) {
    const auto bind = gl::BindBuffer();
    const auto upload = [&] {
        gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(bytes), data, GL_STREAM_DRAW_ARB);
        mesh.streamBufferBytes = bytes;
    };
    if (!mesh.streamBuffer) {
        gl::GenBuffers()(1, &mesh.streamBuffer);
        bind(GL_ARRAY_BUFFER_ARB, mesh.streamBuffer);
        upload();
        return;
    }
    if (bytes != mesh.streamBufferBytes) { // another size: specify the store anew
        bind(GL_ARRAY_BUFFER_ARB, mesh.streamBuffer);
        upload();
        return;
    }
    if (GLEntryPoints().mapBuffer && GLEntryPoints().unmapBuffer) {
        bind(GL_ARRAY_BUFFER_ARB, mesh.streamBuffer);
        if (void* p = gl::MapBuffer()(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB)) {
            std::memcpy(p, data, bytes);
            if (gl::UnmapBuffer()(GL_ARRAY_BUFFER_ARB)) return;
        }
        upload(); // mapping failed or the contents were lost
        return;
    }
    gl::DeleteBuffers()(1, &mesh.streamBuffer);
    gl::GenBuffers()(1, &mesh.streamBuffer);
    bind(GL_ARRAY_BUFFER_ARB, mesh.streamBuffer);
    upload();
}

// The stream buffer filled with count vertices that fill(out) writes: straight
// into the mapped buffer when mapping is offered (the vertices are written once),
// else through renderVertices. The buffer is bound afterwards.
template <typename Fill>
void FillStream(Mesh& mesh, std::size_t count, Fill&& fill) {
    const std::size_t bytes = count * sizeof(MeshVertex);
    if (GLEntryPoints().mapBuffer && GLEntryPoints().unmapBuffer) {
        if (!mesh.streamBuffer) gl::GenBuffers()(1, &mesh.streamBuffer);
        gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, mesh.streamBuffer);
        if (bytes != mesh.streamBufferBytes) {
            gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(bytes), nullptr, GL_STREAM_DRAW_ARB);
            mesh.streamBufferBytes = bytes;
        }
        if (void* p = gl::MapBuffer()(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB)) {
            fill(static_cast<MeshVertex*>(p));
            if (gl::UnmapBuffer()(GL_ARRAY_BUFFER_ARB)) return;
        }
    }
    mesh.renderVertices.resize(count);
    fill(mesh.renderVertices.data());
    if (GLEntryPoints().mapBuffer && GLEntryPoints().unmapBuffer) { // mapping failed or the contents were lost
        gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(bytes), mesh.renderVertices.data(), GL_STREAM_DRAW_ARB);
        return;
    }
    UploadStream(mesh, mesh.renderVertices.data(), bytes);
}

void DrawMesh(Scene3D& scene, Mesh& mesh, double first, double second, double weight, bool animate) {
    const BoundTextures r = CurrentBinding();
    if (mesh.frames.empty() || mesh.frames[0].corners.empty()) return;
    FlushQuads(); // 2D quads drawn so far come first, under their own state
    const FrameChoice choice = ChooseFrames(int(std::min<std::size_t>(mesh.frames.size(), INT_MAX)), first, second,
                                            weight, animate);
    const MeshFrame& frameA = mesh.frames[std::size_t(choice.a)];
    const MeshFrame& frameB = mesh.frames[std::size_t(choice.b)];

    float placement[16];
    PlacementMatrix(scene, placement);
    if (!InViewCone(scene, placement, frameA)) return;

    const float alpha = DrawingAlpha();
    glColor4f(alpha, alpha, alpha, alpha);

    // Without the multitexture entry points an effect light changes nothing drawn.
    const bool multi = gl::HasMultitexture();
    if (scene.effectEnabled) PrepareEffect(scene, mesh, multi);
    const bool effect = scene.effectEnabled && multi;

    // Frames of different lengths cannot be blended: frame A alone.
    const std::size_t count = TriangleVertexCount(mesh, frameA);
    const float a = TriangleVertexCount(mesh, frameB) == count ? choice.weight : 0.0f;
    if (effect && scene.effectMode == 3) {
        // The volume instead of the object (and nothing outside the pass).
        DrawShadowVolume(scene, mesh, frameA, frameB, a, placement);
        return;
    }
    if (count == 0 || count > std::size_t(INT_MAX)) return;
    const float du = scene.textureOffset[0], dv = scene.textureOffset[1];
    const bool plain = !effect && a == 0.0f && du == 0.0f && dv == 0.0f; // frame A as it is
    const bool buffers = gl::HasBuffers();
    const void* base = nullptr;
    if (effect) {
        FillEffectVertices(scene, mesh, frameA, frameB, a, placement, mesh.renderVertices);
        if (buffers)
            UploadStream(mesh, mesh.renderVertices.data(), count * sizeof(MeshVertex));
        else
            base = mesh.renderVertices.data();
    } else if (!buffers) {
        if (plain)
            DecodeTriangles(mesh, frameA, mesh.renderVertices);
        else
            BlendFrames(mesh, frameA, frameB, a, scene.textureOffset, mesh.renderVertices);
        base = mesh.renderVertices.data();
    } else if (plain && choice.a == 0) {
        if (!mesh.staticBuffer) {
            // Frame 0 is decoded for its one upload and not kept.
            std::vector<MeshVertex> vertices;
            DecodeTriangles(mesh, frameA, vertices);
            gl::GenBuffers()(1, &mesh.staticBuffer);
            gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, mesh.staticBuffer);
            gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(count * sizeof(MeshVertex)), vertices.data(),
                             GL_STATIC_DRAW_ARB);
        } else {
            gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, mesh.staticBuffer);
        }
    } else if (plain) {
        FillStream(mesh, count, [&](MeshVertex* out) { DecodeTriangles(mesh, frameA, out); });
    } else {
        FillStream(mesh, count, [&](MeshVertex* out) { BlendFrames(mesh, frameA, frameB, a, scene.textureOffset, out); });
    }

    // Texturing as SetTexture bound it, or as the effect needs.
    if (effect) {
        SetUpEffectTexturing(scene, mesh, base, kStride);
    } else if (r.slot >= 0) {
        if (multi) gl::ClientActiveTexture()(GL_TEXTURE0_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, kStride, At(base, 24));
        if (multi && r.secondSlot >= 0) {
            gl::ClientActiveTexture()(GL_TEXTURE1_ARB);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, kStride, At(base, 24));
            gl::ClientActiveTexture()(GL_TEXTURE0_ARB);
        }
    }
    if (mesh.hasColours && !effect) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, kStride, At(base, 76));
    }

    glEnable(GL_COLOR_MATERIAL);
    glPushMatrix();
    ApplyTransformStack(scene);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, kStride, base);
    if (scene.lightMask != 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, kStride, At(base, 12));
    }
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(count));

    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (multi) {
        gl::ClientActiveTexture()(GL_TEXTURE1_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        gl::ClientActiveTexture()(GL_TEXTURE0_ARB);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (effect) RestoreEffectTexturing(scene);
    if (buffers) gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
    glPopMatrix();
    // A colour array leaves the current colour undefined.
    if (mesh.hasColours || effect) glColor4f(alpha, alpha, alpha, alpha);
}

// Colour material in a packed colour, 2D texturing off while a texture is
// bound; everything put back on leaving.
struct DebugDrawScope {
    bool textured;
    explicit DebugDrawScope(double colour) : textured(CurrentBinding().slot >= 0) {
        const std::uint32_t c = std::uint32_t(ToInt(colour));
        FlushQuads();
        glPushMatrix();
        glEnable(GL_COLOR_MATERIAL);
        glColor4ub(GLubyte(c & 0xFF), GLubyte((c >> 8) & 0xFF), GLubyte((c >> 16) & 0xFF), 255);
        if (textured) glDisable(GL_TEXTURE_2D);
    }
    ~DebugDrawScope() {
        const float alpha = DrawingAlpha();
        glColor4f(alpha, alpha, alpha, alpha);
        if (textured) glEnable(GL_TEXTURE_2D);
        glPopMatrix();
    }
};

float LimitSize(double size) {
    if (!(size >= 1.0)) return 1.0f; // also NaN
    return size > 512.0 ? 512.0f : float(size);
}

} // namespace

// ---------------------------------------------------------------- frame choice, blending, visibility

FrameChoice ChooseFrames(int frameCount, double first, double second, double weight, bool animate) {
    FrameChoice choice;
    if (frameCount <= 0) return choice;
    const auto clampFrame = [&](long long f) { return int(std::clamp<long long>(f, 0, frameCount - 1)); };
    if (!(weight == weight)) weight = 0.0;
    const long long f = ToInt(first), s = ToInt(second);
    if (!animate) {
        choice.a = clampFrame(f);
        choice.b = clampFrame(s);
        choice.weight = float(weight);
        return choice;
    }
    double x = weight;
    if (x != 1.0) x = std::fmod(x, 1.0); // a negative weight stays negative
    const double h = double(f) + double(s - f) * x;
    const long long w = TruncateFrame(h);
    if (h == double(w)) { // a whole-number position is that frame, in either direction
        choice.a = choice.b = clampFrame(w);
        choice.weight = 0.0f;
    } else if (s > f) {
        choice.a = clampFrame(w);
        choice.b = clampFrame(w + 1);
        choice.weight = float(1.0 - (h - double(w)));
    } else {
        choice.a = clampFrame(w + 1);
        choice.b = clampFrame(w);
        choice.weight = float(h - double(w));
    }
    return choice;
}

float FastSqrt(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits = (bits >> 1) + 0x1FC00000u;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

bool InViewCone(const Scene3D& scene, const float m[16], const MeshFrame& frame) {
    // The bounding sphere placed as the object is drawn: centre through the whole
    // placement, radius scaled by its longest axis.
    float centre[3];
    TransformPoint(m, frame.boundCentre, centre);
    float longest = 0.0f;
    for (int c = 0; c < 3; ++c)
        longest = std::max(longest, std::sqrt(m[c * 4] * m[c * 4] + m[c * 4 + 1] * m[c * 4 + 1] +
                                              m[c * 4 + 2] * m[c * 4 + 2]));
    const float radius = frame.boundRadius * longest;

    const float* eye = scene.cameraPosition;
    float d[3] = {scene.cameraTarget[0] - eye[0], scene.cameraTarget[1] - eye[1], scene.cameraTarget[2] - eye[2]};
    const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(length > 0.0f)) return true; // no view direction to test against
    for (float& e : d) e /= length;
    const float v[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    const float along = d[0] * v[0] + d[1] * v[1] + d[2] * v[2];
    if (along >= 0.0f) {
        const float p[3] = {d[0] * along, d[1] * along, d[2] * along};
        const float off[3] = {v[0] - p[0], v[1] - p[1], v[2] - p[2]};
        const float offSq = off[0] * off[0] + off[1] * off[1] + off[2] * off[2];
        const float reach = FastSqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) * scene.cullConeFactor * 1.05f;
        return offSq < radius * radius + reach * reach;
    }
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2] <= radius * radius;
}

// ---------------------------------------------------------------- commands

void DrawObject(double slotNumber, double first, double second, double weight, double animate) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    if (!slot) return;
    for (Mesh& mesh : slot->meshes) DrawMesh(scene, mesh, first, second, weight, animate != 0.0);
}

void DrawObjectFrame(double slot, double frame) { DrawObject(slot, frame, 0, 0, 0); }

void DrawLine3D(double x1, double y1, double z1, double x2, double y2, double z2, double width, double colour) {
    DebugDrawScope scope(colour);
    const GLboolean smooth = glIsEnabled(GL_LINE_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(LimitSize(width));
    glBegin(GL_LINES);
    glVertex3f(float(x1), float(y1), float(z1));
    glVertex3f(float(x2), float(y2), float(z2));
    glEnd();
    glLineWidth(1.0f);
    if (!smooth) glDisable(GL_LINE_SMOOTH);
}

void DrawPoint3D(double x, double y, double z, double size, double colour) {
    DebugDrawScope scope(colour);
    const GLboolean smooth = glIsEnabled(GL_POINT_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glPointSize(LimitSize(size));
    glBegin(GL_POINTS);
    glVertex3f(float(x), float(y), float(z));
    glEnd();
    glPointSize(1.0f);
    if (!smooth) glDisable(GL_POINT_SMOOTH);
}

void DrawAxes3D(double x, double y, double z) {
    static const float kArrows[3][8][3] = {
        {{0, 0, 0}, {1, 0, 0}, {0.75f, 0.25f, 0}, {0.75f, -0.25f, 0}, {1, 0, 0}, {0.75f, 0, 0.25f}, {0.75f, 0, -0.25f}, {1, 0, 0}},
        {{0, 0, 0}, {0, 1, 0}, {0, 0.75f, 0.25f}, {0, 0.75f, -0.25f}, {0, 1, 0}, {0.25f, 0.75f, 0}, {-0.25f, 0.75f, 0}, {0, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0.25f, 0, 0.75f}, {-0.25f, 0, 0.75f}, {0, 0, 1}, {0, 0.25f, 0.75f}, {0, -0.25f, 0.75f}, {0, 0, 1}},
    };
    static const std::uint32_t kColours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    const Scene3D& scene = TheScene();
    for (int axis = 0; axis < 3; ++axis) {
        DebugDrawScope scope(kColours[axis]);
        glLoadMatrixf(scene.cameraMatrix);
        glTranslatef(float(x), float(y), float(z));
        glScalef(20.0f, 20.0f, 20.0f);
        glBegin(GL_LINE_STRIP);
        for (const auto& p : kArrows[axis]) glVertex3fv(p);
        glEnd();
    }
}

} // namespace corvane
