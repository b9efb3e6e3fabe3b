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

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/gfx3d/gfx3d.h"
#include "runtime/gfx3d/model_file.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "corvane-model: %s\n", message.c_str());
    std::exit(1);
}

void Warn(const std::string& message) { std::fprintf(stderr, "corvane-model: warning: %s\n", message.c_str()); }

[[noreturn]] void Usage(bool asked) {
    std::fputs(
        "usage: corvane-model IN OUT [--scale S] [--frames N] [--rate FPS]\n"
        "       corvane-model --info IN\n"
        "  IN           any model Open Asset Import reads: OBJ, glTF 2.0 (.gltf, .glb), MD2,\n"
        "               MD3, PLY, STL, 3DS, FBX, Collada, ...\n"
        "  OUT          the compact binary model LoadObject reads\n"
        "  --scale S    multiply every position by S\n"
        "  --frames N   keep at most N keyframes (evenly chosen when there are more)\n"
        "  --rate FPS   samples per second of skeletal or node animation (default 10)\n"
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
    bool info = false;
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
};

std::uint32_t Pack(float r, float g, float b) {
    auto byte = [](float c) { return std::uint32_t(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); };
    return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

aiMatrix4x4 GlobalTransform(const aiNode* node) {
    aiMatrix4x4 m;
    for (; node; node = node->mParent) m = node->mTransformation * m;
    return m;
}

void CollectInstances(const aiNode* node, std::vector<Instance>& out) {
    for (unsigned i = 0; i < node->mNumMeshes; ++i) out.push_back({node, node->mMeshes[i]});
    for (unsigned i = 0; i < node->mNumChildren; ++i) CollectInstances(node->mChildren[i], out);
}

// ---------------------------------------------------------------- animation sampling

template <class Key>
std::pair<const Key*, const Key*> Bracket(const Key* keys, unsigned count, double t, double* f) {
    *f = 0;
    if (count == 1 || t <= keys[0].mTime) return {&keys[0], &keys[0]};
    for (unsigned i = 0; i + 1 < count; ++i)
        if (t < keys[i + 1].mTime) {
            const double span = keys[i + 1].mTime - keys[i].mTime;
            *f = span > 0 ? (t - keys[i].mTime) / span : 0;
            return {&keys[i], &keys[i + 1]};
        }
    return {&keys[count - 1], &keys[count - 1]};
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

void GlobalsAt(const aiNode* node, const aiMatrix4x4& parent, const std::map<std::string, aiMatrix4x4>& local,
               std::map<const aiNode*, aiMatrix4x4>& out) {
    const auto it = local.find(node->mName.C_Str());
    const aiMatrix4x4 m = parent * (it != local.end() ? it->second : node->mTransformation);
    out[node] = m;
    for (unsigned i = 0; i < node->mNumChildren; ++i) GlobalsAt(node->mChildren[i], m, local, out);
}

const aiNode* FindNode(const aiNode* node, const char* name) {
    if (std::strcmp(node->mName.C_Str(), name) == 0) return node;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (const aiNode* found = FindNode(node->mChildren[i], name)) return found;
    return nullptr;
}

// Positions of every vertex of every mesh, placed (and skinned) by the given
// node transforms: [mesh][instance-independent vertex] in the mesh's own
// space for skinned meshes, else untransformed.
struct Posed {
    std::vector<std::vector<aiVector3D>> skinned;       // per mesh; empty when it has no bones
};

Posed Skin(const aiScene* scene, const std::map<const aiNode*, aiMatrix4x4>& globals) {
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
            const aiNode* node = FindNode(scene->mRootNode, bone->mName.C_Str());
            if (!node) continue;
            const aiMatrix4x4 skin = globals.at(node) * bone->mOffsetMatrix;
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

} // namespace

int main(int argc, char** argv) {
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
        else if (a == "--info") o.info = true;
        else if (!a.empty() && a[0] == '-') Usage(false);
        else positional.push_back(a);
    }
    if (positional.size() != (o.info ? 1u : 2u)) Usage(false);
    o.in = positional[0];
    if (!o.info) o.out = positional[1];

    const unsigned flags = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_FlipUVs;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(o.in, flags);
    if (!scene || !scene->mRootNode) Fail("cannot read " + o.in + ": " + importer.GetErrorString());

    std::vector<Instance> instances;
    CollectInstances(scene->mRootNode, instances);

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
    int frameCount = 1;
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
        frameCount = std::max(1, int(std::floor(duration * o.rate + 1e-9)) + 1);
    }
    // Which source frames are kept: all, or N spread evenly over them.
    std::vector<int> chosen;
    const int kept = o.maxFrames > 0 ? std::min(o.maxFrames, frameCount) : frameCount;
    for (int i = 0; i < kept; ++i)
        chosen.push_back(kept == 1 ? 0 : int(std::lround(double(i) * (frameCount - 1) / (kept - 1))));

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
    auto addFrame = [&](std::size_t index, const aiScene* from, const std::map<const aiNode*, aiMatrix4x4>* globals,
                        int morph) {
        std::vector<aiMatrix4x4> placement(instances.size());
        Posed posed;
        if (globals) posed = Skin(from, *globals);
        for (std::size_t k = 0; k < instances.size(); ++k)
            placement[k] = globals ? globals->at(instances[k].node) : GlobalTransform(instances[k].node);
        std::vector<corvane::MeshVertex>& raw = mesh.frames[index].rawVertices;
        raw.reserve(corners.size() + 1);
        corvane::MeshVertex marker{};
        marker.packedColour = corvane::kMarkerList;
        marker.colour[0] = marker.colour[1] = marker.colour[2] = 1.0f;
        raw.push_back(marker);
        for (const Corner& c : corners) {
            const aiMesh* m = from->mMeshes[c.mesh];
            if (c.vertex >= m->mNumVertices) Fail("the frames of " + o.in + " do not share their vertices");
            aiVector3D p = m->mVertices[c.vertex];
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
            GlobalsAt(scene->mRootNode, aiMatrix4x4(), SampleChannels(animation, seconds * ticksPerSecond), globals);
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
