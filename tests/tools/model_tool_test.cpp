// corvane-model: OBJ, glTF and MD2 files written here are converted, loaded
// with LoadObject and drawn where the same geometry built with AddVertex
// draws; keyframes come from glTF morph targets and MD2 frames.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/gfx3d/model_file.h"
#include "tests/gfx3d/gfx3d_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace gfx3d_test;

namespace {

corvane::testing::ProcessResult RunModelTool(const std::vector<std::string>& args) {
    std::vector<std::string> all = {corvane::testing::BuiltProgram("corvane-model")};
    all.insert(all.end(), args.begin(), args.end());
    return corvane::testing::RunProcess(all, {}, 60.0);
}

std::string Temp(const std::string& name) { return corvane::testing::TestTempDir() + name; }

// The cube of the tests: faces of the unit cube with their colour, and texture
// coordinates with v 0 at the picture's top (as AddVertex takes them).
const double kCorner[8][3] = {{-0.5, -0.5, -0.5}, {0.5, -0.5, -0.5}, {0.5, 0.5, -0.5}, {-0.5, 0.5, -0.5},
                              {-0.5, -0.5, 0.5},  {0.5, -0.5, 0.5},  {0.5, 0.5, 0.5},  {-0.5, 0.5, 0.5}};
const int kFace[6][4] = {{4, 5, 6, 7}, {1, 0, 3, 2}, {5, 1, 2, 6}, {0, 4, 7, 3}, {7, 6, 2, 3}, {0, 1, 5, 4}};
const std::uint32_t kFaceColour[6] = {0xFFFFFF, 0x80FFFF, 0xFF80FF, 0xFFFF80, 0x80FF80, 0xC0C0FF};
const double kUv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};

// The cube with AddVertex: each face two triangles (a, b, c), (a, c, d), moved by dx.
void BuildCube(int slot, double dx) {
    StartObject(slot);
    AddVertex(0, 0, 0, 0, 0, -1);                       // triangle lists
    for (int f = 0; f < 6; ++f)
        for (int k : {0, 1, 2, 0, 2, 3}) {
            const double* p = kCorner[kFace[f][k]];
            AddVertex(p[0] + dx, p[1], p[2], kUv[k][0], kUv[k][1], kFaceColour[f]);
        }
    FinishObject();
}

std::string ObjCube() {
    std::string obj = "mtllib cube.mtl\n", mtl;
    for (const auto& p : kCorner) obj += "v " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    for (const auto& t : kUv) obj += "vt " + std::to_string(t[0]) + " " + std::to_string(1 - t[1]) + "\n"; // OBJ's v grows upward
    for (int f = 0; f < 6; ++f) {
        const std::uint32_t c = kFaceColour[f];
        mtl += "newmtl m" + std::to_string(f) + "\nKd " + std::to_string((c & 0xFF) / 255.0) + " " +
               std::to_string(((c >> 8) & 0xFF) / 255.0) + " " + std::to_string(((c >> 16) & 0xFF) / 255.0) + "\n";
        obj += "usemtl m" + std::to_string(f) + "\nf";
        for (int k = 0; k < 4; ++k) obj += " " + std::to_string(kFace[f][k] + 1) + "/" + std::to_string(k + 1);
        obj += "\n";
    }
    corvane::testing::WriteFile(Temp("cube.mtl"), mtl);
    return obj;
}

std::string Base64(const std::string& bytes) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t n = (std::uint8_t(bytes[i]) << 16) | (i + 1 < bytes.size() ? std::uint8_t(bytes[i + 1]) << 8 : 0) |
                                (i + 2 < bytes.size() ? std::uint8_t(bytes[i + 2]) : 0);
        out += t[(n >> 18) & 63];
        out += t[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? t[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? t[n & 63] : '=';
    }
    return out;
}

template <class T> void Put(std::string& s, T v) { s.append(reinterpret_cast<const char*>(&v), sizeof v); }

// The cube as glTF 2.0 (24 vertices with colours and uvs, 36 indices) with one
// morph target moving every vertex by morphDx along x.
std::string GltfCube(float morphDx) {
    std::string positions, uvs, colours, indices, deltas;
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k) {
            for (int a = 0; a < 3; ++a) Put(positions, float(kCorner[kFace[f][k]][a]));
            Put(uvs, float(kUv[k][0])), Put(uvs, float(kUv[k][1]));   // glTF's v grows downward too
            for (int a = 0; a < 3; ++a) Put(colours, float((kFaceColour[f] >> (8 * a)) & 0xFF) / 255.0f);
            Put(deltas, morphDx), Put(deltas, 0.0f), Put(deltas, 0.0f);
        }
    for (int f = 0; f < 6; ++f)
        for (int k : {0, 1, 2, 0, 2, 3}) Put(indices, std::uint16_t(f * 4 + k));
    const std::string buffer = positions + uvs + colours + deltas + indices;
    std::size_t at = 0;
    std::string views;
    for (const std::string* part : {&positions, &uvs, &colours, &deltas, &indices}) {
        if (!views.empty()) views += ",";
        views += "{\"buffer\":0,\"byteOffset\":" + std::to_string(at) + ",\"byteLength\":" + std::to_string(part->size()) + "}";
        at += part->size();
    }
    const std::string d = std::to_string(morphDx);
    return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
           "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"TEXCOORD_0\":1,\"COLOR_0\":2},"
           "\"indices\":4,\"targets\":[{\"POSITION\":3}]}],\"weights\":[0]}],"
           "\"accessors\":["
           "{\"bufferView\":0,\"componentType\":5126,\"count\":24,\"type\":\"VEC3\",\"min\":[-0.5,-0.5,-0.5],\"max\":[0.5,0.5,0.5]},"
           "{\"bufferView\":1,\"componentType\":5126,\"count\":24,\"type\":\"VEC2\"},"
           "{\"bufferView\":2,\"componentType\":5126,\"count\":24,\"type\":\"VEC3\"},"
           "{\"bufferView\":3,\"componentType\":5126,\"count\":24,\"type\":\"VEC3\",\"min\":[" + d + ",0,0],\"max\":[" + d + ",0,0]},"
           "{\"bufferView\":4,\"componentType\":5123,\"count\":36,\"type\":\"SCALAR\"}],"
           "\"bufferViews\":[" + views + "],"
           "\"buffers\":[{\"byteLength\":" + std::to_string(buffer.size()) +
           ",\"uri\":\"data:application/octet-stream;base64," + Base64(buffer) + "\"}]}";
}

// An MD2 file from the format's public layout: one triangle, two frames, the
// second moved by `shift` along the file's x axis.
std::string Md2(float shift) {
    const int vertices = 3, sts = 3, tris = 1, frames = 2, frameSize = 40 + 4 * vertices;
    const int ofsSt = 68, ofsTris = ofsSt + 4 * sts, ofsFrames = ofsTris + 12 * tris;
    // One empty GL command list ends the file (readers want the sections inside it).
    const int ofsCommands = ofsFrames + frames * frameSize, ofsEnd = ofsCommands + 4;
    std::string f = "IDP2";
    for (int v : {8, 64, 64, frameSize, 0, vertices, sts, tris, 1, frames, ofsSt /*no skins*/, ofsSt, ofsTris,
                  ofsFrames, ofsCommands, ofsEnd})
        Put(f, std::int32_t(v));
    for (int s : {0, 0, 63, 0, 0, 63}) Put(f, std::int16_t(s));
    for (int i : {0, 1, 2, 0, 1, 2}) Put(f, std::int16_t(i));
    for (int k = 0; k < frames; ++k) {
        for (float s : {1.0f / 255, 1.0f / 255, 1.0f / 255}) Put(f, s);
        for (float t : {k * shift, 0.0f, 0.0f}) Put(f, t);
        f += std::string("frame") + char('0' + k) + std::string(10, '\0');
        const std::uint8_t corners[3][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
        for (const auto& c : corners) f += std::string(reinterpret_cast<const char*>(c), 3) + char(0);
    }
    Put(f, std::int32_t(0));
    return f;
}

class ModelTool : public Gfx3dTest {
protected:
    void SetUp() override {
#ifndef CORVANE_HAVE_MODEL_TOOL
        GTEST_SKIP() << "corvane-model is not built (no Open Asset Import)";
#endif
        Gfx3dTest::SetUp();
    }

    // The slot drawn turned so three faces show, with a four-colour texture.
    Screen Draw(int slot, int frame) {
        Reset();
        SetTexture(40, -1);
        MoveTransform(0, 0, -3);
        RotateTransform(30, 1, 0, 0);
        RotateTransform(40, 0, 1, 0);
        DrawObjectFrame(slot, frame);
        return WholeScreen();
    }
};

// Pixels that differ by more than a few levels, and how many were drawn at all.
std::pair<int, int> Compare(const Screen& a, const Screen& b) {
    int differ = 0, lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            lit += a.lit(x, y);
            differ += !Near(a.at(x, y), b.at(x, y), 3);
        }
    return {differ, lit};
}

} // namespace

TEST_F(ModelTool, ObjAndGltfDrawWhereAddVertexDraws) {
    const std::string texture = Temp("quarters.bmp");
    ASSERT_TRUE(corvane::testing::WriteFile(
        texture, gfx2d_test::MakeBmp(64, 64, 24, [](int x, int y) {
            return x < 32 ? (y < 32 ? 0x0000FFu : 0x00FF00u) : (y < 32 ? 0xFF0000u : 0xFFFFFFu);
        })));
    ASSERT_EQ(LoadSprite(RtString(texture.c_str()), 40), 1.0);
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("cube.obj"), ObjCube()));
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("cube.gltf"), GltfCube(0.75f)));
    BuildCube(1, 0.0);
    BuildCube(2, 0.75);
    struct Case { const char* in; int frames; };
    for (const Case& c : {Case{"cube.obj", 1}, Case{"cube.gltf", 2}}) {
        SCOPED_TRACE(c.in);
        const auto run = RunModelTool({Temp(c.in), Temp("out.model")});
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        ASSERT_EQ(LoadObject(RtString(Temp("out.model").c_str()), 3), 1.0);
        ASSERT_EQ(TheScene().slots[3].meshes[0].frames.size(), std::size_t(c.frames));
        for (int frame = 0; frame < c.frames; ++frame) {
            const Screen expected = Draw(frame == 0 ? 1 : 2, 0);
            const auto [differ, lit] = Compare(Draw(3, frame), expected);
            EXPECT_GT(lit, 5000) << "frame " << frame;
            EXPECT_LE(differ, lit / 200) << "frame " << frame;
        }
    }
    // --scale: every position grows; the file says what it holds with --info.
    ASSERT_EQ(RunModelTool({Temp("cube.obj"), Temp("big.model"), "--scale", "2"}).exitStatus, 0);
    MeshObject big;
    ASSERT_TRUE(ReadModel(big, Temp("big.model").c_str(), false));
    float extent = 0;
    for (std::size_t k = 0; k < big.frames[0].corners.size(); ++k) {
        MeshVertex v;
        DecodeCorner(big, big.frames[0], k, &v);
        if (!IsMarker(v.packedColour)) extent = std::max(extent, std::fabs(v.position[0]));
    }
    EXPECT_NEAR(extent, 1.0f, 0.01f);
    const auto info = RunModelTool({"--info", Temp("cube.gltf")});
    EXPECT_EQ(info.exitStatus, 0);
    EXPECT_NE(info.output.find("would write 2 keyframes (morph targets) of 37 corners"), std::string::npos) << info.output;
}

TEST_F(ModelTool, Md2FramesAnimateAndBrokenFilesAreRefused) {
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("tri.md2"), Md2(2.0f)));
    const auto run = RunModelTool({Temp("tri.md2"), Temp("tri.model")});
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    MeshObject mesh;
    ASSERT_TRUE(ReadModel(mesh, Temp("tri.model").c_str(), false));
    ASSERT_EQ(mesh.frames.size(), 2u);
    // Every corner of frame 1 lies 2 units from its place in frame 0, all the same way.
    float moved[3] = {0, 0, 0};
    for (std::size_t k = 0; k < mesh.frames[0].corners.size(); ++k) {
        MeshVertex a, b;
        DecodeCorner(mesh, mesh.frames[0], k, &a);
        DecodeCorner(mesh, mesh.frames[1], k, &b);
        if (IsMarker(a.packedColour)) continue;
        for (int i = 0; i < 3; ++i) moved[i] = b.position[i] - a.position[i];
        EXPECT_NEAR(std::sqrt(moved[0] * moved[0] + moved[1] * moved[1] + moved[2] * moved[2]), 2.0f, 0.02f);
    }
    // Drawn, the frames show the triangle in two places; halfway between them, in the middle.
    ASSERT_EQ(LoadObject(RtString(Temp("tri.model").c_str()), 4), 1.0);
    Box boxes[3];
    for (int i = 0; i < 3; ++i) {
        Reset();
        SetCullMode(0);
        MoveTransform(-1, 0, -4);
        RotateTransform(-90, 1, 0, 0);                  // the file's z up, towards the screen's top
        if (i < 2) DrawObjectFrame(4, i);
        else DrawObject(4, 0, 1, 0.5, 0);
        boxes[i] = LitBox(WholeScreen());
        ASSERT_FALSE(boxes[i].empty()) << i;
    }
    EXPECT_GT(std::fabs(boxes[1].centreX() - boxes[0].centreX()) + std::fabs(boxes[1].centreY() - boxes[0].centreY()), 50);
    EXPECT_NEAR(boxes[2].centreX(), (boxes[0].centreX() + boxes[1].centreX()) / 2, 3);
    EXPECT_NEAR(boxes[2].centreY(), (boxes[0].centreY() + boxes[1].centreY()) / 2, 3);

    // Files it cannot read: a non-zero status and the reason.
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("junk.obj"), std::string("\x01\x02garbage\xFF\xFE", 11)));
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("cut.md2"), Md2(2.0f).substr(0, 80)));
    ASSERT_TRUE(corvane::testing::WriteFile(Temp("points.obj"), "v 0 0 0\nv 1 0 0\np 1 2\n"));
    struct Bad { std::vector<std::string> args; int status; const char* says; };
    const Bad bad[] = {
        {{Temp("missing.obj"), Temp("x.model")}, 1, "cannot read"},
        {{Temp("junk.obj"), Temp("x.model")}, 1, "corvane-model:"},
        {{Temp("cut.md2"), Temp("x.model")}, 1, "cannot read"},
        {{Temp("points.obj"), Temp("x.model")}, 1, "no triangles"},
        {{Temp("tri.md2"), Temp("x.model"), "--scale", "zero"}, 1, "--scale"},
        {{Temp("tri.md2")}, 2, "usage"},
    };
    for (const Bad& b : bad) {
        const auto r = RunModelTool(b.args);
        EXPECT_EQ(r.exitStatus, b.status) << b.args[0] << ": " << r.output;
        EXPECT_NE(r.output.find(b.says), std::string::npos) << r.output;
    }
    const auto help = RunModelTool({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.output.find("--frames"), std::string::npos);
}

TEST_F(ModelTool, HostileFilesEndInTimeWithOneLineSayingWhy) {
    // The files of the abuse run, written by its generator.
    const std::string dir = Temp("hostile");
    const auto made = corvane::testing::RunProcess(
        {"python3", std::string(CORVANE_SOURCE_DIR) + "/scripts/abuse/hostile_models.py", dir}, {}, 120.0);
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    std::map<std::string, std::string> files;                  // case name -> file
    std::istringstream list(made.output);
    for (std::string line; std::getline(list, line);) {
        const std::size_t tab = line.find('\t'), end = line.find('\t', tab + 1);
        if (tab != std::string::npos) files[line.substr(0, tab)] = line.substr(tab + 1, end - tab - 1);
    }
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"gltf-lasting-1e7-s", {}, 1, "over the limit of 10000"},
        {"gltf-lasting-3e8-s", {}, 1, "more keyframes"},
        {"gltf-infinite-time", {}, 1, "refused"},
        {"gltf-1e7-s-with-frames", {"--frames", "20"}, 0, "20 keyframes"},
        {"gltf-nodes-100000-deep", {}, 0, "keyframes"},
        {"dae-nodes-100000-deep", {}, 0, "keyframes"},
        {"ply-ascii-cut-in-header", {"--timeout", "1"}, 1, "not converted within 1 s"},
        {"ply-binary-cut-in-faces", {}, 1, "Validation failed"},
        {"off-face-count-huge", {"--memory", "512"}, 1, "bad_alloc"},
        {"obj-100000-corner-face", {}, 1, "too many"},
        {"md2-60000-frames", {}, 1, "--max-keyframes"},
        {"md2-60000-frames", {"--frames", "50"}, 0, "50 keyframes"},
        {"md2-60000-frames", {"--max-keyframes", "50"}, 1, "over the limit of 50"},
        {"md3-five-frames", {}, 0, "5 keyframes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.count(c.name));
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizer build goes without the address-space bound (its shadow memory
        // needs the room), so the bound's own case has nothing to check there.
        if (std::string(c.name) == "off-face-count-huge") continue;
#endif
        std::vector<std::string> args = {files[c.name], Temp("hostile.model")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = RunModelTool(args);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        // One line besides the warnings, naming the file when it refuses.
        std::vector<std::string> lines;
        std::istringstream out(run.output);
        for (std::string line; std::getline(out, line);)
            if (line.find("warning:") == std::string::npos) lines.push_back(line);
        ASSERT_EQ(lines.size(), 1u) << run.output;
        EXPECT_NE(lines[0].find(c.says), std::string::npos) << lines[0];
        if (c.status) {
            EXPECT_EQ(lines[0].rfind("corvane-model: ", 0), 0u) << lines[0];
        }
    }
    // Frames read from the file in one pass are the file's frames: the last of 50
    // chosen from 60,000 lies 59.999 units from the first.
    ASSERT_EQ(RunModelTool({files["md2-60000-frames"], Temp("fifty.model"), "--frames", "50"}).exitStatus, 0);
    MeshObject mesh;
    ASSERT_TRUE(ReadModel(mesh, Temp("fifty.model").c_str(), false));
    ASSERT_EQ(mesh.frames.size(), 50u);
    for (std::size_t k = 0; k < mesh.frames[0].corners.size(); ++k) {
        MeshVertex a, b;
        DecodeCorner(mesh, mesh.frames[0], k, &a);
        DecodeCorner(mesh, mesh.frames[49], k, &b);
        if (IsMarker(a.packedColour)) continue;
        EXPECT_NEAR(b.position[0] - a.position[0], 59.999f, 0.05f);
    }
}
