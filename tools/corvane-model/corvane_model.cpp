// corvane-model: converts what Open Asset Import reads (OBJ, glTF 2.0, MD2, MD3,
// PLY, STL, 3DS, FBX, Collada, ...) into the runtime's compact binary model,
// written by the runtime's own model writer: positions, texture coordinates,
// vertex or material colours and triangle lists, with keyframes from MD2/MD3
// frames, glTF morph targets, or skeletal and node animation sampled at a rate.
// Every keyframe holds the same triangle corners, so frames blend.
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <pthread.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/model_file.h"


// AddressSanitizer reserves terabytes of address space for its shadow memory, so an
// address-space bound would stop a sanitizer build at its first allocation: there the
// bound is left off.
#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef CORVANE_ADDRESS_SANITIZER
#define CORVANE_ADDRESS_SANITIZER 0
#endif

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "corvane-model: %s\n", message.c_str());
    std::fflush(stdout);
    // Not exit(): the watchdog may call this while the import still runs.
    std::_Exit(1);
}

void Warn(const std::string& message) { std::fprintf(stderr, "corvane-model: warning: %s\n", message.c_str()); }

[[noreturn]] void Usage(bool asked) {
    std::fputs(
        "usage: corvane-model IN OUT [--scale S] [--frames N] [--rate FPS] [--max-keyframes N]\n"
        "                        [--timeout S] [--memory MIB]\n"
        "       corvane-model --info IN\n"
        "  IN           any model Open Asset Import reads: OBJ, glTF 2.0 (.gltf, .glb), MD2,\n"
        "               MD3, PLY, STL, 3DS, FBX, Collada, ...\n"
        "  OUT          the compact binary model LoadObject reads\n"
        "  --scale S    multiply every position by S\n"
        "  --frames N   keep at most N keyframes (evenly chosen when there are more)\n"
        "  --rate FPS   samples per second of skeletal or node animation (default 10)\n"
        "  --max-keyframes N  refuse a model that would have more than N keyframes\n"
        "               (default 10000; --frames keeps fewer)\n"
        "  --timeout S  give up on a file that takes more than S seconds (default 30)\n"
        "  --memory MIB give up on a file that needs more than MIB MiB (default 4096)\n"
        "  --info       say what IN holds and what would be written; write nothing\n"
        "Keyframes: MD2 and MD3 frames; glTF morph targets (the base, then one frame per\n"
        "target at full weight); otherwise the first animation sampled at FPS.\n"
        "  corvane-model --help | -h | --version\n",
        asked ? stdout : stderr);
    std::exit(asked ? 0 : 2);
}

struct Options {
    std::string in, out;
    float scale = 1.0f;
    int maxFrames = 0;                                  // 0: all
    double rate = 10.0;
    int maxKeyframes = 10000;
    double timeout = 30.0;
    double memoryMiB = 4096;
    bool info = false;
};

// Ends the run with a refusal when a file keeps the importer busy too long (some
// damaged files make it loop); it cannot be stopped from outside any other way.
class Watchdog {
public:
    Watchdog(double seconds, std::string what) : what_(std::move(what)) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return finished_; })) {
                char line[64];
                std::snprintf(line, sizeof line, "%g", seconds);
                Fail(what_ + ": refused, not converted within " + line + " s (--timeout)");
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// One triangle corner as every frame shares it.
struct Corner {
    unsigned mesh, vertex;                              // where its position comes from
    unsigned instance;                                  // the node placing it
    float u, v;
    std::uint32_t colour;                               // 0xBBGGRR
};

struct Instance {
    const aiNode* node;
    unsigned mesh;
    aiMatrix4x4 global;                                 // the node's placement in the scene
};

std::uint32_t Pack(float r, float g, float b) {
    auto byte = [](float c) { return std::uint32_t(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); };
    return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

// Every node once, parents before children, in the order a depth-first walk meets
// them, with its placement in the scene. Walked with a stack of our own: a file
// may nest nodes 100,000 deep.
template <class Visit>
void WalkNodes(const aiNode* root, const aiMatrix4x4& rootParent, Visit visit) {
    struct Item {
        const aiNode* node;
        aiMatrix4x4 parent;
    };
    std::vector<Item> stack = {{root, rootParent}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        if (!item.node) continue;
        const aiMatrix4x4 global = visit(item.node, item.parent);
        for (unsigned i = item.node->mNumChildren; i-- > 0;) stack.push_back({item.node->mChildren[i], global});
    }
}

void CollectInstances(const aiScene* scene, std::vector<Instance>& out) {
    WalkNodes(scene->mRootNode, aiMatrix4x4(), [&](const aiNode* node, const aiMatrix4x4& parent) {
        const aiMatrix4x4 global = parent * node->mTransformation;
        for (unsigned i = 0; i < node->mNumMeshes; ++i)
            if (node->mMeshes[i] < scene->mNumMeshes) out.push_back({node, node->mMeshes[i], global});
        return global;
    });
}

// ---------------------------------------------------------------- animation sampling

// The keys around time t (keys in time order), found by halving: a channel may
// hold millions of keys.
template <class Key>
std::pair<const Key*, const Key*> Bracket(const Key* keys, unsigned count, double t, double* f) {
    *f = 0;
    if (count == 1 || t <= keys[0].mTime) return {&keys[0], &keys[0]};
    const Key* next = std::upper_bound(keys, keys + count, t, [](double time, const Key& k) { return time < k.mTime; });
    if (next == keys + count) return {&keys[count - 1], &keys[count - 1]};
    const Key* at = next - 1;
    const double span = next->mTime - at->mTime;
    *f = span > 0 ? (t - at->mTime) / span : 0;
    return {at, next};
}

// Local transforms of the animated nodes at time t (ticks).
std::map<std::string, aiMatrix4x4> SampleChannels(const aiAnimation* animation, double t) {
    std::map<std::string, aiMatrix4x4> local;
    for (unsigned c = 0; c < animation->mNumChannels; ++c) {
        const aiNodeAnim* ch = animation->mChannels[c];
        aiVector3D position(0, 0, 0), scaling(1, 1, 1);
        aiQuaternion rotation;
        double f;
        if (ch->mNumPositionKeys) {
            auto [a, b] = Bracket(ch->mPositionKeys, ch->mNumPositionKeys, t, &f);
            position = a->mValue + (b->mValue - a->mValue) * float(f);
        }
        if (ch->mNumRotationKeys) {
            auto [a, b] = Bracket(ch->mRotationKeys, ch->mNumRotationKeys, t, &f);
            aiQuaternion::Interpolate(rotation, a->mValue, b->mValue, float(f));
            rotation.Normalize();
        }
        if (ch->mNumScalingKeys) {
            auto [a, b] = Bracket(ch->mScalingKeys, ch->mNumScalingKeys, t, &f);
            scaling = a->mValue + (b->mValue - a->mValue) * float(f);
        }
        local[ch->mNodeName.C_Str()] = aiMatrix4x4(scaling, rotation, position);
    }
    return local;
}

void GlobalsAt(const aiNode* root, const std::map<std::string, aiMatrix4x4>& local,
               std::map<const aiNode*, aiMatrix4x4>& out) {
    WalkNodes(root, aiMatrix4x4(), [&](const aiNode* node, const aiMatrix4x4& parent) {
        const auto it = local.find(node->mName.C_Str());
        const aiMatrix4x4 m = parent * (it != local.end() ? it->second : node->mTransformation);
        out[node] = m;
        return m;
    });
}

// Nodes by name; the first met in a depth-first walk wins, as bones name them.
std::unordered_map<std::string, const aiNode*> NodesByName(const aiNode* root) {
    std::unordered_map<std::string, const aiNode*> names;
    WalkNodes(root, aiMatrix4x4(), [&](const aiNode* node, const aiMatrix4x4&) {
        names.emplace(node->mName.C_Str(), node);
        return aiMatrix4x4();
    });
    return names;
}

// Positions of every vertex of every mesh, placed (and skinned) by the given
// node transforms: [mesh][instance-independent vertex] in the mesh's own
// space for skinned meshes, else untransformed.
struct Posed {
    std::vector<std::vector<aiVector3D>> skinned;       // per mesh; empty when it has no bones
};

Posed Skin(const aiScene* scene, const std::map<const aiNode*, aiMatrix4x4>& globals,
          const std::unordered_map<std::string, const aiNode*>& names) {
    Posed posed;
    posed.skinned.resize(scene->mNumMeshes);
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        if (!mesh->HasBones()) continue;
        std::vector<aiVector3D>& out = posed.skinned[m];
        out.assign(mesh->mNumVertices, aiVector3D(0, 0, 0));
        std::vector<float> weight(mesh->mNumVertices, 0.0f);
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            const auto found = names.find(bone->mName.C_Str());
            if (found == names.end() || !globals.count(found->second)) continue;
            const aiMatrix4x4 skin = globals.at(found->second) * bone->mOffsetMatrix;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight& vw = bone->mWeights[w];
                if (vw.mVertexId >= mesh->mNumVertices) continue;
                out[vw.mVertexId] += (skin * mesh->mVertices[vw.mVertexId]) * vw.mWeight;
                weight[vw.mVertexId] += vw.mWeight;
            }
        }
        // Vertices no bone moves stay where the mesh's node puts them.
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            if (weight[v] <= 0.0f) out[v] = aiVector3D(1e30f, 0, 0);
            else if (std::fabs(weight[v] - 1.0f) > 1e-3f) out[v] /= weight[v];
    }
    return posed;
}

// ---------------------------------------------------------------- helpers

std::vector<unsigned char> ReadHead(const std::string& path, std::size_t n) {
    std::vector<unsigned char> head(n);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    head.resize(std::fread(head.data(), 1, n, f));
    std::fclose(f);
    return head;
}

// Frames of a keyframe format from its header (MD2, MD3); 0 for others.
int HeaderFrames(const std::string& path) {
    const std::vector<unsigned char> h = ReadHead(path, 80);
    auto i32 = [&](std::size_t at) {
        return std::int32_t(h[at] | (h[at + 1] << 8) | (h[at + 2] << 16) | (std::uint32_t(h[at + 3]) << 24));
    };
    if (h.size() >= 44 && std::memcmp(h.data(), "IDP2", 4) == 0) return std::max(0, i32(40));
    if (h.size() >= 80 && std::memcmp(h.data(), "IDP3", 4) == 0) return std::max(0, i32(76));
    return 0;
}

// Colours down to what the format holds (255 and the list marker): low bits
// dropped, with rounding, until few enough remain.
int ReduceColours(std::vector<Corner>& corners) {
    std::set<std::uint32_t> distinct;
    for (const Corner& c : corners) distinct.insert(c.colour);
    int bits = 8;
    while (distinct.size() > 255 && bits > 1) {
        --bits;
        const int drop = 8 - bits;
        auto reduce = [&](std::uint32_t c) {
            std::uint32_t out = 0;
            for (int s = 0; s < 24; s += 8) {
                int v = int((c >> s) & 0xFF);
                v = std::min(255, ((v + (1 << (drop - 1))) >> drop) << drop);
                out |= std::uint32_t(v) << s;
            }
            return out;
        };
        distinct.clear();
        for (const Corner& c : corners) distinct.insert(reduce(c.colour));
        if (distinct.size() <= 255)
            for (Corner& c : corners) c.colour = reduce(c.colour);
    }
    return bits;
}

// ---------------------------------------------------------------- MD2/MD3 frames

// The whole file, when it is no larger than `limit` bytes.
bool ReadWhole(const std::string& path, std::size_t limit, std::vector<unsigned char>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || std::uint64_t(size) > limit) return false;
    in.seekg(0);
    out.resize(std::size_t(size));
    return bool(in.read(reinterpret_cast<char*>(out.data()), size));
}

// Vertex positions of one keyframe of an MD2 or MD3 file, laid out as the
// importer lays out frame 0 ([mesh][vertex], one vertex per triangle corner), read
// straight from the file: the importer gives one frame per import, and a file may
// hold tens of thousands. False when the file is not laid out as expected.
class KeyframeReader {
public:
    bool Open(const std::string& path, const aiScene* scene) {
        if (!ReadWhole(path, std::size_t(1) << 30, file_) || file_.size() < 4) return false;
        scene_ = scene;
        md2_ = std::memcmp(file_.data(), "IDP2", 4) == 0;
        if (!md2_ && std::memcmp(file_.data(), "IDP3", 4) != 0) return false;
        // Frame 0 read here must be what the importer read, or the layout is not ours;
        // some versions of the importer turn MD2's z axis up into y. When frame 0
        // cannot tell (y equals z everywhere) each frame is imported instead.
        int matches = 0;
        bool matched = false;
        for (bool swap : {false, true}) {
            swapYZ_ = swap;
            if (SameAsScene()) ++matches, matched = swap;
            if (!md2_) break;                           // MD3 is read as stored
        }
        swapYZ_ = matched;
        return matches == 1;
    }

    bool Frame(int frame, std::vector<std::vector<aiVector3D>>& out) const {
        return md2_ ? Md2(frame, out) : Md3(frame, out);
    }

private:
    bool SameAsScene() const {
        const aiScene* scene = scene_;
        std::vector<std::vector<aiVector3D>> first;
        if (!Frame(0, first) || first.size() != scene->mNumMeshes) return false;
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            const aiMesh* mesh = scene->mMeshes[m];
            if (first[m].size() != mesh->mNumVertices) return false;
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D d = first[m][v] - mesh->mVertices[v];
                const float scale = 1.0f + mesh->mVertices[v].Length();
                if (!(std::fabs(d.x) <= 1e-4f * scale && std::fabs(d.y) <= 1e-4f * scale && std::fabs(d.z) <= 1e-4f * scale))
                    return false;
            }
        }
        return true;
    }

    bool Has(std::uint64_t at, std::uint64_t bytes) const { return at <= file_.size() && bytes <= file_.size() - at; }
    std::int32_t I32(std::size_t at) const {
        return std::int32_t(std::uint32_t(file_[at]) | std::uint32_t(file_[at + 1]) << 8 |
                            std::uint32_t(file_[at + 2]) << 16 | std::uint32_t(file_[at + 3]) << 24);
    }
    std::int16_t I16(std::size_t at) const { return std::int16_t(file_[at] | file_[at + 1] << 8); }
    float F32(std::size_t at) const {
        const std::uint32_t bits = std::uint32_t(I32(at));
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }

    bool Md2(int frame, std::vector<std::vector<aiVector3D>>& out) const {
        if (!Has(0, 68)) return false;
        const std::int64_t frameSize = I32(16), vertices = I32(24), triangles = I32(32), frames = I32(40);
        const std::int64_t ofsTris = I32(52), ofsFrames = I32(56);
        if (vertices <= 0 || triangles <= 0 || frame < 0 || frame >= frames || frameSize < 40 + 4 * vertices ||
            ofsTris < 0 || ofsFrames < 0 || !Has(std::uint64_t(ofsTris), std::uint64_t(triangles) * 12))
            return false;
        const std::uint64_t at = std::uint64_t(ofsFrames) + std::uint64_t(frameSize) * std::uint64_t(frame);
        if (!Has(at, std::uint64_t(40 + 4 * vertices))) return false;
        float scale[3], translate[3];
        for (int a = 0; a < 3; ++a) scale[a] = F32(at + 4 * a), translate[a] = F32(at + 12 + 4 * a);
        out.assign(1, {});
        out[0].reserve(std::size_t(triangles) * 3);
        for (std::int64_t t = 0; t < triangles; ++t)
            for (int c = 0; c < 3; ++c) {
                std::int64_t index = std::uint16_t(I16(std::size_t(ofsTris + 12 * t + 2 * c)));
                if (index >= vertices) index = vertices - 1;
                const std::size_t v = std::size_t(at + 40 + 4 * index);
                aiVector3D p(file_[v] * scale[0] + translate[0], file_[v + 1] * scale[1] + translate[1],
                             file_[v + 2] * scale[2] + translate[2]);
                if (swapYZ_) std::swap(p.y, p.z);
                out[0].push_back(p);
            }
        return true;
    }

    bool Md3(int frame, std::vector<std::vector<aiVector3D>>& out) const {
        if (!Has(0, 108)) return false;
        const std::int64_t frames = I32(76), surfaces = I32(84), ofsSurfaces = I32(100);
        if (frame < 0 || frame >= frames || surfaces <= 0 || surfaces > 4096 || ofsSurfaces < 0) return false;
        out.assign(std::size_t(surfaces), {});
        std::uint64_t at = std::uint64_t(ofsSurfaces);
        for (std::int64_t s = 0; s < surfaces; ++s) {
            if (!Has(at, 108)) return false;
            const std::int64_t vertices = I32(std::size_t(at + 80)), triangles = I32(std::size_t(at + 84));
            const std::int64_t ofsTris = I32(std::size_t(at + 88)), ofsXyz = I32(std::size_t(at + 100));
            const std::int64_t ofsEnd = I32(std::size_t(at + 104));
            // Empty surfaces are left out by the importer; such files take the slow way.
            if (vertices <= 0 || triangles <= 0 || ofsTris < 0 || ofsXyz < 0 || ofsEnd <= 0) return false;
            if (!Has(at + std::uint64_t(ofsTris), std::uint64_t(triangles) * 12)) return false;
            const std::uint64_t xyz = at + std::uint64_t(ofsXyz) + std::uint64_t(frame) * std::uint64_t(vertices) * 8;
            if (!Has(xyz, std::uint64_t(vertices) * 8)) return false;
            // The importer fills its meshes from the last.
            std::vector<aiVector3D>& mesh = out[std::size_t(surfaces - 1 - s)];
            mesh.reserve(std::size_t(triangles) * 3);
            for (std::int64_t t = 0; t < triangles; ++t)
                for (int c = 0; c < 3; ++c) {
                    const std::int64_t index = I32(std::size_t(at + ofsTris + 12 * t + 4 * c));
                    if (index < 0 || index >= vertices) return false;
                    const std::size_t v = std::size_t(xyz + 8 * index);
                    mesh.emplace_back(I16(v) / 64.0f, I16(v + 2) / 64.0f, I16(v + 4) / 64.0f);
                }
            at += std::uint64_t(ofsEnd);
        }
        return true;
    }

    std::vector<unsigned char> file_;
    const aiScene* scene_ = nullptr;
    bool md2_ = false, swapYZ_ = false;
};

std::string gInput = "the model";                  // for the refusal when memory runs out

int Run(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(a + " needs a value");
            return argv[++i];
        };
        auto number = [&](double lo, double hi) {
            const std::string v = value();
            char* end = nullptr;
            const double d = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(d >= lo && d <= hi)) Fail(a + " takes a number from " + std::to_string(lo) +
                                                                 " to " + std::to_string(hi) + ", not " + v);
            return d;
        };
        if (a == "--help" || a == "-h") Usage(true);
        if (a == "--version") {
            std::printf("corvane-model %s\n", CORVANE_VERSION);
            return 0;
        }
        if (a == "--scale") o.scale = float(number(1e-6, 1e6));
        else if (a == "--frames") o.maxFrames = int(number(1, 100000));
        else if (a == "--rate") o.rate = number(0.01, 1000);
        else if (a == "--max-keyframes") o.maxKeyframes = int(number(1, 1000000));
        else if (a == "--timeout") o.timeout = number(0.1, 86400);
        else if (a == "--memory") o.memoryMiB = number(64, 1 << 20);
        else if (a == "--info") o.info = true;
        else if (!a.empty() && a[0] == '-') Usage(false);
        else positional.push_back(a);
    }
    if (positional.size() != (o.info ? 1u : 2u)) Usage(false);
    o.in = positional[0];
    if (!o.info) o.out = positional[1];
    gInput = o.in;
    Watchdog watchdog(o.timeout, o.in);
#if !defined(_WIN32) && !CORVANE_ADDRESS_SANITIZER
    // A file that claims billions of elements makes the importer allocate until the
    // system ends the process; with a bound it gets std::bad_alloc, a refusal. The
    // bound covers address space, so the conversion thread's stack is added.
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0) {
        const double wanted = (o.memoryMiB + 1024 + 256) * double(1 << 20);
        if (limit.rlim_max == RLIM_INFINITY || wanted < double(limit.rlim_max)) {
            limit.rlim_cur = rlim_t(wanted);
            setrlimit(RLIMIT_AS, &limit);
        }
    }
#endif

    // The importer checks what it built before handing it over: a damaged file is
    // then a refusal rather than a scene with indices that point nowhere.
    const unsigned flags = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_FlipUVs |
                           aiProcess_ValidateDataStructure;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(o.in, flags);
    if (!scene || !scene->mRootNode) Fail("cannot read " + o.in + ": " + importer.GetErrorString());

    std::vector<Instance> instances;
    CollectInstances(scene, instances);

    // The corners every frame shares, in node order.
    std::vector<Corner> corners;
    std::size_t dropped = 0, coloured = 0;
    std::set<std::string> textures;
    for (unsigned k = 0; k < instances.size(); ++k) {
        const aiMesh* mesh = scene->mMeshes[instances[k].mesh];
        std::uint32_t material = 0xFFFFFF;
        if (mesh->mMaterialIndex < scene->mNumMaterials) {
            const aiMaterial* mat = scene->mMaterials[mesh->mMaterialIndex];
            aiColor4D c;
            if (aiGetMaterialColor(mat, AI_MATKEY_BASE_COLOR, &c) == AI_SUCCESS ||
                aiGetMaterialColor(mat, AI_MATKEY_COLOR_DIFFUSE, &c) == AI_SUCCESS)
                material = Pack(c.r, c.g, c.b);
            aiString texture;
            if (mat->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS) textures.insert(texture.C_Str());
        }
        const bool vertexColours = mesh->HasVertexColors(0);
        coloured += vertexColours;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) {
                ++dropped;
                continue;
            }
            for (unsigned j = 0; j < 3; ++j) {
                const unsigned v = face.mIndices[j];
                Corner c{instances[k].mesh, v, k, 0, 0, material};
                if (mesh->HasTextureCoords(0)) c.u = mesh->mTextureCoords[0][v].x, c.v = mesh->mTextureCoords[0][v].y;
                if (vertexColours) {
                    const aiColor4D& vc = mesh->mColors[0][v];
                    c.colour = Pack(vc.r, vc.g, vc.b);
                }
                corners.push_back(c);
            }
        }
    }

    // Where the keyframes come from.
    enum class Source { Static, Keyframes, Morphs, Animation } source = Source::Static;
    std::int64_t frameCount = 1;
    const int headerFrames = HeaderFrames(o.in);
    unsigned morphs = 0;
    for (const Instance& in : instances) morphs = std::max(morphs, scene->mMeshes[in.mesh]->mNumAnimMeshes);
    const aiAnimation* animation = nullptr;
    if (scene->mNumAnimations > 0 && scene->mAnimations[0]->mNumChannels > 0) animation = scene->mAnimations[0];
    double ticksPerSecond = 25.0, duration = 0.0;
    if (headerFrames > 1) {
        source = Source::Keyframes, frameCount = headerFrames;
    } else if (morphs > 0) {
        source = Source::Morphs, frameCount = int(morphs) + 1;
    } else if (animation) {
        source = Source::Animation;
        if (animation->mTicksPerSecond > 0) ticksPerSecond = animation->mTicksPerSecond;
        duration = animation->mDuration / ticksPerSecond;
        // Counted in floating point first: a file may claim any duration.
        const double samples = std::floor(duration * o.rate + 1e-9) + 1;
        if (!(samples <= double(INT32_MAX))) {
            Fail(o.in + ": refused, its animation lasts " + std::to_string(duration) + " s, more keyframes at " +
                 std::to_string(o.rate) + " per second than a model holds");
        }
        frameCount = std::max<std::int64_t>(1, std::int64_t(samples));
        if (!(duration >= 0)) duration = 0;
    }
    // Which source frames are kept: all, or N spread evenly over them; bounded
    // before anything is made for them.
    const std::int64_t kept = o.maxFrames > 0 ? std::min<std::int64_t>(o.maxFrames, frameCount) : frameCount;
    if (kept > o.maxKeyframes) {
        Fail(o.in + ": refused, " + std::to_string(kept) + " keyframes is over the limit of " +
             std::to_string(o.maxKeyframes) + " (--frames N keeps fewer, --max-keyframes N allows more)");
    }
    const double bytes = double(kept) * double(corners.size() + 1) * double(sizeof(corvane::MeshVertex));
    if (bytes > double(std::size_t(4) << 30)) {
        Fail(o.in + ": refused, " + std::to_string(kept) + " keyframes of " + std::to_string(corners.size()) +
             " corners would need " + std::to_string(std::int64_t(bytes / (1 << 20))) + " MiB (--frames N keeps fewer)");
    }
    std::vector<int> chosen;
    for (std::int64_t i = 0; i < kept; ++i)
        chosen.push_back(kept == 1 ? 0 : int(std::llround(double(i) * double(frameCount - 1) / double(kept - 1))));

    const char* sourceName[] = {"static", "keyframes of the file", "morph targets", "sampled animation"};
    if (o.info) {
        std::printf("%s: %u meshes placed %zu times, %zu triangles, %u materials\n", o.in.c_str(), scene->mNumMeshes,
                    instances.size(), corners.size() / 3, scene->mNumMaterials);
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            const aiMesh* mesh = scene->mMeshes[m];
            std::printf("  mesh %u \"%s\": %u vertices, %u faces%s%s%s%s\n", m, mesh->mName.C_Str(), mesh->mNumVertices,
                        mesh->mNumFaces, mesh->HasTextureCoords(0) ? ", uvs" : "",
                        mesh->HasVertexColors(0) ? ", vertex colours" : "", mesh->HasBones() ? ", bones" : "",
                        mesh->mNumAnimMeshes ? ", morph targets" : "");
        }
        for (unsigned a = 0; a < scene->mNumAnimations; ++a)
            std::printf("  animation %u \"%s\": %.3f s, %u node channels, %u morph channels\n", a,
                        scene->mAnimations[a]->mName.C_Str(),
                        scene->mAnimations[a]->mDuration /
                            (scene->mAnimations[a]->mTicksPerSecond > 0 ? scene->mAnimations[a]->mTicksPerSecond : 25.0),
                        scene->mAnimations[a]->mNumChannels, scene->mAnimations[a]->mNumMorphMeshChannels);
        for (const std::string& t : textures) std::printf("  texture \"%s\" (not stored in the model)\n", t.c_str());
        std::printf("would write %zu keyframes (%s) of %zu corners\n", chosen.size(), sourceName[int(source)],
                    corners.size() + 1);
        return 0;
    }
    if (corners.empty()) Fail(o.in + " holds no triangles");
    if (corners.size() + 1 > std::size_t(INT32_MAX)) Fail(o.in + " has more corners than a model holds");
    if (dropped) Warn(std::to_string(dropped) + " points and lines are left out: a model holds triangles only");
    if (!textures.empty()) {
        std::string names;
        for (const std::string& t : textures) names += " " + t;
        Warn("textures are not part of a model; load them as sprites and select them when drawing:" + names);
    }
    if (coloured && coloured < instances.size()) Warn("meshes without vertex colours take their material colour");
    const int bits = ReduceColours(corners);
    if (bits < 8)
        Warn("more than 255 colours: quantised to " + std::to_string(bits) + " bits per channel");
    if (scene->mNumAnimations > 1 && source == Source::Animation)
        Warn("only the first of " + std::to_string(scene->mNumAnimations) + " animations is sampled");
    if (animation && animation->mNumMorphMeshChannels > 0)
        Warn("morph weight animation is not sampled; each target becomes one keyframe");

    // Placed positions of every corner, for one frame.
    corvane::MeshObject mesh;
    mesh.frames.resize(chosen.size());
    const auto names = NodesByName(scene->mRootNode);
    // own: positions read from the file for this frame, in place of the scene's.
    auto addFrame = [&](std::size_t index, const aiScene* from, const std::map<const aiNode*, aiMatrix4x4>* globals,
                        int morph, const std::vector<std::vector<aiVector3D>>* own = nullptr) {
        std::vector<aiMatrix4x4> placement(instances.size());
        Posed posed;
        if (globals) posed = Skin(from, *globals, names);
        for (std::size_t k = 0; k < instances.size(); ++k)
            placement[k] = globals ? globals->at(instances[k].node) : instances[k].global;
        std::vector<corvane::MeshVertex>& raw = mesh.frames[index].rawVertices;
        raw.reserve(corners.size() + 1);
        corvane::MeshVertex marker{};
        marker.packedColour = corvane::kMarkerList;
        marker.colour[0] = marker.colour[1] = marker.colour[2] = 1.0f;
        raw.push_back(marker);
        for (const Corner& c : corners) {
            const aiMesh* m = from->mMeshes[c.mesh];
            if (c.vertex >= m->mNumVertices) Fail("the frames of " + o.in + " do not share their vertices");
            aiVector3D p = own ? (*own)[c.mesh][c.vertex] : m->mVertices[c.vertex];
            if (morph > 0 && unsigned(morph) <= m->mNumAnimMeshes && m->mAnimMeshes[morph - 1]->mVertices &&
                c.vertex < m->mAnimMeshes[morph - 1]->mNumVertices)
                p = m->mAnimMeshes[morph - 1]->mVertices[c.vertex];
            if (globals && !posed.skinned[c.mesh].empty() && posed.skinned[c.mesh][c.vertex].x < 1e29f)
                p = posed.skinned[c.mesh][c.vertex];   // bones place it already
            else
                p = placement[c.instance] * p;
            corvane::MeshVertex v{};
            v.position[0] = p.x * o.scale, v.position[1] = p.y * o.scale, v.position[2] = p.z * o.scale;
            v.texCoord[0] = c.u, v.texCoord[1] = c.v;
            v.packedColour = c.colour;
            for (int i = 0; i < 3; ++i) v.colour[i] = float((c.colour >> (8 * i)) & 0xFF) / 255.0f;
            raw.push_back(v);
        }
    };
    // MD2/MD3 frames are read from the file in one pass when its layout is the one
    // the importer read; otherwise each frame is imported on its own.
    KeyframeReader keyframes;
    const bool ownFrames = source == Source::Keyframes && keyframes.Open(o.in, scene);
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const int frame = chosen[i];
        switch (source) {
        case Source::Static: addFrame(i, scene, nullptr, 0); break;
        case Source::Morphs: addFrame(i, scene, nullptr, frame); break;
        case Source::Keyframes: {
            if (frame == 0) {
                addFrame(i, scene, nullptr, 0);
                break;
            }
            if (ownFrames) {
                std::vector<std::vector<aiVector3D>> positions;
                if (!keyframes.Frame(frame, positions))
                    Fail(o.in + ": refused, frame " + std::to_string(frame) + " lies outside the file");
                addFrame(i, scene, nullptr, 0, &positions);
                break;
            }
            Assimp::Importer other;
            other.SetPropertyInteger(AI_CONFIG_IMPORT_GLOBAL_KEYFRAME, frame);
            const aiScene* at = other.ReadFile(o.in, flags);
            if (!at || at->mNumMeshes != scene->mNumMeshes)
                Fail("cannot read frame " + std::to_string(frame) + " of " + o.in + ": " + other.GetErrorString());
            for (unsigned m = 0; m < scene->mNumMeshes; ++m)
                if (at->mMeshes[m]->mNumVertices != scene->mMeshes[m]->mNumVertices)
                    Fail("frame " + std::to_string(frame) + " of " + o.in + " has other vertices than frame 0");
            addFrame(i, at, nullptr, 0);
            break;
        }
        case Source::Animation: {
            const double seconds = std::min(duration, frame / o.rate);
            std::map<const aiNode*, aiMatrix4x4> globals;
            GlobalsAt(scene->mRootNode, SampleChannels(animation, seconds * ticksPerSecond), globals);
            addFrame(i, scene, &globals, 0);
            break;
        }
        }
    }
    importer.FreeScene();

    corvane::CompactFrames(mesh);
    corvane::ComputeNormals(mesh, true);
    if (mesh.colours.size() > 256) Fail("too many colours for a model");
    if (!corvane::WriteModel(mesh, o.out.c_str())) Fail("cannot write " + o.out);
    std::printf("%s: %zu keyframes (%s), %zu triangles, %zu colours\n", o.out.c_str(), chosen.size(),
                sourceName[int(source)], corners.size() / 3, mesh.colours.size() - 1);
    return 0;
}

} // namespace

namespace {

struct Call {
    int argc;
    char** argv;
    int status = 1;
};

void* RunCall(void* data) {
    Call* call = static_cast<Call*>(data);
    // Memory running out on a hostile file is a refusal like any other.
    try {
        call->status = Run(call->argc, call->argv);
    } catch (const std::bad_alloc&) {
        Fail(gInput + ": refused, there is not enough memory to convert it");
    } catch (const std::exception& e) {
        Fail(gInput + ": refused, " + e.what());
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    // The importer walks node trees by recursion, and a file may nest nodes
    // 100,000 deep: the conversion runs on a thread with a stack to match (address
    // space only; pages are used as the walk reaches them).
    Call call{argc, argv};
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) == 0 && pthread_attr_setstacksize(&attributes, std::size_t(1) << 30) == 0 &&
        pthread_create(&thread, &attributes, RunCall, &call) == 0) {
        pthread_join(thread, nullptr);
        return call.status;
    }
    RunCall(&call);
    return call.status;
}
