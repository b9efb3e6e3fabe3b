// Model files: reading both formats from a byte buffer, writing the binary one.
// Everything a file states (counts, indices, offsets) is checked against the
// bytes that are really there before anything is reserved or indexed.
#include "runtime/gfx3d/model_file.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/platform/platform_files.h"
#include "runtime/values/rt_string.h"

namespace corvane {

namespace {

// Sizes on disk of the fixed records.
constexpr std::size_t kHeaderBytes = 4 + 8 + 3 * 4;
constexpr std::size_t kFrameHeaderBytes = 4 + 6 * 4;
constexpr std::size_t kCornerBytes = 5;

void ClearMeshData(MeshObject& mesh) {
    std::vector<MeshFrame>().swap(mesh.frames);
    std::vector<MeshVertex>().swap(mesh.renderVertices);
    std::vector<float>().swap(mesh.uList);
    std::vector<float>().swap(mesh.vList);
    std::vector<std::uint32_t>().swap(mesh.colours);
    std::vector<std::uint32_t>().swap(mesh.triangleCorners);
    mesh.framesExpanded = false;
    std::vector<float>().swap(mesh.collisionPositions);
    mesh.collisionFrame = SIZE_MAX;
    mesh.normalsDone = false;
}

// Little-endian reads that fail instead of running past the end.
struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;

    std::size_t Left() const { return size - pos; }
    bool Bytes(void* out, std::size_t n) {
        if (Left() < n) return false;
        std::memcpy(out, data + pos, n);
        pos += n;
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u;
        if (!U32(u)) return false;
        v = std::int32_t(u);
        return true;
    }
    bool F32(float& v) {
        std::uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F64(double& v) {
        std::uint32_t lo, hi;
        if (!U32(lo) || !U32(hi)) return false;
        const std::uint64_t u = std::uint64_t(hi) << 32 | lo;
        std::memcpy(&v, &u, 8);
        return true;
    }
    // A stated count of records fits in what is left (a negative count reads nothing).
    bool Fits(std::int32_t count, std::size_t recordBytes) const {
        return count <= 0 || std::uint64_t(count) * recordBytes <= Left();
    }
};

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void PutF32(std::vector<std::uint8_t>& out, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    PutU32(out, u);
}

// ---------------------------------------------------------------- text tokens

class TextTokens {
public:
    TextTokens(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next token into buffer_ ("" at the end of the text); false for a token
    // longer than the buffer holds.
    bool Next() {
        SkipSpaceAndComments();
        std::size_t n = 0;
        while (pos_ < size_ && !IsSeparator(data_[pos_]) && data_[pos_] != '#') {
            if (n == kMaxToken) return false;
            buffer_[n++] = char(data_[pos_++]);
        }
        buffer_[n] = 0;
        return true;
    }
    const char* Text() const { return buffer_; }
    float Number() const { return float(TextValue(buffer_)); } // "" reads 0
    std::size_t Left() const { return size_ - pos_; }

private:
    static constexpr std::size_t kMaxToken = 1023;
    static bool IsSeparator(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void SkipSpaceAndComments() {
        while (pos_ < size_) {
            if (IsSeparator(data_[pos_])) {
                ++pos_;
            } else if (data_[pos_] == '#') {
                // The whole rest of the line, however long.
                const void* end = std::memchr(data_ + pos_, '\n', size_ - pos_);
                pos_ = end ? std::size_t(static_cast<const std::uint8_t*>(end) - data_) + 1 : size_;
            } else {
                break;
            }
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    char buffer_[kMaxToken + 1] = {};
};

struct TextPolygon {
    std::uint32_t packed = 0;
    float channels[3] = {0, 0, 0};
    std::size_t first = 0;  // into the index pairs
    std::int32_t count = 0;
};

// A colour component: saturated to int32 (NaN as 0), then its low byte.
std::uint32_t ComponentByte(float value) {
    if (!(value == value)) return 0;
    const std::int64_t v = value >= 2147483647.0f ? INT32_MAX : value <= -2147483648.0f ? INT32_MIN : std::int64_t(value);
    return std::uint32_t(v) & 0xFFu;
}

} // namespace

std::int32_t TextCount(float value) {
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    return std::int32_t(value);
}

// ---------------------------------------------------------------- binary

ModelError ParseBinaryModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size, bool keepRawVertices) {
    ClearMeshData(mesh);
    ByteReader in{data, size, 0};
    std::uint8_t magic[4];
    double version = 0;
    std::int32_t frameCount = 0, colourCount = 0, uvCount = 0;
    if (!in.Bytes(magic, 4) || std::memcmp(magic, kModelMagic, 4) != 0 || !in.F64(version) || !in.I32(frameCount) ||
        !in.I32(colourCount) || !in.I32(uvCount))
        return ModelError::Read;
    if (version != kModelVersion) return ModelError::Read;

    if (!in.Fits(colourCount, 4)) return ModelError::Read;
    const std::uint32_t colours = colourCount > 0 ? std::uint32_t(colourCount) : 0;
    mesh.colours.resize(colours);
    for (std::uint32_t& c : mesh.colours) in.U32(c);

    if (!in.Fits(uvCount, 8)) return ModelError::Read;
    const std::uint32_t uvs = uvCount > 0 ? std::uint32_t(uvCount) : 0;
    mesh.uList.resize(uvs);
    mesh.vList.resize(uvs);
    for (std::uint32_t i = 0; i < uvs; ++i) in.F32(mesh.uList[i]), in.F32(mesh.vList[i]);

    if (!in.Fits(frameCount, kFrameHeaderBytes)) return ModelError::Read;
    const std::uint32_t frames = frameCount > 0 ? std::uint32_t(frameCount) : 0;
    mesh.frames.reserve(frames);
    for (std::uint32_t f = 0; f < frames; ++f) {
        std::int32_t cornerCount = 0;
        MeshFrame frame;
        if (!in.I32(cornerCount)) return ModelError::Read;
        for (float& v : frame.quantOffset)
            if (!in.F32(v) || !std::isfinite(v)) return ModelError::Read;
        for (float& v : frame.quantScale)
            if (!in.F32(v) || !std::isfinite(v)) return ModelError::Read;
        if (!in.Fits(cornerCount, kCornerBytes)) return ModelError::Read;
        const std::size_t corners = cornerCount > 0 ? std::size_t(cornerCount) : 0;
        // Blending walks every frame with frame 0's layout: same length, same markers.
        if (f > 0 && corners != mesh.frames[0].corners.size()) return ModelError::Read;
        frame.corners.resize(corners);
        for (std::size_t k = 0; k < corners; ++k) {
            std::uint8_t b[5] = {};
            if (!in.Bytes(b, 5)) return ModelError::Read;
            if (b[3] > kMaxNormalIndex || b[4] >= colours || k >= uvs) return ModelError::Read;
            MeshCorner& c = frame.corners[k];
            c.x = b[0], c.y = b[1], c.z = b[2];
            c.normalIndex = b[3];
            c.tangentIndex = c.binormalIndex = 0;
            c.colourIndex = b[4];
            if (f > 0) {
                const std::uint32_t here = mesh.colours[c.colourIndex];
                const std::uint32_t base = mesh.colours[mesh.frames[0].corners[k].colourIndex];
                if (IsMarker(here) != IsMarker(base) || (IsMarker(here) && here != base)) return ModelError::Read;
            }
        }
        if (keepRawVertices) {
            frame.rawVertices.resize(corners);
            for (std::size_t k = 0; k < corners; ++k) DecodeCorner(mesh, frame, k, &frame.rawVertices[k]);
        }
        mesh.frames.push_back(std::move(frame));
    }
    mesh.normalsDone = true;
    return ModelError::None;
}

// ---------------------------------------------------------------- text

ModelError ParseTextModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size) {
    ClearMeshData(mesh);
    TextTokens in(data, size);
    bool tokenOk = true;
    auto number = [&]() -> float {
        if (!in.Next()) tokenOk = false;
        return in.Number();
    };
    // A count; one the remaining text could not possibly back fails, so missing
    // tokens (read as 0) cannot keep a loop going for long.
    auto count = [&](std::int32_t& out) -> bool {
        out = TextCount(number());
        return tokenOk && (out <= 0 || std::uint64_t(out) <= in.Left());
    };

    if (!in.Next() || std::strcmp(in.Text(), "MSHA") != 0) return ModelError::Read;
    const float version = number();
    if (!tokenOk || version > 1.0f) return ModelError::Read;

    std::int32_t uvCount = 0;
    if (!count(uvCount)) return ModelError::Read;
    std::vector<float> uvs;
    for (std::int32_t i = 0; i < uvCount; ++i) {
        uvs.push_back(number());
        uvs.push_back(number());
    }
    std::int32_t polygonCount = 0;
    if (!tokenOk || !count(polygonCount)) return ModelError::Read;
    std::vector<TextPolygon> polygons;
    std::vector<std::int32_t> pairs; // position index, uv index
    for (std::int32_t p = 0; p < polygonCount; ++p) {
        TextPolygon polygon;
        for (int i = 0; i < 3; ++i) polygon.channels[i] = number();
        polygon.packed = ComponentByte(polygon.channels[0]) + 256u * ComponentByte(polygon.channels[1]) +
                         65536u * ComponentByte(polygon.channels[2]);
        if (!tokenOk || !count(polygon.count)) return ModelError::Read;
        polygon.first = pairs.size();
        for (std::int32_t v = 0; v < polygon.count; ++v) {
            pairs.push_back(TextCount(number()));
            pairs.push_back(TextCount(number()));
        }
        if (polygon.count < 0) polygon.count = 0;
        polygons.push_back(polygon);
    }
    std::int32_t frameCount = 0;
    if (!tokenOk || !count(frameCount)) return ModelError::Read;
    const std::int64_t perFrame = std::int64_t(polygons.size() + pairs.size() / 2);
    if (frameCount > 0 && std::int64_t(frameCount) * perFrame > kMaxTextCorners) return ModelError::Malloc;

    std::vector<float> positions;
    for (std::int32_t f = 0; f < frameCount; ++f) {
        std::int32_t positionCount = 0;
        if (!count(positionCount)) return ModelError::Read;
        positions.clear();
        for (std::int64_t i = 0; i < std::int64_t(positionCount) * 3; ++i) {
            positions.push_back(number());
            if (!std::isfinite(positions.back())) return ModelError::Read;
        }
        if (!tokenOk) return ModelError::Read;
        const std::size_t positionTotal = positionCount > 0 ? std::size_t(positionCount) : 0;
        MeshFrame& frame = mesh.frames.emplace_back();
        frame.rawVertices.reserve(std::size_t(perFrame));
        for (const TextPolygon& polygon : polygons) {
            MeshVertex marker{};
            marker.packedColour = kMarkerFan;
            marker.colour[0] = marker.colour[1] = marker.colour[2] = 1.0f;
            frame.rawVertices.push_back(marker);
            for (std::int32_t v = 0; v < polygon.count; ++v) {
                const std::int32_t position = pairs[polygon.first + 2 * std::size_t(v)];
                const std::int32_t uv = pairs[polygon.first + 2 * std::size_t(v) + 1];
                if (position < 0 || std::size_t(position) >= positionTotal) return ModelError::Read;
                if (uvCount > 0 && (uv < 0 || uv >= uvCount)) return ModelError::Read;
                MeshVertex vertex{};
                std::memcpy(vertex.position, &positions[std::size_t(position) * 3], sizeof vertex.position);
                if (uvCount > 0) {
                    vertex.texCoord[0] = uvs[std::size_t(uv) * 2];
                    vertex.texCoord[1] = uvs[std::size_t(uv) * 2 + 1];
                }
                vertex.packedColour = polygon.packed;
                for (int i = 0; i < 3; ++i) vertex.colour[i] = polygon.channels[i] / 255.0f;
                frame.rawVertices.push_back(vertex);
            }
        }
        // Compacted at once: only one frame's raw vertices are ever held.
        CompactFrame(mesh, frame, f == 0);
    }
    mesh.normalsDone = false;
    return ModelError::None;
}

ModelError ParseModel(MeshObject& mesh, const std::uint8_t* data, std::size_t size, bool keepRawVertices) {
    ModelError result;
    try {
        if (size >= 4 && std::memcmp(data, kModelMagic, 4) == 0)
            result = ParseBinaryModel(mesh, data, size, keepRawVertices);
        else
            result = ParseTextModel(mesh, data, size);
    } catch (const std::bad_alloc&) {
        result = ModelError::Malloc;
    } catch (const std::length_error&) {
        result = ModelError::Malloc;
    }
    if (result != ModelError::None) ClearMeshData(mesh);
    return result;
}

// ---------------------------------------------------------------- writing

bool SerialiseModel(const MeshObject& mesh, std::vector<std::uint8_t>& out) {
    out.clear();
    // A corner's colour index is one byte in the file.
    if (mesh.colours.size() > 256 || mesh.uList.size() != mesh.vList.size() || mesh.frames.size() > INT32_MAX ||
        mesh.uList.size() > INT32_MAX)
        return false;
    std::size_t total = kHeaderBytes + mesh.colours.size() * 4 + mesh.uList.size() * 8;
    for (const MeshFrame& frame : mesh.frames) {
        if (frame.corners.size() > INT32_MAX) return false;
        for (const MeshCorner& c : frame.corners)
            if (c.colourIndex >= mesh.colours.size()) return false;
        total += kFrameHeaderBytes + frame.corners.size() * kCornerBytes;
    }
    out.reserve(total);
    out.insert(out.end(), kModelMagic, kModelMagic + 4);
    std::uint64_t version;
    std::memcpy(&version, &kModelVersion, 8);
    PutU32(out, std::uint32_t(version));
    PutU32(out, std::uint32_t(version >> 32));
    PutU32(out, std::uint32_t(mesh.frames.size()));
    PutU32(out, std::uint32_t(mesh.colours.size()));
    PutU32(out, std::uint32_t(mesh.uList.size()));
    for (std::uint32_t c : mesh.colours) PutU32(out, c);
    for (std::size_t i = 0; i < mesh.uList.size(); ++i) PutF32(out, mesh.uList[i]), PutF32(out, mesh.vList[i]);
    for (const MeshFrame& frame : mesh.frames) {
        PutU32(out, std::uint32_t(frame.corners.size()));
        for (float v : frame.quantOffset) PutF32(out, v);
        for (float v : frame.quantScale) PutF32(out, v);
        for (const MeshCorner& c : frame.corners) {
            const std::uint8_t b[5] = {c.x, c.y, c.z, c.normalIndex, std::uint8_t(c.colourIndex)};
            out.insert(out.end(), b, b + 5);
        }
    }
    return true;
}

// ---------------------------------------------------------------- files

std::string ModelProblem(const char* fileName) {
    std::string why = platform::ReadProblem(fileName);
    if (!why.empty()) return why;
    std::vector<std::uint8_t> bytes;
    if (!platform::ReadFileBytes(fileName, bytes)) return "unreadable";
    if (bytes.empty()) return "empty file";
    MeshObject probe;
    const ModelError error = ParseModel(probe, bytes.data(), bytes.size(), false);
    if (error == ModelError::Malloc) return "too large";
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), kModelMagic, 4) == 0)
        return error == ModelError::None ? "no triangles in it" : "truncated or damaged binary model";
    std::size_t start = 0;
    while (start < bytes.size() && std::isspace(bytes[start])) ++start;
    if (bytes.size() - start >= 4 && std::memcmp(bytes.data() + start, "MSHA", 4) == 0)
        return error == ModelError::None ? "no triangles in it" : "truncated or damaged text model (MSHA)";
    return "not a model file (the binary model or MSHA text)";
}

bool ReadModel(MeshObject& mesh, const char* fileName, bool keepRawVertices) {
    ClearMeshData(mesh);
    std::FILE* file = fileName ? platform::OpenFileForReading(fileName) : nullptr;
    if (!file) return false; // nothing to report: the file is not there
    std::vector<std::uint8_t> bytes;
    ModelError result = ModelError::None;
    try {
        std::uint8_t chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        if (std::ferror(file)) result = ModelError::Read;
    } catch (const std::bad_alloc&) {
        result = ModelError::Malloc;
    }
    std::fclose(file);
    if (result == ModelError::None) result = ParseModel(mesh, bytes.data(), bytes.size(), keepRawVertices);
    if (result == ModelError::None) return true;
    AppendErrorLog(result == ModelError::Malloc ? "# malloc error" : "# read error");
    AppendErrorLog(fileName ? fileName : "null");
    return false;
}

bool WriteModel(const MeshObject& mesh, const char* fileName) {
    std::vector<std::uint8_t> bytes;
    if (!fileName || !SerialiseModel(mesh, bytes)) return false;
    return platform::WriteFileBytes(fileName, bytes.data(), bytes.size());
}

} // namespace corvane
