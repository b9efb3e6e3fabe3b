// Drawing: texturing and colours, keyframes, the three vertex paths, the view
// cone, text in a scene, the debug primitives, and the release at exit.
#include <functional>

#include "runtime/engine/engine_state.h"
#include "runtime/values/rt_string.h"
#include "tests/gfx3d/gfx3d_test_support.h"

namespace gfx3d_test {
namespace {

using namespace corvane;
using gfx2d_test::MakeBmp;
using gfx2d_test::WriteTemp;

void LoadTexture(const char* name, int slot, const std::function<std::uint32_t(int, int)>& pixel) {
    const std::string path = WriteTemp(name, MakeBmp(64, 64, 24, pixel));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), slot), 1.0);
}

TEST_F(Gfx3dTest, TexturesColoursAndAlpha) {
    // 0xBBGGRR: red top half, blue bottom half; red left, green right.
    LoadTexture("top.bmp", 20, [](int, int y) { return y < 32 ? 0x0000FFu : 0xFF0000u; });
    LoadTexture("halves.bmp", 21, [](int x, int) { return x < 32 ? 0x0000FFu : 0x00FF00u; });
    BuildQuad(1, -1, -1, 1, 1); // 160 px square around the centre at depth 3
    BuildQuad(2, -1, -1, 1, 1, 0x00FF00);
    const Rgba red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
    struct Case {
        const char* name;
        std::function<void()> setUp;
        int slot;
        std::vector<std::pair<std::pair<int, int>, Rgba>> want; // pixel -> colour
    };
    const Case cases[] = {
        {"v = 0 at the top edge shows the picture's top", [] { SetTexture(20, -1); }, 1,
         {{{320, 180}, red}, {{320, 300}, blue}}},
        {"two halves", [] { SetTexture(21, -1); }, 1, {{{260, 240}, red}, {{380, 240}, green}}},
        {"shifted by half", [] { SetTexture(21, -1); SetTextureOffset3D(0.5, 0); }, 1,
         {{{260, 240}, green}, {{380, 240}, red}}},
        {"vertex colours", [] {}, 2, {{{320, 240}, green}}},
        {"normal blending at 0.5", [] { SetAlpha(-0.5); }, 1, {{{320, 240}, {64, 64, 64}}}},
        {"additive at 0.5", [] { SetAlpha(0.5); }, 1, {{{320, 240}, {128, 128, 128}}}},
    };
    for (const Case& c : cases) {
        Reset();
        c.setUp();
        MoveTransform(0, 0, -3);
        DrawObjectFrame(c.slot, 0);
        const Screen s = WholeScreen();
        for (const auto& [at, colour] : c.want)
            EXPECT_TRUE(Near(s.at(at.first, at.second), colour)) << c.name << " at " << at.first << "," << at.second;
    }
}

TEST_F(Gfx3dTest, KeyframesAndVertexPaths) {
    BuildMovingSquare(1, 5);
    BuildMovingSquare(2, 3);
    std::vector<Box> frame;
    for (int k = 0; k < 5; ++k) {
        Clear();
        DrawObjectFrame(1, k);
        frame.push_back(LitBox(WholeScreen()));
        ASSERT_NEAR(frame[k].centreX(), 320 + 48 * (k - 2) - 0.5, 1) << k;
    }
    struct Case {
        const char* name;
        std::function<void()> draw;
        double centreX;
    };
    const Case cases[] = {
        {"frame 7 of five is the last", [] { DrawObjectFrame(1, 7); }, frame[4].centreX()},
        {"frame 5 of three is the last", [] { DrawObjectFrame(2, 5); }, frame[2].centreX()},
        {"0 to 4 at 0.625: halfway from 2 to 3", [] { DrawObject(1, 0, 4, 0.625, 1); },
         (frame[2].centreX() + frame[3].centreX()) / 2},
        {"0 to 4 at 0.5: frame 2", [] { DrawObject(1, 0, 4, 0.5, 1); }, frame[2].centreX()},
        {"0 to 4 at 1.5: frame 2", [] { DrawObject(1, 0, 4, 1.5, 1); }, frame[2].centreX()},
        {"4 to 0 at 0.5: frame 2", [] { DrawObject(1, 4, 0, 0.5, 1); }, frame[2].centreX()},
        {"weight 0 without animation: the first frame", [] { DrawObject(1, 3, 0, 0, 0); }, frame[3].centreX()},
        {"weight 0.25 of frame 1 against 3", [] { DrawObject(1, 1, 3, 0.25, 0); }, frame[2].centreX() + 24},
    };
    for (const Case& c : cases) {
        Clear();
        c.draw();
        const Box b = LitBox(WholeScreen());
        EXPECT_NEAR(b.centreX(), c.centreX, 1) << c.name;
        EXPECT_NEAR(b.width(), 48, 2) << c.name;
    }

    // Static buffer, stream buffer (mapped, re-created, re-specified) and client
    // arrays draw the same pixels.
    const GLExtensions all = engine.surface.ext;
    GLExtensions noMap = all;
    noMap.mapBuffer = noMap.unmapBuffer = nullptr;
    const auto picture = [](const GLExtensions& ext, int frameNumber, double offset) {
        engine.surface.ext = ext;
        SetTextureOffset3D(offset, 0);
        Clear();
        DrawObjectFrame(1, frameNumber);
        return WholeScreen().pixels;
    };
    for (int k : {0, 3}) {
        const auto reference = picture(all, k, 0);
        EXPECT_EQ(picture(all, k, 0.25), reference) << k << " stream, mapped";
        EXPECT_EQ(picture(all, k, 0.5), reference) << k << " stream, mapped again";
        EXPECT_EQ(picture(noMap, k, 0.25), reference) << k << " stream, re-created";
        EXPECT_EQ(picture(GLExtensions{}, k, 0), reference) << k << " client arrays";
        EXPECT_EQ(picture(GLExtensions{}, k, 0.25), reference) << k << " client arrays, blended";
    }
    engine.surface.ext = all;
    SetTextureOffset3D(0, 0);
    EXPECT_NE(TheScene().slots[1].meshes[0].staticBuffer, 0u);
    EXPECT_NE(TheScene().slots[1].meshes[0].streamBuffer, 0u);

    // A slot rebuilt after drawing shows its new shape on every path.
    for (double offset : {0.0, 0.25}) {
        SetTextureOffset3D(offset, 0);
        CreateCube(3, 2);
        Clear();
        MoveTransform(0, 0, -5);
        DrawObjectFrame(3, 0);
        EXPECT_EQ(LitBox(WholeScreen()).width(), 120) << offset;
        StartObject(3);
        AddQuad(-0.5, -0.5, 0.5, 0.5);
        AddQuad(-0.5, -0.5, 0.5, 0.5);
        AddQuad(-0.5, -0.5, 0.5, 0.5);
        FinishObject();
        Clear();
        DrawObjectFrame(3, 0);
        EXPECT_EQ(LitBox(WholeScreen()).width(), 48) << offset;
    }
}

TEST_F(Gfx3dTest, ViewCone) {
    struct Case {
        const char* name;
        std::function<void()> place;
        double cx, cy, cz;  // box centre in the object
        bool drawn;
    };
    const Case cases[] = {
        {"ahead", [] { MoveTransform(0, 0, -5); }, 0, 0, 0, true},
        {"behind the camera", [] { MoveTransform(0, 0, 5); }, 0, 0, 0, false},
        {"outside a narrow cone", [] { Start3DMode(1, 100, 30); MoveTransform(-60, 0, -5); }, 0, 0, 0, false},
        {"level 1 brings it into view",
         [] { MoveTransform(0, 0, 20); PushTransform(); MoveTransform(0, 0, -25); }, 0, 0, 0, true},
        {"an off-centre mesh turned into view", [] { RotateTransform(90, 0, 1, 0); }, 5, 0, 0, true},
        {"an off-centre mesh scaled into view", [] { ScaleTransform(1, 1, 5); }, 0, 0, -1, true},
        {"after 3D mode alone", [] { PlaceCamera(0, 0, 0, 0, 0, 5); Start3DMode(1, 100, 90); MoveTransform(0, 0, -5); },
         0, 0, 0, true},
    };
    for (const Case& c : cases) {
        Reset();
        BuildBox(1, c.cx, c.cy, c.cz, 0.5);
        c.place();
        DrawObjectFrame(1, 0);
        EXPECT_EQ(!LitBox(WholeScreen()).empty(), c.drawn) << c.name;
        // A skipped object never reaches the GL.
        EXPECT_EQ(TheScene().slots[1].meshes[0].staticBuffer != 0, c.drawn) << c.name;
    }
}

TEST_F(Gfx3dTest, TextInAScene) {
    BuildBox(1, 0, 0, 5, 1, 0x0000FF); // red, between the eye and the text
    const auto whitePixels = [](const Screen& s) {
        int n = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) n += s.at(x, y) == Rgba{255, 255, 255};
        return n;
    };
    PlaceCamera(0, 0, 10, 0, 0, 0);
    PrintText3D(RtString("HH"), 0, 0, 0, 0);
    Screen s = WholeScreen();
    const Box text = LitBox(s);
    ASSERT_GT(whitePixels(s), 10);
    EXPECT_NEAR(text.centreX(), 319.5, 4);
    EXPECT_NEAR(text.centreY(), 239.5, 8);

    Clear();
    SetTexture(-1, -1); // the text left its font bound
    DrawObjectFrame(1, 0);
    PrintText3D(RtString("HH"), 0, 0, 0, 0);
    EXPECT_EQ(whitePixels(WholeScreen()), 0) << "hidden behind the box";

    // Billboard text seen from the side still faces the camera.
    Clear();
    PlaceCamera(10, 0, 0, 0, 0, 0);
    PrintText3D(RtString("HHHH"), 0, 0, 0, 0.05);
    const Box side = LitBox(WholeScreen());
    EXPECT_GT(side.count, 40);
    EXPECT_NEAR(side.centreX(), 319.5, 4);
}

TEST_F(Gfx3dTest, DebugPrimitives) {
    const auto rowsLit = [](const Screen& s, int x, Rgba colour) {
        int n = 0;
        for (int y = 0; y < 480; ++y) n += s.at(x, y) == colour;
        return n;
    };
    const Rgba green{0, 255, 0}, blue{0, 0, 255}, red{255, 0, 0};
    for (const auto& [width, rows] : {std::pair{5.0, 5}, {0.0, 1}, {1.0, 1}, {9.0, 9}}) {
        Clear();
        DrawLine3D(-1, 0, -5, 1, 0, -5, width, 0x00FF00);
        EXPECT_NEAR(rowsLit(WholeScreen(), 320, green), rows, 1) << width;
    }
    Clear();
    DrawPoint3D(0, 0, -5, 9, 0xFF0000);
    Box b = LitBox(WholeScreen());
    EXPECT_TRUE(Near(WholeScreen().at(320, 240), blue));
    EXPECT_NEAR(b.width(), 9, 2);

    // Axes at 50 units: 20 units = 96 px; x to the right, y up. (Half a unit off
    // the centre, so that the one-pixel lines do not run along pixel edges.)
    Clear();
    PlaceCamera(0, 0, 0, 0, 0, -1);
    DrawAxes3D(0.5, 0.5, -50);
    const Screen s = WholeScreen();
    EXPECT_EQ(rowsLit(s, 370, red), 1);
    int greenColumns = 0;
    for (int x = 310; x < 340; ++x) greenColumns += s.at(x, 200) == green;
    EXPECT_EQ(greenColumns, 1);

    // In debug mode a light shows where it is.
    for (int debug : {0, 1}) {
        Reset();
        engine.debugMode = debug;
        SetLight(0, 0xFFFFFF, 0, 0, -10, 1, 0, 0, 30);
        EXPECT_EQ(LitBox(gfx2d_test::ReadScreen(300, 220, 40, 40)).count > 400, debug == 1) << debug;
    }
    engine.debugMode = 0;

    // Afterwards: colour back to the alpha, texturing back on when a texture is bound.
    LoadTexture("any.bmp", 22, [](int, int) { return 0xFFFFFFu; });
    SetTexture(22, -1);
    DrawLine3D(0, 0, -5, 1, 1, -5, 3, 0x123456);
    DrawPoint3D(0, 0, -5, 3, 0x123456);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 1.0f);
    EXPECT_FLOAT_EQ(colour[2], 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
    GLfloat lineWidth = 0;
    glGetFloatv(GL_LINE_WIDTH, &lineWidth);
    EXPECT_EQ(lineWidth, 1.0f);
}

TEST(Gfx3dProcess, AllSlotsFilledEndCleanly) {
    // Every slot holds a cube, some are drawn, and the program ends: exit status
    // 0 and (in sanitizer builds) no leak report.
    const auto run = corvane::testing::RunProcess({corvane::testing::BuiltProgram("gfx3d_probe"), "fill"}, {}, 120);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(run.output.find("Sanitizer"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("filled 4096"), std::string::npos) << run.output;
}

} // namespace
} // namespace gfx3d_test
