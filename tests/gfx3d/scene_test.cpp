// The scene: projection, camera, transform stack, culling, lights and fog, read
// back from the frame buffer.
#include <functional>

#include "tests/gfx3d/gfx3d_test_support.h"

namespace gfx3d_test {
namespace {

using namespace corvane;

TEST_F(Gfx3dTest, ProjectionAndCamera) {
    // A cube of edge 2 five units ahead: its front face at depth 4 spans 120 px.
    CreateCube(1, 2);
    MoveTransform(0, 0, -5);
    DrawObjectFrame(1, 0);
    Box b = LitBox(WholeScreen());
    EXPECT_EQ(b.minX, 260);
    EXPECT_EQ(b.maxX, 379);
    EXPECT_EQ(b.minY, 180);
    EXPECT_EQ(b.maxY, 299);

    // Orthographic: the same size at any depth.
    CreateCube(2, 20);
    for (double depth : {20.0, 50.0}) {
        Start3DMode(1, 100, -90);
        Clear();
        MoveTransform(0, 0, -depth);
        DrawObjectFrame(2, 0);
        b = LitBox(WholeScreen());
        EXPECT_NEAR(b.width(), 48, 1) << depth;
        EXPECT_NEAR(b.height(), 48, 1) << depth;
    }

    // Looking from +x at the origin, world +z lies to the left.
    BuildBox(3, 0, 0, 3, 0.5);
    Start3DMode(1, 100, 90);
    Clear();
    PlaceCamera(10, 0, 0, 0, 0, 0);
    DrawObjectFrame(3, 0);
    b = LitBox(WholeScreen());
    ASSERT_FALSE(b.empty());
    EXPECT_LT(b.maxX, 320);

    // Up (0, -1, 0) turns the picture over: +y is drawn below the centre.
    BuildBox(4, 0, 2, -5, 0.5);
    for (double up : {1.0, -1.0}) {
        Start3DMode(1, 100, 90);
        Clear();
        SetCameraUp(0, up, 0);
        PlaceCamera(0, 0, 0, 0, 0, -1);
        DrawObjectFrame(4, 0);
        b = LitBox(WholeScreen());
        ASSERT_FALSE(b.empty()) << up;
        if (up > 0) EXPECT_LT(b.maxY, 240);
        else EXPECT_GT(b.minY, 240);
    }

    // Zero vectors: an eye on its target, no up. Nothing to see, nothing breaks.
    SetCameraUp(0, 0, 0);
    PlaceCamera(1, 1, 1, 1, 1, 1);
    DrawObjectFrame(4, 0);
    for (float v : TheScene().cameraMatrix) EXPECT_TRUE(std::isfinite(v));
}

TEST_F(Gfx3dTest, TransformStack) {
    // A bar 4 wide and 0.5 high, ten units ahead (24 px per unit).
    StartObject(1);
    AddQuad(-2, -0.25, 2, 0.25);
    FinishObject();
    BuildBox(2, 2, 0, 0, 0.25); // a small box off the object's origin

    struct Case {
        const char* name;
        std::function<void()> place;
        int slot;
        int width, height;       // of the lit box, px (0: only the centre is tested)
        double centreX, centreY; // screen centre of the lit box
    };
    const Case cases[] = {
        {"scale, move, rotate: 0.5 wide, 8 high",
         [] { ScaleTransform(2, 1, 1); MoveTransform(0, 0, -10); RotateTransform(90, 0, 0, 1); }, 1, 12, 192, 319.5, 239.5},
        {"rotations apply first-given first",
         [] { MoveTransform(0, 0, -10); RotateTransform(90, 0, 0, 1); RotateTransform(90, 1, 0, 0); }, 2, 0, 0, 319.5, 239.5},
        {"the seventeenth rotation is ignored",
         [] {
             MoveTransform(0, 0, -10);
             for (int i = 0; i < 16; ++i) RotateTransform(22.5, 0, 0, 1);
             RotateTransform(90, 0, 0, 1);
         }, 1, 96, 12, 319.5, 239.5},
        {"MoveTransform drops the rotations", [] { RotateTransform(90, 0, 0, 1); MoveTransform(0, 0, -10); }, 1, 96, 12, 319.5, 239.5},
        {"levels compose",
         [] { MoveTransform(0, 0, -10); RotateTransform(90, 0, 0, 1); PushTransform(); MoveTransform(2, 0, 0); }, 1, 12, 96, 319.5, 191.5},
        {"a pop returns to the level below",
         [] { MoveTransform(0, 0, -10); PushTransform(); MoveTransform(0, 3, 0); PopTransform(); }, 1, 96, 12, 319.5, 239.5},
    };
    for (const Case& c : cases) {
        Start3DMode(1, 100, 90);
        TheScene().transformLevels[0] = TransformLevel{};
        Clear();
        c.place();
        DrawObjectFrame(c.slot, 0);
        const Box b = LitBox(WholeScreen());
        ASSERT_FALSE(b.empty()) << c.name;
        if (c.width) {
            EXPECT_NEAR(b.width(), c.width, 2) << c.name;
            EXPECT_NEAR(b.height(), c.height, 2) << c.name;
        }
        EXPECT_NEAR(b.centreX(), c.centreX, 2) << c.name;
        EXPECT_NEAR(b.centreY(), c.centreY, 2) << c.name;
    }

    // The depth stays within 0..15.
    Start3DMode(1, 100, 90);
    EXPECT_EQ(PopTransform(), 0);
    for (int i = 0; i < 20; ++i) PushTransform();
    EXPECT_EQ(TheScene().transformDepth, 15);
    EXPECT_EQ(PopTransform(), 14);

    // The CPU placement equals the GL's product of the same levels.
    MoveTransform(1, 2, 3);
    RotateTransform(30, 0, 1, 0);
    RotateTransform(-70, 1, 1, 0);
    PushTransform();
    ScaleTransform(2, 3, 4);
    MoveTransform(-1, 0.5, 2);
    RotateTransform(45, 0, 0, 1);
    float cpu[16], gl[16];
    PlacementMatrix(TheScene(), cpu);
    glPushMatrix();
    glLoadIdentity();
    ApplyTransformStack(TheScene());
    glGetFloatv(GL_MODELVIEW_MATRIX, gl);
    glPopMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(cpu[i], gl[i], 1e-5) << i;

    // Its inverse without scale undoes rotation and translation.
    float inverse[16], world[3], back[3];
    const float p[3] = {0.3f, -2.0f, 5.0f};
    RigidInverse(cpu, inverse);
    float rigid[16];
    std::copy(cpu, cpu + 16, rigid);
    for (int c = 0; c < 3; ++c) {
        const float length = std::sqrt(rigid[c * 4] * rigid[c * 4] + rigid[c * 4 + 1] * rigid[c * 4 + 1] +
                                       rigid[c * 4 + 2] * rigid[c * 4 + 2]);
        for (int i = 0; i < 3; ++i) rigid[c * 4 + i] /= length;
    }
    TransformPoint(rigid, p, world);
    TransformPoint(inverse, world, back);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], p[i], 1e-4) << i;

    // The full inverse undoes scale as well.
    float full[16];
    AffineInverse(cpu, full);
    TransformPoint(cpu, p, world);
    TransformPoint(full, world, back);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], p[i], 1e-4) << i;
}

TEST_F(Gfx3dTest, CullModeTruncatesItsArgument) {
    const struct { double given; int mode; } cases[] = {
        {0.5, 0}, {-0.5, 0}, {0.999, 0}, {-0.999, 0}, {std::nan(""), 0},
        {1, 1}, {1.5, 1}, {7, 1}, {-1, -1}, {-2.7, -1},
    };
    for (const auto& c : cases) {
        SetCullMode(-c.mode == 0 ? 1 : -c.mode); // a different state first
        SetCullMode(c.given);
        GLint front = 0;
        glGetIntegerv(GL_FRONT_FACE, &front);
        EXPECT_EQ(glIsEnabled(GL_CULL_FACE), c.mode != 0 ? GL_TRUE : GL_FALSE) << c.given;
        if (c.mode != 0) {
            EXPECT_EQ(front, c.mode > 0 ? GL_CW : GL_CCW) << c.given;
        }
    }
    SetCullMode(0);
}

TEST_F(Gfx3dTest, CullingAndClosedCube) {
    StartObject(1);
    AddQuad(-1, -1, 1, 1); // counter-clockwise as seen
    FinishObject();
    for (const auto& [mode, drawn] : {std::pair{-1, true}, {0, true}, {1, false}}) {
        Clear();
        SetCullMode(mode);
        MoveTransform(0, 0, -5);
        DrawObjectFrame(1, 0);
        EXPECT_EQ(!LitBox(WholeScreen()).empty(), drawn) << mode;
    }

    // With back faces culled and a head light, every pixel inside the cube's
    // outline belongs to a lit front face.
    CreateCube(2, 2);
    Clear();
    SetCullMode(-1);
    SetHeadLight(0, 0xFFFFFF);
    PlaceCamera(-6, 6, 6, 0, 0, 0);
    DrawObjectFrame(2, 0);
    const Screen s = WholeScreen();
    const Box b = LitBox(s);
    ASSERT_GT(b.count, 1000);
    int holes = 0;
    for (int y = b.minY; y <= b.maxY; ++y) {
        int first = -1, last = -1;
        for (int x = b.minX; x <= b.maxX; ++x)
            if (s.lit(x, y)) last = x, first = first < 0 ? x : first;
        for (int x = first; first >= 0 && x <= last; ++x) holes += !s.lit(x, y);
    }
    EXPECT_EQ(holes, 0);
}

TEST_F(Gfx3dTest, LightsAndFog) {
    // A white quad at the centre, facing +z; light-model ambient 0.2 on white.
    StartObject(1);
    AddQuad(-1, -1, 1, 1);
    FinishObject();
    struct Case {
        const char* name;
        std::function<void()> setUp;
        double turn;  // degrees about y
        Rgba want;
    };
    const Case cases[] = {
        {"red directional light, facing", [] { SetLight(0, 0x0000FF, 0, 0, 0, 0, 0, -1, 180); }, 0, {255, 51, 51}},
        {"turned 60 degrees", [] { SetLight(0, 0x0000FF, 0, 0, 0, 0, 0, -1, 180); }, 60, {178, 51, 51}},
        {"facing away", [] { SetLight(0, 0x0000FF, 0, 0, 0, 0, 0, -1, 180); }, 180, {51, 51, 51}},
        {"light 9 drives light 1", [] { SetLight(9, 0x0000FF, 0, 0, 0, 0, 0, -1, 180); }, 0, {255, 51, 51}},
        {"the last light off ends lighting",
         [] { SetLight(2, 0x0000FF, 0, 0, 0, 0, 0, -1, 180); SetLight(2, 0, 0, 0, 0, 0, 0, 0, 0); }, 0, {255, 255, 255}},
        {"linear fog from the clip distances at depth 51",
         [] { Start3DMode(1, 101, 90); SetFog(0xFF, 0, 0, 0); }, 0, {255, 128, 128}},
        {"exponential fog 0.02 at depth 51", [] { SetFog(0xFF, 1, 0.02, 0); }, 0, {255, 92, 92}},
        {"fog off", [] { SetFog(0xFF, 1, 0.02, 0); SetFog(-1, 1, 0.02, 0); }, 0, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        Reset();
        c.setUp();
        const bool fog = std::string(c.name).find("fog") != std::string::npos;
        MoveTransform(0, 0, fog ? -51 : -5);
        RotateTransform(c.turn, 0, 1, 0);
        DrawObjectFrame(1, 0);
        EXPECT_TRUE(Near(WholeScreen().at(320, 240), c.want)) << c.name;
    }

    Reset();
    SetLight(9, 0xFFFFFF, 0, 0, 0, 0, 0, -1, 180);
    SetLight(3, 0xFFFFFF, 0, 0, 0, 0, 0, -1, 180);
    EXPECT_EQ(TheScene().lightMask, 0x0A);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    SetLight(1, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING)) << "light 3 is still on";
    SetLight(3, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

    // A head light lights the face turned to the viewer, wherever the camera is.
    SetHeadLight(0, 0x0000FF);
    for (const auto& [eyeX, eyeZ, turn] : {std::tuple{0.0, 0.0, 0.0}, {10.0, -5.0, 90.0}, {-7.0, -12.0, -135.0}}) {
        Clear();
        PlaceCamera(eyeX, 0, eyeZ, 0, 0, -5);
        MoveTransform(0, 0, -5);
        RotateTransform(turn, 0, 1, 0);
        DrawObjectFrame(1, 0);
        EXPECT_TRUE(Near(WholeScreen().at(320, 240), {255, 51, 51})) << eyeX;
    }

    // A spot of cone 20 from the eye over a fine grid lights inside the cone
    // only (tan 20 degrees x 5 = 1.82 units = 87 px).
    Reset();
    StartObject(2);
    for (int row = 0; row < 40; ++row) {
        NewStrip();
        for (int col = 0; col <= 40; ++col)
            for (int r : {row + 1, row}) AddVertex(-4 + col * 0.2, -4 + r * 0.2, 0, 0, 0, 0xFFFFFF);
    }
    FinishObject();
    SetLight(0, 0x0000FF, 0, 0, 0, 0, 0, -1, 20);
    MoveTransform(0, 0, -5);
    DrawObjectFrame(2, 0);
    const Screen s = WholeScreen();
    for (const auto& [dx, inside] : {std::pair{0, true}, {50, true}, {-70, true}, {110, false}, {-150, false}}) {
        const Rgba c = s.at(320 + dx, 240);
        if (inside) EXPECT_GT(c.r, 200) << dx;
        else EXPECT_TRUE(Near(c, {51, 51, 51})) << dx;
    }
}

} // namespace
} // namespace gfx3d_test
