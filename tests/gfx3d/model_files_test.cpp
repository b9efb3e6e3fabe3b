// Model files: samples from an independent writer, saving and reloading,
// damaged and hostile files, and loaded models drawn and lit.
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "runtime/gfx3d/model_file.h"
#include "runtime/platform/platform_files.h"
#include "tests/gfx3d/gfx3d_test_support.h"
#include "tests/support/engine_fixture.h"

namespace gfx3d_test {
namespace {

using namespace corvane;
using corvane::testing::ErrorLogLines;
using corvane::testing::ReadFile;
using corvane::testing::RunProcess;
using corvane::testing::TestTempDir;
using corvane::testing::WriteFile;

const std::string kScript = std::string(CORVANE_SOURCE_DIR) + "/tests/gfx3d/model_files.py";

corvane::Mesh& Mesh(int slot) { return TheScene().slots[slot].meshes.at(0); }

std::string SampleDir() {
    static const std::string dir = [] {
        if (!corvane::testing::ShellToolsAvailable()) return std::string();
        const std::string d = TestTempDir() + "samples";
        mkdir(d.c_str(), 0755);
        const auto run = RunProcess({CORVANE_PYTHON, kScript, "write", d});
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        return d + "/";
    }();
    return dir;
}

// The error-log lines appended by f.
std::vector<std::string> NewLogLines(const std::function<void()>& f) {
    const std::size_t before = ErrorLogLines().size();
    f();
    std::vector<std::string> lines = ErrorLogLines();
    return {lines.begin() + std::ptrdiff_t(std::min(before, lines.size())), lines.end()};
}

// Little-endian pieces of a binary model.
// A valid two-frame binary triangle (markers list/fan, one colour), the base of the damaged cases.
Bytes GoodBinary(std::function<void(Bytes&)> secondFrame = nullptr) {
    Bytes b;
    b.header(1.02, 2, 2, 4).i32(0xFFFFFFFD).i32(0x00FF00);
    for (int i = 0; i < 8; ++i) b.f32(float(i));
    b.frame(4).u8({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 9, 0, 0, 0, 1, 0, 9, 0, 0, 1});
    if (secondFrame) secondFrame(b);
    else b.frame(4).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1});
    return b;
}

std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = TestTempDir() + name;
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
}

float DecodedAxis(const MeshFrame& f, const MeshCorner& c, int axis) {
    const std::uint8_t q[3] = {c.x, c.y, c.z};
    return (float(q[axis]) - f.quantOffset[axis]) * f.quantScale[axis];
}

class ModelFileTest : public Gfx3dTest {};

TEST_F(ModelFileTest, IndependentSamplesLoad) {
    if (!corvane::testing::ShellToolsAvailable())
        GTEST_SKIP() << "the independent samples are written by Python: " << corvane::testing::kNoShellTools;
    const std::string dir = SampleDir();
    // The plain red triangle: a fan marker and three red corners.
    ASSERT_EQ(LoadObject((dir + "red.msha").c_str(), 3), 1.0);
    {
        const corvane::Mesh& m = Mesh(3);
        EXPECT_TRUE(TheScene().slots[3].loaded);
        ASSERT_EQ(m.frames.size(), 1u);
        EXPECT_EQ(m.colours, (std::vector<std::uint32_t>{0xFFFFFFFD, 0x0000FF}));
        const auto t = Triangles(m, 0);
        ASSERT_EQ(t.size(), 3u);
        const float want[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        for (int i = 0; i < 3; ++i) {
            for (int a = 0; a < 3; ++a) EXPECT_NEAR(t[i].position[a], want[i][a], 1.0 / 255) << i;
            EXPECT_EQ(t[i].packedColour, 0x0000FFu);
        }
    }
    // Three frames with comments between every pair of tokens, CR LF, tabs and a
    // 600-byte comment line.
    ASSERT_EQ(LoadObject((dir + "anim.msha").c_str(), 3), 1.0);
    {
        const corvane::Mesh& m = Mesh(3);
        ASSERT_EQ(m.frames.size(), 3u);
        EXPECT_EQ(m.colours, (std::vector<std::uint32_t>{0xFFFFFFFD, 10 + 20 * 256 + 30 * 65536, 44 + 255 * 256 + 2 * 65536}));
        EXPECT_EQ(m.uList, (std::vector<float>{0, 0, 1, 1, 0, 0, 1, 1, 0}));
        EXPECT_EQ(m.vList, (std::vector<float>{0, 0, 0, 1, 1, 0, 0, 1, 1}));
        const float points[5][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 3, -1}};
        const int order[9] = {-1, 0, 1, 2, 3, -1, 1, 4, 2};
        for (int k = 0; k < 3; ++k) {
            const MeshFrame& f = m.frames[std::size_t(k)];
            ASSERT_EQ(f.corners.size(), 9u);
            for (int c = 0; c < 9; ++c) {
                if (order[c] < 0) continue;
                EXPECT_NEAR(DecodedAxis(f, f.corners[std::size_t(c)], 0), points[order[c]][0] + k, 3.0 / 255);
                EXPECT_NEAR(DecodedAxis(f, f.corners[std::size_t(c)], 1), points[order[c]][1], 3.0 / 255);
            }
            EXPECT_EQ(Triangles(m, std::size_t(k)).size(), 9u) << "quad as two triangles, then one";
        }
        EXPECT_TRUE(m.normalsDone) << "text models get normals by the smoothing mode";
    }
    // The binary sample keeps every stored byte.
    ASSERT_EQ(LoadObject((dir + "sample.bin").c_str(), 3), 1.0);
    {
        const corvane::Mesh& m = Mesh(3);
        ASSERT_EQ(m.frames.size(), 2u);
        EXPECT_EQ(m.colours, (std::vector<std::uint32_t>{0xFFFFFFFD, 0x0000FF, 0x00FF00, 0xFFFFFFFD}));
        EXPECT_EQ(m.uList, (std::vector<float>{0, 0.25f, 1, 1, 0}));
        EXPECT_EQ(m.vList, (std::vector<float>{0, 0.5f, 0, 1, 1}));
        const int corners[5][5] = {{0, 0, 0, 0, 0}, {0, 0, 128, 5, 1}, {255, 0, 128, 6, 2}, {255, 255, 128, 7, 1},
                                   {0, 255, 128, 161, 2}};
        for (int k = 0; k < 2; ++k) {
            const MeshFrame& f = m.frames[std::size_t(k)];
            EXPECT_EQ(f.quantScale[1], 0.25f * float(k + 1));
            EXPECT_EQ(f.quantOffset[2], 128.0f);
            ASSERT_EQ(f.corners.size(), 5u);
            for (int c = 0; c < 5; ++c) {
                const MeshCorner& got = f.corners[std::size_t(c)];
                EXPECT_EQ((std::vector<int>{got.x, got.y, got.z, got.normalIndex, int(got.colourIndex)}),
                          (std::vector<int>{corners[c][0], corners[c][1] - (c == 4 ? k : 0), corners[c][2],
                                            corners[c][3], corners[c][4]}));
            }
        }
        EXPECT_TRUE(m.normalsDone);
        const auto t = Triangles(m, 0);
        EXPECT_EQ(t.size(), 6u);
        EXPECT_NEAR(t[1].position[0], 127.5f, 1e-4);
        EXPECT_EQ(t[1].texCoord[1], 0.0f);
        EXPECT_EQ(t[0].texCoord[1], -0.5f) << "V flips on expansion";
    }
    // keepRawVertices rebuilds a raw vertex per corner.
    corvane::Mesh raw;
    ASSERT_TRUE(ReadModel(raw, (dir + "sample.bin").c_str(), true));
    ASSERT_EQ(raw.frames[1].rawVertices.size(), 5u);
    EXPECT_EQ(raw.frames[1].rawVertices[2].packedColour, 0x00FF00u);
    EXPECT_NEAR(raw.frames[1].rawVertices[3].position[1], 255 * 0.5f, 1e-4);
    EXPECT_EQ(raw.frames[1].rawVertices[1].texCoord[1], -0.5f);
}

TEST_F(ModelFileTest, SaveAndReload) {
    // Built with several colours, two strips and uvs; saved; read by the script.
    StartObject(5);
    for (int i = 0; i < 12; ++i) {
        if (i == 6) NewStrip();
        AddVertex(i * 0.37, (i % 3) * 1.5 - 2, (i % 2) * 0.9, i / 12.0, 1 - i / 24.0, i % 4 == 0 ? 0xFFFFFF : 0x102030 * (i % 4));
    }
    FinishObject();
    const std::string path = TestTempDir() + "saved.bin";
    ASSERT_EQ(SaveObject(path.c_str(), 5), 1.0);
    // The independent reader (Python) where the tests may run it.
    if (corvane::testing::ShellToolsAvailable()) {
        const auto check = RunProcess({CORVANE_PYTHON, kScript, "check", path});
        EXPECT_EQ(check.exitStatus, 0) << check.output;
        EXPECT_NE(check.output.find("frames 1 colours 5 uvs 14 corners 14"), std::string::npos) << check.output;
    }

    ASSERT_EQ(LoadObject(path.c_str(), 6), 1.0);
    const corvane::Mesh &a = Mesh(5), &b = Mesh(6);
    EXPECT_EQ(a.colours, b.colours);
    EXPECT_EQ(a.uList, b.uList);
    EXPECT_EQ(a.vList, b.vList);
    ASSERT_EQ(a.frames[0].corners.size(), b.frames[0].corners.size());
    const auto fields = [](const MeshCorner& c) {
        return std::vector<int>{c.x, c.y, c.z, c.normalIndex, int(c.colourIndex)};
    };
    for (std::size_t k = 0; k < a.frames[0].corners.size(); ++k)
        EXPECT_EQ(fields(a.frames[0].corners[k]), fields(b.frames[0].corners[k])) << k;
    const auto ta = Triangles(a, 0), tb = Triangles(b, 0);
    ASSERT_EQ(ta.size(), tb.size());
    for (std::size_t k = 0; k < ta.size(); ++k)
        for (int ax = 0; ax < 3; ++ax) EXPECT_EQ(ta[k].position[ax], tb[k].position[ax]);

    // Nothing written: an empty slot, more colours than a byte indexes, a missing folder.
    StartObject(7);
    for (int i = 0; i < 300; ++i) AddVertex(i, i % 2, 0, 0, 0, i);
    FinishObject();
    ReleaseSlot(TheScene(), 8);
    const struct {
        const char* name;
        double slot;
        std::string path;
    } failures[] = {
        {"empty slot", 8, TestTempDir() + "empty.bin"},
        {"slot out of range", 4096, TestTempDir() + "range.bin"},
        {"300 colours", 7, TestTempDir() + "colours.bin"},
        {"missing folder", 5, TestTempDir() + "no/such/folder.bin"},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(SaveObject(f.path.c_str(), f.slot), 0.0) << f.name;
        EXPECT_FALSE(platform::IsReadableFile(f.path.c_str())) << f.name;
    }
}

TEST_F(ModelFileTest, DamagedFilesFail) {
    const std::string longToken(1100, '7');
    std::string manyFrames = "MSHA 1 0 1 1 1 1 1000";
    for (int i = 0; i < 1000; ++i) manyFrames += " 0 0";
    manyFrames += " 5000 #" + std::string(6000, 'x');
    const struct {
        const char* name;
        std::string bytes;
        const char* line;  // "" when nothing is logged
    } cases[] = {
        {"version 1.0", GoodBinary().s.replace(4, 8, Bytes().f64(1.0).s), "# read error"},
        {"MSHA version 2", "MSHA 2 0 0 0", "# read error"},
        {"wrong first token", "MSHAX 1 0 0 0", "# read error"},
        {"a Windows-format header", ";MSW 1 0", "# read error"},
        {"empty file", "", "# read error"},
        {"colour index past the colours", GoodBinary([](Bytes& b) { b.frame(4).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 2, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1}); }).s, "# read error"},
        {"normal index 162", GoodBinary([](Bytes& b) { b.frame(4).u8({0, 0, 0, 0, 0, 1, 1, 1, 162, 1, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1}); }).s, "# read error"},
        {"corners past the uv pairs", Bytes().header(1.02, 1, 1, 1).i32(0xFF).f32(0).f32(0).frame(2).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 0}).s, "# read error"},
        {"frames of different lengths", GoodBinary([](Bytes& b) { b.frame(3).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 9, 1, 1, 0, 1}); }).s, "# read error"},
        {"a marker moved", GoodBinary([](Bytes& b) { b.frame(4).u8({0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1}); }).s, "# read error"},
        {"infinite offset", GoodBinary([](Bytes& b) { b.frame(4, INFINITY).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1}); }).s, "# read error"},
        {"NaN scale", GoodBinary([](Bytes& b) { b.frame(4, 0, NAN).u8({0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 9, 1, 1, 0, 1, 1, 9, 1, 0, 1}); }).s, "# read error"},
        {"2^31-1 colours in 30 bytes", Bytes().header(1.02, 1, 0x7FFFFFFF, 0).u8({1, 2, 3, 4, 5, 6}).s, "# read error"},
        {"2^31-1 uvs in 30 bytes", Bytes().header(1.02, 1, 0, 0x7FFFFFFF).u8({1, 2, 3, 4, 5, 6}).s, "# read error"},
        {"2^31-1 frames in 30 bytes", Bytes().header(1.02, 0x7FFFFFFF, 0, 0).u8({1, 2, 3, 4, 5, 6}).s, "# read error"},
        {"2^31-1 corners", Bytes().header(1.02, 1, 0, 0).frame(0x7FFFFFFF).u8({1, 2}).s, "# read error"},
        {"negative counts: no frames", Bytes().header(1.02, -1, -5, -7).s, ""},
        {"an empty frame 0", Bytes().header(1.02, 1, 0, 0).frame(-3).s, ""},
        {"text: position index outside", "MSHA 1 0 1 9 9 9 3 0 0 1 0 3 0 1 3 0 0 0 1 0 0 0 1 0", "# read error"},
        {"text: negative position index", "MSHA 1 0 1 9 9 9 3 0 0 1 0 -1 0 1 3 0 0 0 1 0 0 0 1 0", "# read error"},
        {"text: uv index outside", "MSHA 1 1 0 0 1 9 9 9 3 0 0 1 1 2 0 1 3 0 0 0 1 0 0 0 1 0", "# read error"},
        {"text: index only the second frame lacks", "MSHA 1 0 1 9 9 9 3 0 0 1 0 2 0 2 3 0 0 0 1 0 0 0 1 0 2 0 0 0 1 0 0", "# read error"},
        {"text: count beyond the bytes left", "MSHA 1 0 1 9 9 9 2000000000 0 0", "# read error"},
        {"text: polygon count beyond the bytes", "MSHA 1 0 99", "# read error"},
        {"text: infinite position", "MSHA 1 0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1e39 0 0 0 1 0", "# read error"},
        {"text: token over 1023 characters", "MSHA 1 0 0 1 " + longToken, "# read error"},
        {"text: more corners than a model holds", manyFrames, "# malloc error"},
        {"text: no frames", "MSHA 1 0 0 0", ""},
    };
    for (const auto& c : cases) {
        const std::string path = Write("damaged.model", c.bytes);
        CreateCube(9, 2);
        double result = -1;
        const auto start = std::chrono::steady_clock::now();
        const auto lines = NewLogLines([&] { result = LoadObject(path.c_str(), 9); });
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(result, 0.0) << c.name;
        EXPECT_FALSE(TheScene().slots[9].loaded) << c.name;
        EXPECT_LT(ms, 100.0) << c.name;
        // The reader's own two lines, then the command's line that names the file.
        std::vector<std::string> want = *c.line ? std::vector<std::string>{c.line, path} : std::vector<std::string>{};
        ASSERT_EQ(lines.size(), want.size() + 1) << c.name;
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 1), want) << c.name;
        EXPECT_EQ(lines.back().rfind("LoadObject \"" + path + "\": ", 0), 0u) << lines.back();
    }

    // Every cut of a valid file fails cleanly (a short read). (The sample is
    // Python's; elsewhere the file this test builds serves.)
    const std::string whole = corvane::testing::ShellToolsAvailable() ? ReadFile(SampleDir() + "sample.bin")
                                                                      : GoodBinary().s;
    for (std::size_t n = 0; n < whole.size(); ++n) {
        corvane::Mesh mesh;
        EXPECT_NE(ParseModel(mesh, reinterpret_cast<const std::uint8_t*>(whole.data()), n, false), ModelError::None) << n;
        EXPECT_TRUE(mesh.frames.empty() && mesh.colours.empty()) << n;
    }

    // A missing file: 0, the slot as it was, one line that says so; a null name logs nothing.
    CreateCube(9, 2);
    const auto lines = NewLogLines([] { EXPECT_EQ(LoadObject((TestTempDir() + "missing.model").c_str(), 9), 0.0); });
    EXPECT_EQ(lines, std::vector<std::string>{"LoadObject \"" + TestTempDir() + "missing.model\": not found"});
    EXPECT_TRUE(TheScene().slots[9].loaded);
    EXPECT_EQ(Triangles(Mesh(9), 0).size(), 36u);
    corvane::Mesh mesh;
    EXPECT_FALSE(ReadModel(mesh, nullptr, false));
    if (corvane::testing::ShellToolsAvailable()) {
        EXPECT_EQ(LoadObject((SampleDir() + "red.msha").c_str(), -1), 0.0);
    }
}

TEST_F(ModelFileTest, TextTokensAndCounts) {
    const struct {
        float value;
        std::int32_t count;
    } counts[] = {{3.9f, 3}, {-3.9f, -3}, {0.0f, 0}, {2147483648.0f, INT32_MIN}, {-2147483648.0f, INT32_MIN},
                  {1e30f, INT32_MIN}, {NAN, INT32_MIN}, {-INFINITY, INT32_MIN}};
    for (const auto& c : counts) EXPECT_EQ(TextCount(c.value), c.count) << c.value;
    const struct {
        const char* text;
        bool ok;
        std::size_t corners;
    } texts[] = {
        {"MSHA 1 0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1 0", true, 4},
        {"MSHA 1.0#comment glued to a token\n0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1 0", true, 4},
        {"MSHA 0x2 0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1 0", true, 4},  // hex reads 0
        {"MSHA inf 0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1 0", true, 4},  // so does "inf"
        {"MSHA 1 0 1 9 9 9 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1", true, 4},      // the last token missing reads 0
        {"MSHA 1 0 1 9 9 9 -5 1 3 0 0 0 1 0 0 0 1 0", true, 1},              // a negative vertex count reads nothing
        {"MSHA 1 0 1 9 9 9 3e12 1 3", false, 0},                               // out of int32: no vertices, then bad tokens
        {"MSHA\t1\r\n0 2 9 9 9 3 0 0 1 0 2 0 9 9 9 3 2 0 1 0 0 0 1 3 0 0 0 1 0 0 0 1 0", true, 8},
    };
    for (const auto& t : texts) {
        corvane::Mesh mesh;
        const ModelError e = ParseModel(mesh, reinterpret_cast<const std::uint8_t*>(t.text), std::strlen(t.text), false);
        EXPECT_EQ(e == ModelError::None, t.ok) << t.text;
        if (t.ok && t.corners) {
            ASSERT_EQ(mesh.frames.size(), 1u) << t.text;
            EXPECT_EQ(mesh.frames[0].corners.size(), t.corners) << t.text;
            EXPECT_FALSE(mesh.normalsDone);
        }
    }
}

TEST_F(ModelFileTest, LoadedModelsAnimateAndLight) {
    if (!corvane::testing::ShellToolsAvailable())
        GTEST_SKIP() << "the independent samples are written by Python: " << corvane::testing::kNoShellTools;
    // The three frames step by one unit on x: 48 px at 5 units away.
    ASSERT_EQ(LoadObject((SampleDir() + "anim.msha").c_str(), 10), 1.0);
    MoveTransform(-1, -1, -5);
    std::vector<Box> frames;
    for (int k = 0; k < 3; ++k) {
        Clear();
        DrawObjectFrame(10, k);
        frames.push_back(LitBox(WholeScreen()));
        if (k > 0) {
            EXPECT_NEAR(frames[k].centreX() - frames[k - 1].centreX(), 48, 2) << k;
        }
    }
    Clear();
    DrawObject(10, 0, 2, 0.5, 1);
    EXPECT_NEAR(LitBox(WholeScreen()).centreX(), frames[1].centreX(), 1);

    // A text quad facing a directional light is lit like the same quad built here.
    const std::string quad = "MSHA 1 0 1 255 255 255 4 0 0 1 0 2 0 3 0 1 4 -1 -1 0 1 -1 0 1 1 0 -1 1 0";
    ASSERT_EQ(LoadObject(Write("quad.msha", quad).c_str(), 11), 1.0);
    BuildQuad(12, -1, -1, 1, 1);
    for (double turn : {0.0, 60.0}) {
        Rgba lit[2];
        for (int i = 0; i < 2; ++i) {
            Reset();
            SetLight(0, 0x0000FF, 0, 0, 0, 0, 0, -1, 180);
            MoveTransform(0, 0, -5);
            RotateTransform(turn, 0, 1, 0);
            DrawObjectFrame(11 + i, 0);
            lit[i] = WholeScreen().at(320, 240);
        }
        EXPECT_TRUE(Near(lit[0], lit[1])) << turn;
        EXPECT_GT(lit[0].r, 150) << turn;
    }
}

} // namespace
} // namespace gfx3d_test
