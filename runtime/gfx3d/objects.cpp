// Object slots and meshes: building an object vertex by vertex, finishing it
// (quantised corners, normals, triangles, bounding spheres), the cube, release.
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/mesh_frames.h"

namespace corvane {

namespace {

std::uint32_t ColourAt(const MeshObject& mesh, std::uint32_t index) {
    return index < mesh.colours.size() ? mesh.colours[index] : 0xFFFFFFu;
}

void SetColourFloats(std::uint32_t c, float out[3]) {
    if (IsNoColour(c)) {
        out[0] = out[1] = out[2] = 1.0f;
        return;
    }
    out[0] = float(c & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float((c >> 16) & 0xFF) / 255.0f;
}

// Walks a frame's corners the way they become triangles: markers switch between
// list, strip and fan; strips alternate so every triangle keeps one winding.
// Calls emit with the three corner numbers of each triangle.
template <typename Emit>
void AssembleTriangles(const MeshObject& mesh, const MeshFrame& frame, Emit&& emit) {
    std::uint32_t mode = kMarkerList;
    int pendingCount = 0, parity = 0;
    std::size_t pending[3] = {0, 0, 0};
    for (std::size_t k = 0; k < frame.corners.size(); ++k) {
        const std::uint32_t c = ColourAt(mesh, frame.corners[k].colourIndex);
        if (IsMarker(c)) {
            mode = c;
            pendingCount = 0;
            if (c == kMarkerStrip) parity = 0;
            continue;
        }
        pending[pendingCount++] = k;
        if (pendingCount < 3) continue;
        emit(pending[0], pending[1], pending[2]);
        if (mode == kMarkerList) {
            pendingCount = 0;
        } else if (mode == kMarkerStrip) {
            pendingCount = 2;
            pending[parity == 0 ? 0 : 1] = pending[2];
            parity ^= 1;
        } else {
            pendingCount = 2;
            pending[1] = pending[2];
        }
    }
}

void DecodePosition(const MeshFrame& frame, const MeshCorner& c, float out[3]) { CornerPosition(frame, c, out); }

void NormaliseIfLong(float v[3]) {
    const float sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (!(sq > 1.0e-7f)) return;
    const float length = std::sqrt(sq);
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

// A raw vertex that only switches the primitive type.
MeshVertex MarkerVertex(std::uint32_t marker) {
    MeshVertex v{};
    v.packedColour = marker;
    v.colour[0] = v.colour[1] = v.colour[2] = 1.0f;
    return v;
}

// Frame 0 of the object under construction; null when there is none, or the
// slot was replaced (released or loaded) since StartObject.
MeshFrame* ConstructionFrame(Scene3D& scene) {
    const int index = scene.constructionSlot;
    if (index < 0 || index >= Scene3D::kSlotCount) return nullptr;
    ObjectSlot& slot = scene.slots[index];
    if (slot.loaded || slot.meshes.empty() || slot.meshes[0].frames.empty()) return nullptr;
    return &slot.meshes[0].frames[0];
}

int SlotIndex(const Scene3D& scene, const ObjectSlot* slot) { return int(slot - scene.slots); }

constexpr std::uint32_t kNoKey = 0xFFFFFFFFu; // position keys have 24 bits

} // namespace

// ---------------------------------------------------------------- slots and release

ObjectSlot* ObjectSlotAt(Scene3D& scene, double slot) {
    if (!(slot > -1.0 && slot < double(Scene3D::kSlotCount))) return nullptr; // also NaN
    return &scene.slots[int(slot)];
}

void DropDerivedData(Mesh& mesh) {
    if (ContextReady()) {
        if (auto deleteBuffers = gl::DeleteBuffers()) {
            if (mesh.staticBuffer) deleteBuffers(1, &mesh.staticBuffer);
            if (mesh.streamBuffer) deleteBuffers(1, &mesh.streamBuffer);
            if (mesh.shadowBuffer) deleteBuffers(1, &mesh.shadowBuffer);
        }
        if (mesh.toonTexture) glDeleteTextures(1, &mesh.toonTexture);
    }
    mesh.staticBuffer = mesh.streamBuffer = mesh.shadowBuffer = 0;
    mesh.shadowVertices = 0;
    mesh.shadowKey = 0;
    mesh.streamBufferBytes = 0;
    mesh.toonTexture = 0;
    mesh.toonRowStep = 0;
    mesh.toonColours.clear();
    mesh.edgeNeighbours.clear();
    mesh.faceLit.clear();
}

void ReleaseMesh(Mesh& mesh) {
    DropDerivedData(mesh);
    mesh = Mesh{};
}

void ReleaseSlot(Scene3D& scene, int index) {
    if (index < 0 || index >= Scene3D::kSlotCount) return;
    ObjectSlot& slot = scene.slots[index];
    for (Mesh& mesh : slot.meshes) ReleaseMesh(mesh);
    std::vector<Mesh>().swap(slot.meshes);
    slot.loaded = false;
    if (scene.constructionSlot == index) scene.constructionSlot = -1;
}

void ReleaseAllObjectSlots(Scene3D& scene) {
    for (int i = 0; i < Scene3D::kSlotCount; ++i) ReleaseSlot(scene, i);
}

// ---------------------------------------------------------------- finishing

std::uint8_t QuantiseToByte(float value) {
    if (!(value > 0.0f)) return 0; // negative and NaN
    if (value >= 255.0f) return 255;
    return std::uint8_t(value);
}

int NearestNormalIndex(const float n[3]) {
    // No direction: every entry is equally far, so the search would end on the last.
    if (n[0] == 0.0f && n[1] == 0.0f && n[2] == 0.0f) return kNormalCount - 1;
    float best = 10000.0f;
    int index = 0;
    for (int t = 0; t < kNormalCount; ++t) {
        const float* e = kNormalTable[t];
        const float d = std::fabs(1.0f - (n[0] * e[0] + n[1] * e[1] + n[2] * e[2]));
        if (d <= best) { // the later of equal entries wins
            best = d;
            index = t;
            if (d == 0.0f) break;
        }
    }
    return index;
}

void CompactFrame(MeshObject& mesh, MeshFrame& frame, bool firstFrame) {
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    bool seen[3] = {false, false, false};
    for (const MeshVertex& v : frame.rawVertices) {
        if (IsMarker(v.packedColour)) continue;
        for (int a = 0; a < 3; ++a) {
            const float p = v.position[a];
            if (p != p) continue;
            lo[a] = seen[a] ? std::min(lo[a], p) : p;
            hi[a] = seen[a] ? std::max(hi[a], p) : p;
            seen[a] = true;
        }
    }
    for (int a = 0; a < 3; ++a) {
        float scale = (hi[a] - lo[a]) / 255.0f;
        // A flat axis (or nothing to measure) still needs a usable step.
        if (!(scale != 0.0f && std::isfinite(scale))) scale = 1.0f;
        frame.quantScale[a] = scale;
        const float offset = -lo[a] / scale;
        frame.quantOffset[a] = std::isfinite(offset) ? offset : 0.0f;
    }
    // The first entry of each colour, as a linear search would find it, without
    // a search per vertex (loaded models may bring many colours).
    std::unordered_map<std::uint32_t, std::uint32_t> colourIndex;
    for (std::size_t i = mesh.colours.size(); i-- > 0;) colourIndex[mesh.colours[i]] = std::uint32_t(i);
    frame.corners.clear();
    frame.corners.reserve(frame.rawVertices.size());
    for (const MeshVertex& v : frame.rawVertices) {
        MeshCorner c{};
        const auto found = colourIndex.try_emplace(v.packedColour, std::uint32_t(mesh.colours.size()));
        c.colourIndex = found.first->second;
        if (found.second) mesh.colours.push_back(v.packedColour);
        if (firstFrame) {
            mesh.uList.push_back(v.texCoord[0]);
            mesh.vList.push_back(v.texCoord[1]);
        }
        if (!IsMarker(v.packedColour)) {
            float n[3] = {v.normal[0], v.normal[1], v.normal[2]};
            NormaliseIfLong(n);
            c.normalIndex = std::uint8_t(NearestNormalIndex(n));
        }
        // A thousandth of a step of tolerance: the rounded step would otherwise put
        // the largest coordinate at 254.9999 and cut the object short by a step.
        c.x = QuantiseToByte(v.position[0] / frame.quantScale[0] + frame.quantOffset[0] + 0.001f);
        c.y = QuantiseToByte(v.position[1] / frame.quantScale[1] + frame.quantOffset[1] + 0.001f);
        c.z = QuantiseToByte(v.position[2] / frame.quantScale[2] + frame.quantOffset[2] + 0.001f);
        frame.corners.push_back(c);
    }
    std::vector<MeshVertex>().swap(frame.rawVertices);
    mesh.normalsDone = false;
}

void CompactFrames(MeshObject& mesh) {
    for (std::size_t f = 0; f < mesh.frames.size(); ++f) CompactFrame(mesh, mesh.frames[f], f == 0);
    mesh.normalsDone = false;
}

bool ComputeNormals(MeshObject& mesh, bool smooth, bool tangents) {
    if (mesh.normalsDone && !(tangents && TangentsMissing(mesh))) return false;
    mesh.normalsDone = true;
    for (MeshFrame& frame : mesh.frames) {
        const std::size_t count = frame.corners.size();
        std::vector<std::uint32_t> vertexOf(count);
        std::vector<float> positions(count * 3);
        // Corners at one quantised position are one vertex when smoothing: an
        // open-addressing table from the 24-bit position key to the vertex.
        std::size_t slots = 16;
        while (smooth && slots < count * 2) slots *= 2;
        std::vector<std::uint32_t> keys(smooth ? slots : 0, kNoKey), ids(smooth ? slots : 0);
        std::uint32_t vertexCount = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const MeshCorner& c = frame.corners[k];
            DecodePosition(frame, c, &positions[k * 3]);
            if (!smooth) {
                vertexOf[k] = vertexCount++;
                continue;
            }
            const std::uint32_t key = c.x + 256u * c.y + 65536u * c.z;
            std::size_t i = (key * 2654435761u) & (slots - 1);
            while (keys[i] != kNoKey && keys[i] != key) i = (i + 1) & (slots - 1);
            if (keys[i] == kNoKey) keys[i] = key, ids[i] = vertexCount++;
            vertexOf[k] = ids[i];
        }
        std::vector<float> sums(std::size_t(vertexCount) * 3, 0.0f);
        std::vector<float> tangentSums(tangents ? std::size_t(vertexCount) * 3 : 0, 0.0f);
        std::vector<float> binormalSums(tangentSums.size(), 0.0f);
        const auto textureAt = [&](std::size_t k, float out[2]) {
            out[0] = k < mesh.uList.size() ? mesh.uList[k] : 0.0f;
            out[1] = k < mesh.vList.size() ? mesh.vList[k] : 0.0f;
        };
        AssembleTriangles(mesh, frame, [&](std::size_t i0, std::size_t i1, std::size_t i2) {
            const float* a = &positions[i0 * 3];
            const float* b = &positions[i1 * 3];
            const float* c = &positions[i2 * 3];
            const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            // Not normalised: a larger triangle weighs more.
            const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
            for (std::size_t k : {i0, i1, i2})
                for (int i = 0; i < 3; ++i) sums[vertexOf[k] * 3 + i] += n[i];
            if (!tangents) return;
            // Per axis, the plane through the points (position, u, v) gives how that
            // coordinate changes along u (tangent) and along v (binormal).
            float ta[2], tb[2], tc[2];
            textureAt(i0, ta), textureAt(i1, tb), textureAt(i2, tc);
            float t[3] = {0, 0, 0}, bn[3] = {0, 0, 0};
            for (int axis = 0; axis < 3; ++axis) {
                const float e1[3] = {u[axis], tb[0] - ta[0], tb[1] - ta[1]};
                const float e2[3] = {v[axis], tc[0] - ta[0], tc[1] - ta[1]};
                const float A = e1[1] * e2[2] - e1[2] * e2[1];
                const float B = e1[2] * e2[0] - e1[0] * e2[2];
                const float C = e1[0] * e2[1] - e1[1] * e2[0];
                if (std::fabs(A) > 0.00001f) {
                    t[axis] = -B / A;
                    bn[axis] = -C / A;
                }
            }
            for (std::size_t k : {i0, i1, i2})
                for (int i = 0; i < 3; ++i) {
                    tangentSums[vertexOf[k] * 3 + i] += t[i];
                    binormalSums[vertexOf[k] * 3 + i] += bn[i];
                }
        });
        // One table search per vertex and direction, shared by its corners.
        const auto quantised = [&](const std::vector<float>& from, std::vector<std::int16_t>& cache, std::size_t vertex) {
            std::int16_t& index = cache[vertex];
            if (index < 0) {
                float n[3] = {from[vertex * 3], from[vertex * 3 + 1], from[vertex * 3 + 2]};
                NormaliseIfLong(n);
                index = std::int16_t(NearestNormalIndex(n));
            }
            return std::uint8_t(index);
        };
        std::vector<std::int16_t> normalOf(vertexCount, -1), tangentOf(tangents ? vertexCount : 0, -1),
            binormalOf(tangentOf.size(), -1);
        for (std::size_t k = 0; k < count; ++k) {
            MeshCorner& c = frame.corners[k];
            if (IsMarker(ColourAt(mesh, c.colourIndex))) continue;
            c.normalIndex = quantised(sums, normalOf, vertexOf[k]);
            if (tangents) {
                c.tangentIndex = quantised(tangentSums, tangentOf, vertexOf[k]);
                c.binormalIndex = quantised(binormalSums, binormalOf, vertexOf[k]);
            }
        }
    }
    return true;
}

void DecodeCorner(const MeshObject& mesh, const MeshFrame& frame, std::size_t k, MeshVertex* out) {
    const MeshCorner& c = frame.corners[k];
    MeshVertex v{};
    DecodePosition(frame, c, v.position);
    const std::uint8_t indices[3] = {c.normalIndex, c.tangentIndex, c.binormalIndex};
    float* targets[3] = {v.normal, v.tangent, v.binormal};
    for (int i = 0; i < 3; ++i) {
        const float* e = kNormalTable[std::min<int>(indices[i], kNormalCount - 1)];
        targets[i][0] = e[0], targets[i][1] = e[1], targets[i][2] = e[2];
    }
    v.packedColour = ColourAt(mesh, c.colourIndex);
    v.colourIndex = c.colourIndex;
    SetColourFloats(v.packedColour, v.colour);
    v.texCoord[0] = k < mesh.uList.size() ? mesh.uList[k] : 0.0f;
    v.texCoord[1] = k < mesh.vList.size() ? -mesh.vList[k] : 0.0f; // the V axis flips here
    *out = v;
}

namespace {

// The corner numbers of a frame's triangle vertices, in drawing order.
std::vector<std::uint32_t> TriangleLayout(const MeshObject& mesh, const MeshFrame& frame) {
    std::size_t count = 0;
    AssembleTriangles(mesh, frame, [&](std::size_t, std::size_t, std::size_t) { count += 3; });
    std::vector<std::uint32_t> layout(count);
    std::uint32_t* out = layout.data();
    AssembleTriangles(mesh, frame, [&](std::size_t i0, std::size_t i1, std::size_t i2) {
        *out++ = std::uint32_t(i0), *out++ = std::uint32_t(i1), *out++ = std::uint32_t(i2);
    });
    return layout;
}

// Triangles depend only on where the markers are and which they are.
bool SamePrimitives(const MeshObject& mesh, const MeshFrame& a, const MeshFrame& b) {
    if (a.corners.size() != b.corners.size()) return false;
    for (std::size_t k = 0; k < a.corners.size(); ++k) {
        const std::uint32_t ca = ColourAt(mesh, a.corners[k].colourIndex), cb = ColourAt(mesh, b.corners[k].colourIndex);
        if ((IsMarker(ca) || IsMarker(cb)) && ca != cb) return false;
    }
    return true;
}

// Channel floats by colour index (white past the list), as DecodeCorner gives them.
const float* ColourFloats(const MeshObject& mesh, std::vector<float>& table) {
    table.resize(mesh.colours.size() * 3);
    for (std::size_t i = 0; i < mesh.colours.size(); ++i) SetColourFloats(mesh.colours[i], &table[i * 3]);
    return table.data();
}

// Everything one decode reads, gathered once per call.
struct DecodeSource {
    const MeshObject& mesh;
    const MeshFrame& fa;
    const MeshFrame& fb;
    float w;
    float du, dv;
    const float* colourOf;    // channel floats by colour index
    std::size_t colourCount, uCount, vCount;
};

// The normal table padded to every byte value (past the table: its last entry),
// so that a lookup needs no clamp.
const float (*PaddedNormals())[3] {
    static const auto table = [] {
        std::vector<std::array<float, 3>> t(256);
        for (int i = 0; i < 256; ++i)
            for (int a = 0; a < 3; ++a) t[std::size_t(i)][std::size_t(a)] = kNormalTable[std::min(i, kNormalCount - 1)][a];
        return t;
    }();
    return reinterpret_cast<const float (*)[3]>(table.data());
}

// Corner ia of frame A (blended toward corner ib of frame B when Blend), with the
// same arithmetic as DecodeCorner and the blend of two decoded vertices.
template <bool Blend, bool Offset>
inline void DecodeBlended(const DecodeSource& s, const float (*normals)[3], std::uint32_t ia, std::uint32_t ib,
                          MeshVertex* out) {
    const MeshCorner& c = s.fa.corners[ia];
    MeshVertex v;
    CornerPosition(s.fa, c, v.position);
    const float* n = normals[c.normalIndex];
    v.normal[0] = n[0], v.normal[1] = n[1], v.normal[2] = n[2];
    if constexpr (Blend) {
        const MeshCorner& d = s.fb.corners[ib];
        float p[3];
        CornerPosition(s.fb, d, p);
        const float* m = normals[d.normalIndex];
        for (int i = 0; i < 3; ++i) {
            v.position[i] = p[i] + (v.position[i] - p[i]) * s.w;
            v.normal[i] = m[i] + (v.normal[i] - m[i]) * s.w;
        }
    } else {
        (void)ib;
    }
    v.texCoord[0] = ia < s.uCount ? s.mesh.uList[ia] : 0.0f;
    v.texCoord[1] = ia < s.vCount ? -s.mesh.vList[ia] : 0.0f; // the V axis flips here
    if constexpr (Offset) {
        v.texCoord[0] += s.du;
        v.texCoord[1] += s.dv;
    }
    v.lightColour[0] = v.lightColour[1] = v.lightColour[2] = 0.0f;
    const float* t = normals[c.tangentIndex];
    v.tangent[0] = t[0], v.tangent[1] = t[1], v.tangent[2] = t[2];
    const float* b = normals[c.binormalIndex];
    v.binormal[0] = b[0], v.binormal[1] = b[1], v.binormal[2] = b[2];
    v.colourIndex = c.colourIndex;
    if (c.colourIndex < s.colourCount) {
        v.packedColour = s.mesh.colours[c.colourIndex];
        const float* f = &s.colourOf[std::size_t(c.colourIndex) * 3];
        v.colour[0] = f[0], v.colour[1] = f[1], v.colour[2] = f[2];
    } else {
        v.packedColour = 0xFFFFFFu;
        v.colour[0] = v.colour[1] = v.colour[2] = 1.0f;
    }
    *out = v;
}

// Triangle vertices of frame A (blended toward B when Blend), decoded from the
// corners. Strips and fans use a corner in up to three nearby triangles: when
// the two frames share one triangle order, decoded corners stay in a small
// direct-mapped cache (it fits the first-level data cache) and the triangles
// copy them from there.
template <bool Blend, bool Offset>
void ExpandVertices(const MeshObject& mesh, const MeshFrame& fa, const MeshFrame& fb, float w, const float offset[2],
                    MeshVertex* out) {
    const std::vector<std::uint32_t>& layoutA = TriangleCorners(mesh, fa);
    const std::vector<std::uint32_t>& layoutB = TriangleCorners(mesh, fb);
    static thread_local std::vector<float> colourTable;
    const DecodeSource s{mesh, fa, fb, w, Offset ? offset[0] : 0.0f, Offset ? offset[1] : 0.0f,
                         ColourFloats(mesh, colourTable), mesh.colours.size(), mesh.uList.size(), mesh.vList.size()};
    const float (*normals)[3] = PaddedNormals();
    const std::uint32_t* la = layoutA.data();
    const std::uint32_t* lb = layoutB.data();
    const std::size_t count = layoutA.size();
    if (&layoutA == &layoutB) {
        constexpr std::size_t kSlots = 256;
        MeshVertex cache[kSlots];
        std::uint32_t tags[kSlots];
        std::fill(tags, tags + kSlots, 0xFFFFFFFFu); // no corner has that number
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t c = la[k];
            const std::size_t slot = c & (kSlots - 1);
            if (tags[slot] != c) {
                DecodeBlended<Blend, Offset>(s, normals, c, c, cache + slot);
                tags[slot] = c;
            }
            std::memcpy(out + k, cache + slot, sizeof(MeshVertex));
        }
        return;
    }
    for (std::size_t k = 0; k < count; ++k) DecodeBlended<Blend, Offset>(s, normals, la[k], lb[k], out + k);
}

template <typename T>
std::size_t Held(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

} // namespace

void Mesh::ExpandFrames() {
    // The adjacency numbers triangles: new triangles need a new one.
    edgeNeighbours.clear();
    faceLit.clear();
    std::vector<std::uint32_t>().swap(triangleCorners);
    if (!frames.empty()) {
        triangleCorners = TriangleLayout(*this, frames[0]);
        frames[0].ownLayout = false;
        std::vector<std::uint32_t>().swap(frames[0].ownTriangleCorners);
        for (std::size_t f = 1; f < frames.size(); ++f) {
            MeshFrame& frame = frames[f];
            frame.ownLayout = !SamePrimitives(*this, frames[0], frame);
            frame.ownTriangleCorners = frame.ownLayout ? TriangleLayout(*this, frame) : std::vector<std::uint32_t>();
        }
    }
    std::vector<MeshVertex>().swap(renderVertices);
    std::vector<float>().swap(collisionPositions);
    collisionFrame = SIZE_MAX;
    hasColours = std::any_of(colours.begin(), colours.end(),
                             [](std::uint32_t c) { return c != 0xFFFFFFu && !IsMarker(c); });
    framesExpanded = true;
}

void DecodeTriangles(const MeshObject& mesh, const MeshFrame& frame, MeshVertex* out) {
    ExpandVertices<false, false>(mesh, frame, frame, 0.0f, nullptr, out);
}

void DecodeTriangles(const MeshObject& mesh, const MeshFrame& frame, std::vector<MeshVertex>& out) {
    out.resize(TriangleVertexCount(mesh, frame));
    DecodeTriangles(mesh, frame, out.data());
}

void BlendFrames(const MeshObject& mesh, const MeshFrame& a, const MeshFrame& b, float weight, const float offset[2],
                 MeshVertex* out) {
    if (TriangleVertexCount(mesh, b) != TriangleVertexCount(mesh, a)) weight = 0.0f; // never read past frame B
    if (weight != 0.0f)
        ExpandVertices<true, true>(mesh, a, b, weight, offset, out);
    else
        ExpandVertices<false, true>(mesh, a, a, 0.0f, offset, out);
}

void BlendFrames(const MeshObject& mesh, const MeshFrame& a, const MeshFrame& b, float weight, const float offset[2],
                 std::vector<MeshVertex>& out) {
    out.resize(TriangleVertexCount(mesh, a));
    BlendFrames(mesh, a, b, weight, offset, out.data());
}

std::size_t MeshBytesHeld(const MeshObject& mesh) {
    std::size_t bytes = Held(mesh.frames) + Held(mesh.renderVertices) + Held(mesh.triangleCorners) + Held(mesh.uList) +
                        Held(mesh.vList) + Held(mesh.colours) + Held(mesh.collisionPositions);
    for (const MeshFrame& f : mesh.frames) bytes += Held(f.rawVertices) + Held(f.corners) + Held(f.ownTriangleCorners);
    if (const auto* m = dynamic_cast<const Mesh*>(&mesh))
        bytes += Held(m->edgeNeighbours) + Held(m->faceLit) + Held(m->toonColours);
    return bytes;
}

void ComputeBoundingSpheres(MeshObject& mesh) {
    for (MeshFrame& frame : mesh.frames) {
        const std::vector<std::uint32_t>& layout = TriangleCorners(mesh, frame);
        const std::size_t n = layout.size();
        double sum[3] = {0, 0, 0};
        float p[3];
        for (std::uint32_t k : layout) {
            CornerPosition(frame, frame.corners[k], p);
            for (int a = 0; a < 3; ++a) sum[a] += p[a];
        }
        for (int a = 0; a < 3; ++a) frame.boundCentre[a] = n ? float(sum[a] / double(n)) : 0.0f;
        // The largest distance is the root of the largest square (the root keeps order).
        float farthest = 0.0f;
        for (std::uint32_t k : layout) {
            CornerPosition(frame, frame.corners[k], p);
            float sq = 0.0f;
            for (int a = 0; a < 3; ++a) {
                const float d = p[a] - frame.boundCentre[a];
                sq += d * d;
            }
            if (sq > 1.0e-7f) farthest = std::max(farthest, sq);
        }
        frame.boundRadius = farthest > 0.0f ? std::sqrt(farthest) : 0.0f;
    }
}

void FinishMesh(Scene3D& scene, ObjectSlot& slot) {
    slot.loaded = true;
    for (Mesh& mesh : slot.meshes) {
        DropDerivedData(mesh);
        if (mesh.frames.empty() || mesh.frames[0].rawVertices.size() < 3) {
            mesh.frames.clear();
            mesh.renderVertices.clear();
            mesh.triangleCorners.clear();
            mesh.collisionPositions.clear();
            mesh.collisionFrame = SIZE_MAX;
            mesh.uList.clear();
            mesh.vList.clear();
            mesh.colours.clear();
            mesh.hasColours = false;
            continue;
        }
        CompactFrames(mesh);
        // -1 and -2 (a negative remainder) keep the normals, as 0 does.
        if (scene.smoothingMode == 1) ComputeNormals(mesh, false);
        if (scene.smoothingMode == 2) ComputeNormals(mesh, true);
        mesh.ExpandFrames();
        ComputeBoundingSpheres(mesh);
    }
}

// ---------------------------------------------------------------- building commands

void StartObject(double slotNumber) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    if (!slot) return;
    const int index = SlotIndex(scene, slot);
    ReleaseSlot(scene, index);
    slot->meshes.emplace_back();
    slot->meshes[0].frames.emplace_back();
    slot->meshes[0].frames[0].rawVertices.push_back(MarkerVertex(kMarkerStrip));
    scene.constructionSlot = index;
}

void AddVertex(double x, double y, double z, double u, double v, double colour) {
    MeshFrame* frame = ConstructionFrame(TheScene());
    if (!frame) return;
    MeshVertex vertex{};
    vertex.position[0] = float(x), vertex.position[1] = float(y), vertex.position[2] = float(z);
    vertex.texCoord[0] = float(u), vertex.texCoord[1] = float(v);
    vertex.packedColour = std::uint32_t(ToInt(colour)); // -1, -2, -3 become the markers
    SetColourFloats(vertex.packedColour, vertex.colour);
    frame->rawVertices.push_back(vertex);
}

void NewStrip() {
    if (MeshFrame* frame = ConstructionFrame(TheScene())) frame->rawVertices.push_back(MarkerVertex(kMarkerStrip));
}

void FinishObject() {
    Scene3D& scene = TheScene();
    const bool building = ConstructionFrame(scene) != nullptr;
    const int index = scene.constructionSlot;
    scene.constructionSlot = -1;
    if (building) FinishMesh(scene, scene.slots[index]);
}

void CreateCube(double slotNumber, double size) {
    Scene3D& scene = TheScene();
    StartObject(slotNumber);
    if (!ConstructionFrame(scene)) return;
    const double h = size / 2.0;
    const double corners[8][3] = {{-h, -h, -h}, {h, -h, -h}, {-h, h, -h}, {h, h, -h},
                                  {h, h, h},    {h, -h, h},  {-h, h, h},  {-h, -h, h}};
    // One closed strip: every face two triangles, counter-clockwise from outside.
    static const int kStrip[14] = {1, 0, 3, 2, 6, 0, 7, 1, 5, 3, 4, 6, 5, 7};
    for (int c : kStrip) AddVertex(corners[c][0], corners[c][1], corners[c][2], 0, 0, 0xFFFFFF);
    FinishObject();
}

void SetSmoothingMode(double mode) { TheScene().smoothingMode = ToInt(mode) % 3; }

} // namespace corvane
