// The effect light's three effects: DOT3 bump mapping, cel shading through a
// toon texture, and stencil shadow volumes with the pass that darkens them.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"
#include "runtime/gfx3d/shadow_volume.h"

namespace corvane {

namespace {

// The stencil holds garbage until something clears it: the first opening does.
bool stencilEverCleared = false;

struct CellKey {
    long long x, y, z;
    bool operator==(const CellKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

std::uint64_t HashOf(const CellKey& k) {
    return Mix(std::uint64_t(k.x) ^ Mix(std::uint64_t(k.y) ^ Mix(std::uint64_t(k.z))));
}
std::uint64_t HashOf(std::uint64_t k) { return Mix(k); }

// An open-addressing table that doubles at half load: no node per entry, and
// its size follows the distinct keys, so welding and edge matching stay linear.
template <typename Key, typename Value>
class FlatTable {
public:
    FlatTable() { entries_.resize(1024); }
    Value* Find(const Key& key) {
        for (std::size_t i = HashOf(key) & (entries_.size() - 1);; i = (i + 1) & (entries_.size() - 1)) {
            Entry& e = entries_[i];
            if (!e.used) return nullptr;
            if (e.key == key) return &e.value;
        }
    }
    // The value stored under key, inserted as `fresh` when absent; true when inserted.
    // The pointer holds until the next insertion.
    std::pair<Value*, bool> Insert(const Key& key, const Value& fresh) {
        if ((used_ + 1) * 2 > entries_.size()) Grow();
        for (std::size_t i = HashOf(key) & (entries_.size() - 1);; i = (i + 1) & (entries_.size() - 1)) {
            Entry& e = entries_[i];
            if (!e.used) {
                e.used = true, e.key = key, e.value = fresh;
                ++used_;
                return {&e.value, true};
            }
            if (e.key == key) return {&e.value, false};
        }
    }

private:
    struct Entry {
        Key key{};
        Value value{};
        bool used = false;
    };
    void Grow() {
        std::vector<Entry> old(entries_.size() * 2);
        old.swap(entries_);
        used_ = 0;
        for (const Entry& e : old)
            if (e.used) Insert(e.key, e.value);
    }
    std::vector<Entry> entries_;
    std::size_t used_ = 0;
};

constexpr double kWeld = 1.0e-5;
constexpr double kCell = 4.0 * kWeld;    // a corner near a cell's middle needs no neighbour cell
constexpr double kCellLimit = 1.0e15;    // beyond this a cell number would not fit
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Maps each corner to the first earlier corner within kWeld on every axis, through
// a hashed grid: each cell chains the representatives in it, and a corner looks
// into a neighbouring cell only when it lies within kWeld of that side, so the
// work per corner does not grow with the count.
std::vector<std::uint32_t> WeldCorners(const MeshVertex* v, std::size_t count) {
    std::vector<std::uint32_t> welded(count), next(count, kNone);
    FlatTable<CellKey, std::uint32_t> cells; // cell -> latest representative in it
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = v[i].position;
        welded[i] = std::uint32_t(i);
        double c[3];
        int from[3], to[3];
        bool usable = true;
        for (int a = 0; a < 3; ++a) {
            const double scaled = double(p[a]) / kCell;
            c[a] = std::floor(scaled);
            if (!(std::fabs(c[a]) < kCellLimit)) {
                usable = false; // NaN and huge values weld to nothing
                break;
            }
            const double inside = (scaled - c[a]) * kCell; // distance from the cell's low side
            from[a] = inside <= kWeld ? -1 : 0;
            to[a] = kCell - inside <= kWeld ? 1 : 0;
        }
        if (!usable) continue;
        const CellKey home{(long long)c[0], (long long)c[1], (long long)c[2]};
        std::uint32_t best = std::uint32_t(i);
        for (int dx = from[0]; dx <= to[0]; ++dx)
            for (int dy = from[1]; dy <= to[1]; ++dy)
                for (int dz = from[2]; dz <= to[2]; ++dz) {
                    const std::uint32_t* head = cells.Find(CellKey{home.x + dx, home.y + dy, home.z + dz});
                    for (std::uint32_t r = head ? *head : kNone; r != kNone; r = next[r]) {
                        if (r >= best) continue;
                        const float* q = v[r].position;
                        if (std::fabs(double(p[0]) - q[0]) <= kWeld && std::fabs(double(p[1]) - q[1]) <= kWeld &&
                            std::fabs(double(p[2]) - q[2]) <= kWeld)
                            best = r;
                    }
                }
        welded[i] = best;
        if (best != i) continue;
        auto [head, fresh] = cells.Insert(home, best);
        if (!fresh) {
            next[i] = *head;
            *head = best;
        }
    }
    return welded;
}

bool FacesLight(const MeshVertex* t, const float light[3]) {
    const float* a = t[0].position;
    const float* b = t[1].position;
    const float* c = t[2].position;
    const float u[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    const float w[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    // Measured from the triangle, not from the object's origin: a light near the
    // object would otherwise count faces it cannot reach as lit.
    const float l[3] = {light[0] - b[0], light[1] - b[1], light[2] - b[2]};
    return n[0] * l[0] + n[1] * l[1] + n[2] * l[2] > 0.0f;
}

void PushPoint(std::vector<float>& out, const float p[3]) { out.insert(out.end(), {p[0], p[1], p[2], 1.0f}); }

void PushFar(std::vector<float>& out, const float p[3], const float light[3]) {
    out.insert(out.end(), {p[0] - light[0], p[1] - light[1], p[2] - light[2], 0.0f});
}

void Normalise3(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f)
        for (int i = 0; i < 3; ++i) v[i] /= length;
}

float Dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The first corner that is a vertex rather than a primitive marker.
const MeshCorner* FirstVertexCorner(const MeshObject& mesh) {
    if (mesh.frames.empty()) return nullptr;
    for (const MeshCorner& c : mesh.frames[0].corners) {
        const std::uint32_t colour = c.colourIndex < mesh.colours.size() ? mesh.colours[c.colourIndex] : 0xFFFFFFu;
        if (!IsMarker(colour)) return &c;
    }
    return nullptr;
}

void SetUnitModulate(GLenum unit) {
    gl::ActiveTexture()(unit);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// The toon ramp: dark, a broad middle band, a short step, then full light.
constexpr unsigned char kToonRamp[16] = {100, 160, 160, 160, 160, 160, 160, 207,
                                         255, 255, 255, 255, 255, 255, 255, 255};

} // namespace

// ---------------------------------------------------------------- the effect light and the pass

void SelectEffectLight(int number, double colour, double x, double y, double z, double cone) {
    Scene3D& s = TheScene();
    const bool on = float(cone) != 0.0f;
    s.effectEnabled = on;
    s.effectLightPosition[0] = float(x), s.effectLightPosition[1] = float(y), s.effectLightPosition[2] = float(z);
    const std::uint32_t c = std::uint32_t(ToInt(colour));
    s.effectLightColour[0] = float(c & 0xFF) / 255.0f;
    s.effectLightColour[1] = float((c >> 8) & 0xFF) / 255.0f;
    s.effectLightColour[2] = float((c >> 16) & 0xFF) / 255.0f;
    s.effectMode = number == -1 ? 1 : (number == -3 ? 3 : 2);
    if (number == -3) SetShadowPass(on);
}

void InitScene3D() { Upward().setShadowPass = SetShadowPass; }

void SetShadowPass(bool on) {
    Scene3D& s = TheScene();
    if (on == s.shadowPassActive) return;
    FlushQuads();
    // Stored first: the viewport reset inside the closing must not close again.
    s.shadowPassActive = on;
    if (on) {
        if (!stencilEverCleared) {
            glClearStencil(0);
            glClear(GL_STENCIL_BUFFER_BIT);
            stencilEverCleared = true;
        }
        glShadeModel(GL_FLAT);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glEnable(GL_STENCIL_TEST);
        glDepthMask(GL_FALSE);
        glStencilFunc(GL_ALWAYS, 0, 0);
        glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
        return;
    }
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    ResetViewport(0, 0, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    SetDrawingAlpha(0.5f);
    glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_NOTEQUAL, 0, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    // Black at half alpha over every pixel a volume marked; the whole surface,
    // however large it is.
    DrawRect(0, 0, std::max(3000, SurfaceWidth() - 1), std::max(2000, SurfaceHeight() - 1), 0);
    FlushQuads(); // under this stencil state, before it is undone
    glDisable(GL_BLEND);
    SetDrawingAlpha(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glDepthFunc(GL_LESS);
    glDisable(GL_STENCIL_TEST);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    stencilEverCleared = true;
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
}

// ---------------------------------------------------------------- per-mesh preparation

bool PrepareEffect(Scene3D& scene, Mesh& mesh, bool multitexture) {
    bool changed = false;
    if (scene.effectMode == 1)
        changed = ComputeNormals(mesh, scene.smoothingMode == 2, true);
    else
        changed = ComputeNormals(mesh, false, false);
    if (changed) {
        // The corners changed: the triangles follow, and frame 0's upload is stale.
        mesh.ExpandFrames();
        if (mesh.staticBuffer && ContextReady()) {
            if (auto deleteBuffers = gl::DeleteBuffers()) deleteBuffers(1, &mesh.staticBuffer);
        }
        mesh.staticBuffer = 0;
    }
    if (!mesh.framesExpanded) mesh.ExpandFrames();
    if (!multitexture || mesh.frames.empty()) return changed;
    if (scene.effectMode == 2) MakeToonTexture(mesh);
    if (scene.effectMode == 3 && mesh.edgeNeighbours.size() != TriangleVertexCount(mesh, mesh.frames[0])) {
        std::vector<MeshVertex> frame0;
        DecodeTriangles(mesh, mesh.frames[0], frame0);
        BuildEdgeNeighbours(frame0.data(), frame0.size(), mesh.edgeNeighbours);
    }
    return changed;
}

bool TangentsMissing(const MeshObject& mesh) {
    const MeshCorner* c = FirstVertexCorner(mesh);
    return c && c->tangentIndex == 0 && c->binormalIndex == 0;
}

void MakeToonTexture(Mesh& mesh) {
    if (mesh.toonTexture && mesh.toonColours == mesh.colours) return;
    if (mesh.toonTexture && ContextReady()) glDeleteTextures(1, &mesh.toonTexture);
    mesh.toonTexture = 0;
    const std::size_t count = std::max<std::size_t>(mesh.colours.size(), 1);
    std::size_t height = 1;
    while (height < count && height < 16384) height *= 2;
    if (height < count) height = count;
    const std::vector<unsigned char> texels = ToonTexels(mesh.colours, height);

    // Made on whichever unit is active: that unit's binding is put back after.
    GLint alignment = 4, previous = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(1, &mesh.toonTexture);
    glBindTexture(GL_TEXTURE_2D, mesh.toonTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, GLsizei(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    mesh.toonRowStep = 1.0f / float(height);
    mesh.toonColours = mesh.colours;
}

std::vector<unsigned char> ToonTexels(const std::vector<std::uint32_t>& colours, std::size_t height) {
    std::vector<unsigned char> texels(height * 16 * 4);
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint32_t c = row < colours.size() ? colours[row] : (colours.empty() ? 0xFFFFFFu : colours[0]);
        const unsigned channel[3] = {IsNoColour(c) ? 255u : (c & 0xFF), IsNoColour(c) ? 255u : ((c >> 8) & 0xFF),
                                     IsNoColour(c) ? 255u : ((c >> 16) & 0xFF)};
        for (int s = 0; s < 16; ++s) {
            unsigned char* t = &texels[(row * 16 + std::size_t(s)) * 4];
            for (int i = 0; i < 3; ++i) t[i] = static_cast<unsigned char>(channel[i] * kToonRamp[s] / 255u);
            t[3] = 255;
        }
    }
    return texels;
}

// ---------------------------------------------------------------- per-vertex effect data

// The effect light in the object's own coordinates: through the whole inverse
// placement, scale included, so a scaled object is lit and shadowed as one
// built at that size.
namespace {
void EffectLightInObject(const Scene3D& scene, const float placement[16], float light[3]) {
    float inverse[16];
    AffineInverse(placement, inverse);
    TransformPoint(inverse, scene.effectLightPosition, light);
}
} // namespace

void FillEffectVertices(const Scene3D& scene, const Mesh& mesh, const MeshFrame& frameA,
                        const MeshFrame& frameB, float a, const float placement[16], std::vector<MeshVertex>& out) {
    const std::size_t count = TriangleVertexCount(mesh, frameA);
    if (TriangleVertexCount(mesh, frameB) != count) a = 0.0f;
    float light[3];
    EffectLightInObject(scene, placement, light);
    // The blend (texture offset included) first; the light values read its positions and normals.
    BlendFrames(mesh, frameA, frameB, a, scene.textureOffset, out);
    const MeshFrame& tangentFrame = a != 0.0f ? frameB : frameA; // tangents' source frame
    const std::vector<std::uint32_t>& tangentCorners = TriangleCorners(mesh, tangentFrame);
    const auto tableEntry = [](std::uint8_t index) { return kNormalTable[std::min<int>(index, kNormalCount - 1)]; };
    const int mode = scene.effectMode;
    const float rowStep = mesh.toonRowStep;
    for (std::size_t k = 0; k < count; ++k) {
        MeshVertex& v = out[k];
        float l[3] = {light[0] - v.position[0], light[1] - v.position[1], light[2] - v.position[2]};
        Normalise3(l);
        if (mode == 1) {
            const MeshCorner& c = tangentFrame.corners[tangentCorners[k]];
            v.lightColour[0] = Dot3(tableEntry(c.tangentIndex), l) * 0.5f + 0.5f;
            v.lightColour[1] = Dot3(tableEntry(c.binormalIndex), l) * 0.5f + 0.5f;
            v.lightColour[2] = Dot3(v.normal, l) * 0.5f + 0.5f;
        } else if (mode == 2) {
            const float s = Dot3(v.normal, l);
            v.binormal[0] = s > 0.95f ? 0.95f : (s >= 0.05f ? s : 0.05f); // NaN as the dark end
            v.binormal[1] = (float(v.colourIndex) + 0.5f) * rowStep;
        }
    }
}

// ---------------------------------------------------------------- texturing

void SetUpEffectTexturing(const Scene3D& scene, const Mesh& mesh, const void* base, int stride) {
    const BoundTextures r = CurrentBinding();
    const auto at = [&](std::size_t offset) {
        return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) + offset);
    };
    const auto client = gl::ClientActiveTexture();
    if (scene.effectMode == 1) {
        // Unit 0 (the normal map as BindSlot left it) takes the dot product of the
        // light vector in the primary colour with the texel; unit 1 modulates.
        gl::ActiveTexture()(GL_TEXTURE0_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_DOT3_RGB_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PRIMARY_COLOR_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
        SetUnitModulate(GL_TEXTURE1_ARB);
        gl::ActiveTexture()(GL_TEXTURE0_ARB);
        for (GLenum unit : {GL_TEXTURE0_ARB, GL_TEXTURE1_ARB}) {
            client(unit);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, stride, at(24));
        }
        client(GL_TEXTURE0_ARB);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, stride, at(32));
        return;
    }
    // Cel shading: the toon ramp on unit 1, the chosen texture on unit 0.
    gl::ActiveTexture()(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, mesh.toonTexture);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl::ActiveTexture()(GL_TEXTURE0_ARB);
    client(GL_TEXTURE1_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, at(56));
    client(GL_TEXTURE0_ARB);
    if (r.slot >= 0) {
        // With two slots bound, unit 0 holds the second; the first is the one shown.
        if (r.secondSlot >= 0) glBindTexture(GL_TEXTURE_2D, r.names[1]);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, at(24));
    }
    // The vertex colours are in the toon ramp's rows already: no colour array, or
    // they would count twice.
}

void RestoreEffectTexturing(const Scene3D&) {
    const BoundTextures r = CurrentBinding();
    const auto client = gl::ClientActiveTexture();
    client(GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    client(GL_TEXTURE0_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    // Both units back to what BindSlot bound, modulating, unit 0 active: the next
    // sprite or text must not come out as a dot product.
    SetUnitModulate(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, r.names[1]);
    if (r.slot >= 0 && r.secondSlot >= 0)
        glEnable(GL_TEXTURE_2D);
    else
        glDisable(GL_TEXTURE_2D);
    SetUnitModulate(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, r.names[0]);
}

// ---------------------------------------------------------------- shadow volumes

void BuildEdgeNeighbours(const MeshVertex* corners, std::size_t count, std::vector<EdgeNeighbour>& out) {
    const std::size_t triangles = std::min<std::size_t>(count / 3, 0x7FFFFFFF / 3);
    count = triangles * 3;
    out.assign(count, EdgeNeighbour{});
    const std::vector<std::uint32_t> welded = WeldCorners(corners, count);
    // An edge by its welded ends in either order: the first two triangles on it.
    FlatTable<std::uint64_t, std::pair<std::int32_t, std::int32_t>> edges;
    const auto key = [&](std::size_t t, int l) {
        const std::uint64_t p = welded[t * 3 + std::size_t(l)], q = welded[t * 3 + std::size_t((l + 1) % 3)];
        return p < q ? (p << 32 | q) : (q << 32 | p);
    };
    for (std::size_t t = 0; t < triangles; ++t)
        for (int l = 0; l < 3; ++l) {
            auto [two, fresh] = edges.Insert(key(t, l), {std::int32_t(t), -1});
            if (!fresh && two->second < 0 && two->first != std::int32_t(t)) two->second = std::int32_t(t);
        }
    for (std::size_t t = 0; t < triangles; ++t)
        for (int l = 0; l < 3; ++l) {
            const auto& two = *edges.Find(key(t, l));
            out[t * 3 + std::size_t(l)].neighbour = two.first != std::int32_t(t) ? two.first : two.second;
        }
}

void MarkLitFaces(const MeshVertex* corners, std::size_t count, const float light[3],
                  std::vector<EdgeNeighbour>& edges, std::vector<std::uint8_t>& faceLit) {
    const std::size_t triangles = std::min(count / 3, edges.size() / 3);
    faceLit.assign(triangles, 0);
    for (std::size_t t = 0; t < triangles; ++t) faceLit[t] = FacesLight(&corners[t * 3], light) ? 1 : 0;
    for (std::size_t t = 0; t < triangles; ++t)
        for (int l = 0; l < 3; ++l) {
            EdgeNeighbour& e = edges[t * 3 + std::size_t(l)];
            const bool across = e.neighbour >= 0 && std::size_t(e.neighbour) < triangles && faceLit[std::size_t(e.neighbour)];
            e.silhouette = faceLit[t] && !across;
        }
}

void BuildShadowVolumeFaces(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                            const std::vector<std::uint8_t>& faceLit, const float light[3], bool farCaps,
                            std::vector<float>& out) {
    const std::size_t triangles = std::min({count / 3, edges.size() / 3, faceLit.size()});
    out.clear();
    for (std::size_t t = 0; t < triangles; ++t) {
        if (!faceLit[t]) continue;
        for (int l = 0; l < 3; ++l) {
            if (!edges[t * 3 + std::size_t(l)].silhouette) continue;
            const float* p = corners[t * 3 + std::size_t(l)].position;
            const float* q = corners[t * 3 + std::size_t((l + 1) % 3)].position;
            // The quad (q, p, p far, q far) as two triangles.
            PushPoint(out, q), PushPoint(out, p), PushFar(out, p, light);
            PushPoint(out, q), PushFar(out, p, light), PushFar(out, q, light);
        }
    }
    for (std::size_t t = 0; t < triangles; ++t) {
        if (!faceLit[t] && !farCaps) continue;
        for (int l = 0; l < 3; ++l) {
            const float* p = corners[t * 3 + std::size_t(l)].position;
            if (faceLit[t])
                PushPoint(out, p);
            else
                PushFar(out, p, light);
        }
    }
}

void BuildShadowVolume(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                       const std::vector<std::uint8_t>& faceLit, const float light[3], std::vector<float>& out) {
    BuildShadowVolumeFaces(corners, count, edges, faceLit, light, true, out);
}

bool InfinityOutsideView(const float m[16]) {
    // A point at infinity stays one under the object's placement (w = 0), so its
    // clip coordinates come from the projection's first three columns. When the
    // z and w rows ignore x and y, it is inside only if |A dz| <= |C dz| (A, C the
    // z and w rows' z entries); with dz = 0 its x or y is non-zero while w is 0.
    const float a = m[10], c = m[11];
    if (m[2] != 0.0f || m[6] != 0.0f || m[3] != 0.0f || m[7] != 0.0f) return false;
    if (!(std::fabs(a) > std::fabs(c) * (1.0f + 1.0e-5f))) return false;
    // x and y must not vanish together for a direction with dz = 0.
    return m[0] * m[5] - m[4] * m[1] != 0.0f;
}

std::uint64_t ShadowVolumeKey(const MeshVertex* corners, std::size_t count, const std::vector<EdgeNeighbour>& edges,
                              const float light[3], bool farCaps) {
    // Two independent lanes of 64-bit words: the multiplications overlap, so the
    // digest costs a small part of what building the volume again would.
    std::uint64_t h0 = 0x243F6A8885A308D3ull ^ count, h1 = 0x13198A2E03707344ull + (farCaps ? 1 : 0);
    const auto step = [](std::uint64_t& h, std::uint64_t w) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 32;
    };
    const auto bits = [](float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return std::uint64_t(u);
    };
    step(h0, bits(light[0]) << 32 | bits(light[1]));
    step(h1, bits(light[2]) << 32 | std::uint32_t(edges.size()));
    for (std::size_t k = 0; k < count; ++k) {
        const float* p = corners[k].position;
        const std::uint32_t n = k < edges.size() ? std::uint32_t(edges[k].neighbour) : 0xFFFFFFFEu;
        step(h0, bits(p[0]) << 32 | bits(p[1]));
        step(h1, bits(p[2]) << 32 | n);
    }
    const std::uint64_t h = Mix(h0 ^ Mix(h1));
    return h ? h : 1;
}

void DrawShadowVolume(Scene3D& scene, Mesh& mesh, const MeshFrame& frameA, const MeshFrame& frameB,
                      float a, const float placement[16]) {
    const BoundTextures r = CurrentBinding();
    if (!scene.shadowPassActive) return; // outside the pass there is nothing to count into
    float light[3];
    EffectLightInObject(scene, placement, light);

    // The pose as drawn: frame A, or the blend when there is one.
    const float none[2] = {0, 0};
    BlendFrames(mesh, frameA, frameB, a, none, mesh.renderVertices);
    const MeshVertex* pose = mesh.renderVertices.data();
    const std::size_t count = mesh.renderVertices.size();
    // An unblended pose under an unchanged light keeps its volume in a buffer:
    // a still caster under a still light is built once, however the camera moves.
    const bool buffers = gl::HasBuffers();
    const bool still = a == 0.0f || TriangleVertexCount(mesh, frameB) != count;
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    const bool farCaps = !InfinityOutsideView(projection);
    const std::uint64_t key = buffers && still ? ShadowVolumeKey(pose, count, mesh.edgeNeighbours, light, farCaps) : 0;
    static thread_local std::vector<float> volume;
    std::size_t vertices = 0;
    const void* data = nullptr;
    if (key && key == mesh.shadowKey && mesh.shadowBuffer) {
        vertices = mesh.shadowVertices;
        gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, mesh.shadowBuffer);
    } else {
        MarkLitFaces(pose, count, light, mesh.edgeNeighbours, mesh.faceLit);
        BuildShadowVolumeFaces(pose, count, mesh.edgeNeighbours, mesh.faceLit, light, farCaps, volume);
        vertices = std::min<std::size_t>(volume.size() / 4, 0x7FFFFFFF);
        data = volume.data();
        if (key) {
            if (!mesh.shadowBuffer) gl::GenBuffers()(1, &mesh.shadowBuffer);
            gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, mesh.shadowBuffer);
            gl::BufferData()(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(vertices * 4 * sizeof(float)), volume.data(),
                             GL_STATIC_DRAW_ARB);
            mesh.shadowKey = key;
            mesh.shadowVertices = vertices;
            data = nullptr;
        } else if (buffers) {
            gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
        }
    }
    if (vertices == 0) {
        if (buffers) gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
        return;
    }

    const GLboolean culling = glIsEnabled(GL_CULL_FACE), lighting = glIsEnabled(GL_LIGHTING);
    GLint frontFace = GL_CCW, cullFace = GL_BACK;
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    glGetIntegerv(GL_CULL_FACE_MODE, &cullFace);
    const bool multi = gl::HasMultitexture();
    if (multi) {
        gl::ActiveTexture()(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        gl::ActiveTexture()(GL_TEXTURE0_ARB);
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);

    glPushMatrix();
    ApplyTransformStack(scene);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(4, GL_FLOAT, 0, data);
    glStencilFunc(GL_ALWAYS, 0, ~0u);
    glEnable(GL_CULL_FACE);
    // The volume comes out wound clockwise seen from outside, whatever the mesh.
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices));
    glCullFace(GL_FRONT);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices));
    glDisableClientState(GL_VERTEX_ARRAY);
    if (buffers) gl::BindBuffer()(GL_ARRAY_BUFFER_ARB, 0);
    glPopMatrix();

    // Back to the pass's own settings and the scene's culling, lighting and texturing.
    glStencilFunc(GL_ALWAYS, 0, 0);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
    glFrontFace(GLenum(frontFace));
    glCullFace(GLenum(cullFace));
    if (!culling) glDisable(GL_CULL_FACE);
    if (lighting) glEnable(GL_LIGHTING);
    if (r.slot >= 0) glEnable(GL_TEXTURE_2D);
    if (multi && r.slot >= 0 && r.secondSlot >= 0) {
        gl::ActiveTexture()(GL_TEXTURE1_ARB);
        glEnable(GL_TEXTURE_2D);
        gl::ActiveTexture()(GL_TEXTURE0_ARB);
    }
}

} // namespace corvane
