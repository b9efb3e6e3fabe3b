// The effect light: stencil shadows and their pass, DOT3 bump mapping, cel
// shading, and the GL state every effect leaves for plain and 2D drawing.
#include <functional>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"
#include "runtime/values/rt_string.h"
#include "tests/gfx3d/gfx3d_test_support.h"
#include "tests/support/engine_fixture.h"

namespace gfx3d_test {
namespace {

using namespace corvane;
using gfx2d_test::MakeBmp;
using gfx2d_test::WriteTemp;

// Window position (y downward) of a world point under the current 3D matrices.
struct Projector {
    float modelview[16], projection[16];
    Projector() {
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
    }
    std::pair<int, int> operator()(float x, float y, float z) const {
        const float p[4] = {x, y, z, 1};
        float eye[4], clip[4];
        for (int i = 0; i < 4; ++i) eye[i] = modelview[i] * p[0] + modelview[4 + i] * p[1] + modelview[8 + i] * p[2] + modelview[12 + i];
        for (int i = 0; i < 4; ++i)
            clip[i] = projection[i] * eye[0] + projection[4 + i] * eye[1] + projection[8 + i] * eye[2] + projection[12 + i] * eye[3];
        const float sx = (clip[0] / clip[3] * 0.5f + 0.5f) * 640.0f, sy = (clip[1] / clip[3] * 0.5f + 0.5f) * 480.0f;
        return {int(sx), 479 - int(sy)};
    }
};

int Stencil(int x, int y) {
    GLubyte s = 0;
    glReadPixels(x, 479 - y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
    return s;
}

// A closed cube of edge 2 (2 * half) around the origin as a triangle list, wound
// counter-clockwise from outside, or clockwise when `reversed`.
void BuildListCube(int slot, bool reversed, double half = 1.0) {
    static const int kFaces[6][4] = {{1, 3, 4, 5}, {0, 7, 6, 2}, {2, 6, 4, 3}, {0, 1, 5, 7}, {7, 5, 4, 6}, {0, 2, 3, 1}};
    static const double kCorners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                                          {1, 1, 1},    {1, -1, 1},  {-1, 1, 1},  {-1, -1, 1}};
    StartObject(slot);
    AddVertex(0, 0, 0, 0, 0, -1);
    // Per face two triangles (a b c) (a c d), or (a c b) (a d c).
    for (const auto& f : kFaces) {
        const int order[6] = {0, 1, 2, 0, 2, 3}, flipped[6] = {0, 2, 1, 0, 3, 2};
        for (int i = 0; i < 6; ++i) {
            const double* p = kCorners[f[reversed ? flipped[i] : order[i]]];
            AddVertex(p[0] * half, p[1] * half, p[2] * half, 0, 0, 0xFFFFFF);
        }
    }
    FinishObject();
}

// A white 20 x 20 floor at y = 0, seen from both sides.
void BuildFloor(int slot) {
    StartObject(slot);
    AddVertex(0, 0, 0, 0, 0, -1);
    const double c[4][2] = {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}};
    for (int i : {0, 3, 2, 0, 2, 1, 0, 1, 2, 0, 2, 3}) AddVertex(c[i][0], 0, c[i][1], 0, 0, 0xFFFFFF);
    FinishObject();
}

void DrawAt(int slot, double x, double y, double z) {
    TheScene().transformLevels[0] = TransformLevel{};
    MoveTransform(x, y, z);
    DrawObjectFrame(slot, 0);
}

class EffectsTest : public Gfx3dTest {
protected:
    // The floor and the cube lit plainly, camera at (0, 8, 12) looking at the origin.
    Projector DrawShadowScene(int cube) {
        PlaceCamera(0, 8, 12, 0, 0, 0);
        DrawAt(1, 0, 0, 0);
        DrawAt(cube, 0, 2, 0);
        return Projector();
    }
    void OpenShadow() { SetLight(-3, 0, 0.5, 6, 0.5, 0, 0, 0, 1); }
    void CloseShadow() { SetLight(-3, 0, 0.5, 6, 0.5, 0, 0, 0, 0); }
};

TEST_F(EffectsTest, ShadowVolumesDarkenWhatTheCubeHides) {
    BuildFloor(1);
    BuildListCube(2, false);
    BuildListCube(3, true);
    CreateCube(4, 2);
    struct Case {
        const char* name;
        int cull, cube;
    } const cases[] = {
        {"no culling, outward counter-clockwise", 0, 2}, {"no culling, clockwise cube", 0, 3},
        {"no culling, the strip cube", 0, 4},           {"counter-clockwise culling", -1, 2},
        {"clockwise culling, clockwise cube", 1, 3},
    };
    for (const Case& c : cases) {
        Reset();
        SetCullMode(c.cull);
        const Projector at = DrawShadowScene(c.cube);
        GLint frontBefore = 0;
        glGetIntegerv(GL_FRONT_FACE, &frontBefore);
        OpenShadow();
        EXPECT_TRUE(TheScene().shadowPassActive) << c.name;
        TheScene().transformLevels[0] = TransformLevel{};
        MoveTransform(0, 2, 0);
        DrawObjectFrame(c.cube, 0);
        GLint frontAfter = 0;
        glGetIntegerv(GL_FRONT_FACE, &frontAfter);
        EXPECT_EQ(frontAfter, frontBefore) << c.name << ": the scene's front faces come back";
        EXPECT_EQ(glIsEnabled(GL_CULL_FACE), c.cull != 0 ? GL_TRUE : GL_FALSE) << c.name;
        CloseShadow();
        EXPECT_FALSE(TheScene().shadowPassActive) << c.name;
        const Screen s = WholeScreen();
        struct Probe {
            const char* what;
            float x, y, z;
            int want, tolerance;
        } const probes[] = {
            {"floor under the cube", 0, 0, 0, 128, 1},   {"open floor", 3, 0, 0, 255, 0},
            {"floor at z = 1.3", 0, 0, 1.3f, 128, 1},    {"cube top", 0, 3, 0, 255, 0},
            {"front face turned from the light", 0, 2, 1, 128, 1},
        };
        for (const Probe& p : probes) {
            const auto [x, y] = at(p.x, p.y, p.z);
            EXPECT_TRUE(Near(s.at(x, y), Rgba{p.want, p.want, p.want}, p.tolerance)) << c.name << ": " << p.what;
        }
        EXPECT_EQ(Stencil(320, 240), 0) << c.name << ": the closing clears the stencil";
    }
}

TEST_F(EffectsTest, AScaledObjectCastsTheShadowOfItsDrawnSize) {
    BuildFloor(1);
    BuildListCube(2, false);
    BuildListCube(3, false, 0.5);
    // The shadowed screen of a cube drawn at (0, 2, 0) with the given scale.
    const auto shadowed = [&](int cube, double scale) {
        const auto draw = [&] {
            TheScene().transformLevels[0] = TransformLevel{};
            MoveTransform(0, 2, 0);
            ScaleTransform(scale, scale, scale);
            DrawObjectFrame(cube, 0);
        };
        Reset();
        PlaceCamera(0, 8, 12, 0, 0, 0);
        DrawAt(1, 0, 0, 0);
        draw();
        OpenShadow();
        draw();
        CloseShadow();
        return WholeScreen();
    };
    const Screen reference = shadowed(2, 1.0), scaled = shadowed(3, 2.0);
    int differing = 0, dark = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (!Near(scaled.at(x, y), reference.at(x, y), 2)) ++differing;
            if (reference.at(x, y).r == 128) ++dark;
        }
    EXPECT_GT(dark, 1000) << "the reference casts a shadow";
    EXPECT_LE(differing, 20) << "pixels that differ from the shadow of a cube built at that size";
}

TEST_F(EffectsTest, ThePassOpensAndCloses) {
    BuildFloor(1);
    BuildListCube(2, false);
    struct Case {
        const char* name;
        std::function<void()> close;
    } const cases[] = {
        {"SetViewport", [] { SetViewport(0, 0, 640, 480); }},
        {"Start3DMode", [] { Start3DMode(1, 100, 90); }},
        {"PresentFrame", [] { PresentFrame(); }},
        {"the effect light off", [] { SetLight(-3, 0, 0, 0, 0, 0, 0, 0, 0); }},
    };
    for (const Case& c : cases) {
        Reset();
        const Projector at = DrawShadowScene(2);
        OpenShadow();
        ASSERT_TRUE(TheScene().shadowPassActive) << c.name;
        // Opening twice changes nothing; the volume marks the stencil under the cube.
        OpenShadow();
        TheScene().transformLevels[0] = TransformLevel{};
        MoveTransform(0, 2, 0);
        DrawObjectFrame(2, 0);
        const auto [x, y] = at(0, 0, 0);
        EXPECT_NE(Stencil(x, y), 0) << c.name;
        EXPECT_EQ(Stencil(at(3, 0, 0).first, at(3, 0, 0).second), 0) << c.name;
        c.close();
        EXPECT_FALSE(TheScene().shadowPassActive) << c.name;
        EXPECT_EQ(Stencil(x, y), 0) << c.name;
        EXPECT_EQ(glIsEnabled(GL_STENCIL_TEST), GL_FALSE) << c.name;
        GLboolean writes[4];
        glGetBooleanv(GL_COLOR_WRITEMASK, writes);
        EXPECT_TRUE(writes[0] && writes[1] && writes[2] && writes[3]) << c.name;
    }

    // Mode 3 while the pass is closed leaves the picture as it was.
    Reset();
    DrawShadowScene(2);
    const Screen before = WholeScreen();
    SetLight(-3, 0, 0.5, 6, 0.5, 0, 0, 0, 1);
    SetShadowPass(false);
    ASSERT_TRUE(TheScene().effectEnabled);
    Start3DMode(1, 100, 90);
    TheScene().effectEnabled = true; // the light stays, the pass does not
    PlaceCamera(0, 8, 12, 0, 0, 0);
    DrawAt(2, 0, 2, 0);
    EXPECT_EQ(WholeScreen().pixels, before.pixels);

    // A 2D rectangle after a pass draws as usual.
    Reset();
    DrawShadowScene(2);
    OpenShadow();
    DrawAt(2, 0, 2, 0);
    CloseShadow();
    DrawRect(10, 10, 19, 19, 0x00FF00);
    EXPECT_TRUE(Near(WholeScreen().at(15, 15), Rgba{0, 255, 0}));
}

TEST_F(EffectsTest, EffectLightSelection) {
    struct Case {
        double number, cone;
        bool enabled;
        int mode;
    } const cases[] = {{-1, 1, true, 1}, {-2, 45, true, 2}, {-7, 1, true, 2}, {-3, 1, true, 3}, {-1, 0, false, 1},
                       {-3, 0, false, 3}};
    for (const Case& c : cases) {
        Reset();
        GLint lightsBefore = glIsEnabled(GL_LIGHTING);
        SetLight(c.number, 0x3366FF, 1, 2, 3, 0, 0, 0, c.cone);
        EXPECT_EQ(TheScene().effectEnabled, c.enabled) << c.number;
        EXPECT_EQ(TheScene().effectMode, c.mode) << c.number;
        EXPECT_EQ(TheScene().shadowPassActive, c.mode == 3 && c.enabled) << c.number;
        EXPECT_FLOAT_EQ(TheScene().effectLightPosition[2], 3.0f);
        EXPECT_NEAR(TheScene().effectLightColour[0], 1.0, 1e-6);
        EXPECT_NEAR(TheScene().effectLightColour[2], 0x33 / 255.0, 1e-6);
        EXPECT_EQ(glIsEnabled(GL_LIGHTING), lightsBefore) << "nothing goes to the GL";
        EXPECT_EQ(TheScene().lightMask, 0);
        SetShadowPass(false);
    }
    SetHeadLight(-2, 0xFFFFFF);
    EXPECT_TRUE(TheScene().effectEnabled);
    EXPECT_EQ(TheScene().effectMode, 2);
}

// ---------------------------------------------------------------- bump mapping

std::string WriteRidge() {
    const std::string path = corvane::testing::TestTempDir() + "ridge.bmp";
    const auto r = corvane::testing::RunProcess(
        {"convert", "-size", "64x64", "xc:", "-fx", "1-abs(i-31.5)/32", "-type", "TrueColor", "BMP3:" + path}, {}, 30);
    return r.started && r.exitStatus == 0 ? path : std::string();
}

TEST_F(EffectsTest, BumpMappingLightsTheNormalMap) {
    const std::string white = WriteTemp("white.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0xFFFFFFu; }));
    const std::string flat = WriteTemp("flat.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0x808080u; }));
    ASSERT_EQ(LoadSprite(RtString(white.c_str()), 30), 1.0);
    ASSERT_EQ(LoadBumpTexture(RtString(flat.c_str()), 31), 1.0);
    const std::string ridge = WriteRidge();
    const bool haveRidge = !ridge.empty() && LoadBumpTexture(RtString(ridge.c_str()), 32) == 1.0;
    BuildQuad(1, -1, -1, 1, 1); // tangent +x, normal +z

    // Tangents change the corners: the triangles follow and frame 0's upload goes.
    corvane::Mesh& mesh = TheScene().slots[1].meshes[0];
    DrawAt(1, 0, 0, -3);
    const bool buffers = mesh.staticBuffer != 0;
    SetLight(-1, 0xFFFFFF, 0, 0, 100, 0, 0, 0, 1);
    DrawAt(1, 0, 0, -3);
    EXPECT_EQ(mesh.staticBuffer, 0u) << "had one: " << buffers;
    EXPECT_NEAR(Triangles(mesh, 0)[0].tangent[0], 1.0f, 1e-6);
    EXPECT_NEAR(Triangles(mesh, 0)[0].binormal[1], -1.0f, 1e-6);

    const double s60 = std::sin(60 * 3.14159265358979 / 180), c60 = 0.5;
    struct Case {
        const char* name;
        int bump;
        double lx, lz, cone;
        int left, right, tolerance; // grey at x = 280 and x = 360
    } const cases[] = {
        {"light along the normal", 31, 0, 1000, 1, 255, 255, 2},
        {"60 degrees toward the tangent", 31, 1000 * s60, 1000 * c60, 1, 128, 128, 3},
        {"cone 0 draws the normal map plainly", 31, 0, 1000, 0, 128, 128, 2},
    };
    for (const Case& c : cases) {
        Reset();
        SetTexture(30, c.bump);
        SetLight(-1, 0xFFFFFF, c.lx, 0, c.lz - 3, 0, 0, 0, c.cone);
        DrawAt(1, 0, 0, -3);
        const Screen s = WholeScreen();
        EXPECT_NEAR(s.at(280, 240).r, c.left, c.tolerance) << c.name;
        EXPECT_NEAR(s.at(360, 240).g, c.right, c.tolerance) << c.name;
        if (c.cone == 0) {
            EXPECT_NEAR(s.at(320, 240).b, 255, 2) << c.name;
        }
    }

    if (!haveRidge) GTEST_SKIP() << "ImageMagick could not write the ridge picture";
    Reset();
    SetTexture(30, 32);
    SetLight(-1, 0xFFFFFF, 1000 * s60, 0, 1000 * c60, 0, 0, 0, 1);
    DrawAt(1, 0, 0, -3);
    const Screen s = WholeScreen();
    // The right half slopes down toward +x, where the light is.
    EXPECT_GT(s.at(360, 240).r, s.at(280, 240).r + 40);
}

// ---------------------------------------------------------------- cel shading

// A horizontal quad (x -3..-1, z -1..1 at y 0) and a vertical one (x 1..3, y 0..2
// at z 0) as triangle lists, so each face keeps its own normal.
void BuildCelPair(int slot, double horizontalColour, double verticalColour) {
    StartObject(slot);
    AddVertex(0, 0, 0, 0, 0, -1);
    const double h[4][3] = {{-3, 0, 1}, {-1, 0, 1}, {-1, 0, -1}, {-3, 0, -1}};
    const double v[4][3] = {{1, 0, 0}, {3, 0, 0}, {3, 2, 0}, {1, 2, 0}};
    for (int i : {0, 1, 2, 0, 2, 3}) AddVertex(h[i][0], h[i][1], h[i][2], 0, 0, horizontalColour);
    for (int i : {0, 1, 2, 0, 2, 3}) AddVertex(v[i][0], v[i][1], v[i][2], 0, 0, verticalColour);
    FinishObject();
}

TEST_F(EffectsTest, CelShadingBands) {
    const std::string red = WriteTemp("red.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0x0000FFu; }));
    const std::string blue = WriteTemp("blue.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0xFF0000u; }));
    ASSERT_EQ(LoadSprite(RtString(red.c_str()), 50), 1.0);
    ASSERT_EQ(LoadSprite(RtString(blue.c_str()), 51), 1.0);
    BuildCelPair(1, 0xFFFFFF, 0xFFFFFF);
    BuildCelPair(2, 0x0000FF, 0x00FF00);
    BuildCelPair(3, 0xFFFFFF, 0xFFFFFF);
    BuildCelPair(4, 0xFFFFFF, 0xFFFFFF);
    BuildCelPair(5, 0x808080, 0x808080);
    struct Case {
        const char* name;
        int slot, texture, second;
        Rgba horizontal, vertical;
        int tolerance;
    } const cases[] = {
        {"white: full light above, the ramp's start on the side", 1, -1, -1, {255, 255, 255}, {118, 118, 118}, 3},
        {"one row per colour", 2, -1, -1, {255, 0, 0}, {0, 118, 0}, 3},
        {"the texture on unit 0, first draw", 3, 50, -1, {255, 0, 0}, {118, 0, 0}, 3},
        {"two textures: the first one shows", 4, 50, 51, {255, 0, 0}, {118, 0, 0}, 3},
        {"grey: its colour counts once, as drawn plainly", 5, -1, -1, {128, 128, 128}, {59, 59, 59}, 3},
    };
    for (const Case& c : cases) {
        Reset();
        SetTexture(c.texture, c.second);
        PlaceCamera(0, 4, 8, 0, 0.5, 0);
        const Projector at;
        SetLight(-2, 0xFFFFFF, 0, 1000, 0, 0, 0, 0, 1);
        DrawAt(c.slot, 0, 0, 0);
        const Screen s = WholeScreen();
        const auto [hx, hy] = at(-2, 0, 0);
        const auto [vx, vy] = at(2, 1, 0);
        EXPECT_TRUE(Near(s.at(hx, hy), c.horizontal, c.tolerance)) << c.name;
        EXPECT_TRUE(Near(s.at(vx, vy), c.vertical, c.tolerance)) << c.name;
    }

    // Made once per colour list; the marker row is the grey ramp.
    corvane::Mesh& mesh = TheScene().slots[2].meshes[0];
    const unsigned texture = mesh.toonTexture;
    ASSERT_NE(texture, 0u);
    DrawAt(2, 0, 0, 0);
    EXPECT_EQ(mesh.toonTexture, texture);
    EXPECT_FLOAT_EQ(mesh.toonRowStep, 0.25f); // strip and list markers, red, green: 4 rows
    std::vector<unsigned char> texels(16 * 4 * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    ForgetBoundTexture();
    const int ramp[16] = {100, 160, 160, 160, 160, 160, 160, 207, 255, 255, 255, 255, 255, 255, 255, 255};
    const auto texel = [&](int row, int s, int channel) { return int(texels[std::size_t(row * 16 + s) * 4 + std::size_t(channel)]); };
    for (int s = 0; s < 16; ++s) {
        for (int row : {0, 1})
            for (int ch : {0, 1, 2}) EXPECT_EQ(texel(row, s, ch), ramp[s]) << "marker row " << row << ", texel " << s;
        EXPECT_EQ(texel(2, s, 0), ramp[s]) << "red row";
        EXPECT_EQ(texel(2, s, 1), 0) << "red row";
        EXPECT_EQ(texel(3, s, 1), ramp[s]) << "green row";
        EXPECT_EQ(texel(3, s, 2), 0) << "green row";
        EXPECT_EQ(texel(3, s, 3), 255) << "opaque";
    }

    // Rebuilt with more colours: new rows, the old texture gone.
    StartObject(2);
    AddVertex(0, 0, 0, 0, 0, -1);
    const double colours[5] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF};
    for (int q = 0; q < 5; ++q)
        for (int i = 0; i < 3; ++i) AddVertex(q + i % 2, i / 2, 0, 0, 0, colours[q]);
    FinishObject();
    DrawAt(2, 0, 0, -8);
    corvane::Mesh& rebuilt = TheScene().slots[2].meshes[0];
    EXPECT_FLOAT_EQ(rebuilt.toonRowStep, 0.125f); // two markers and five colours: 8 rows
    EXPECT_EQ(glIsTexture(texture) && texture != rebuilt.toonTexture, GL_FALSE);
    const std::vector<unsigned char> rows = ToonTexels(rebuilt.colours, 8);
    EXPECT_EQ(rows[(6 * 16 + 15) * 4 + 2], 255); // the fifth colour's bright end: 0xFF00FF
    EXPECT_EQ(rows[(6 * 16 + 15) * 4 + 1], 0);
    EXPECT_EQ(rows[(7 * 16 + 0) * 4 + 0], 100); // beyond the list: the first entry's (grey) ramp
}

// ---------------------------------------------------------------- state left behind

TEST_F(EffectsTest, PlainStateAfterwardsAndWithoutEntryPoints) {
    // Text after a bump draw matches the same text drawn before any effect.
    const std::string white = WriteTemp("white2.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0xFFFFFFu; }));
    const std::string flat = WriteTemp("flat2.bmp", MakeBmp(64, 64, 24, [](int, int) { return 0x808080u; }));
    ASSERT_EQ(LoadSprite(RtString(white.c_str()), 40), 1.0);
    ASSERT_EQ(LoadBumpTexture(RtString(flat.c_str()), 41), 1.0);
    BuildQuad(1, -1, -1, 1, 1);
    ResetViewport(0, 0, 0, 0);
    Clear();
    PrintText(RtString("Shadow 42"), 8, 8);
    const Screen reference = gfx2d_test::ReadScreen(0, 0, 200, 40);
    Reset();
    SetTexture(40, 41);
    SetLight(-1, 0xFFFFFF, 0, 0, 100, 0, 0, 0, 1);
    DrawAt(1, 0, 0, -3);
    GLint mode = 0, active = 0, clientActive = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &clientActive);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(active, GL_TEXTURE0);
    EXPECT_EQ(clientActive, GL_TEXTURE0);
    EXPECT_EQ(mode, GL_MODULATE);
    ResetViewport(0, 0, 0, 0);
    Clear();
    PrintText(RtString("Shadow 42"), 8, 8);
    EXPECT_EQ(gfx2d_test::ReadScreen(0, 0, 200, 40).pixels, reference.pixels);

    // Without the multitexture entry points every effect draws the plain object.
    BuildCelPair(2, 0x0000FF, 0x00FF00);
    const auto drawn = [&](std::function<void()> effect) {
        Reset();
        SetTexture(40, -1);
        PlaceCamera(0, 4, 8, 0, 0.5, 0);
        effect();
        DrawAt(2, 0, 0, 0);
        return WholeScreen().pixels;
    };
    const std::vector<unsigned char> plain = drawn([] {});
    struct Case {
        const char* name;
        std::function<void()> effect;
    } const cases[] = {
        {"bump", [] { SetLight(-1, 0xFFFFFF, 0, 100, 0, 0, 0, 0, 1); }},
        {"cel", [] { SetLight(-2, 0xFFFFFF, 0, 100, 0, 0, 0, 0, 1); }},
        {"shadow, pass closed",
         [] {
             TheScene().effectEnabled = true;
             TheScene().effectMode = 3;
         }},
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> pixels = drawn([&] {
            engine.surface.ext.activeTexture = nullptr;
            engine.surface.ext.clientActiveTexture = nullptr;
            c.effect();
        });
        EXPECT_TRUE(pixels == plain) << c.name;
    }
}

} // namespace
} // namespace gfx3d_test
