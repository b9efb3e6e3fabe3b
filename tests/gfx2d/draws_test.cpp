// Sprite draws, polygon batches, pixel collision and screen grabs, checked on
// the framebuffer.
#include <cmath>
#include <limits>

#include "runtime/gfx2d/renderer.h"
#include "tests/gfx2d/sprites_test_support.h"

using namespace corvane;
using namespace sprites_test;

namespace {

constexpr int kQuad = 1, kOpaque = 2, kLeftKeyed = 3, kTopOpaque = 4;

class Draws : public SpritesTest {
protected:
    void SetUp() override {
        SpritesTest::SetUp();
        static bool loaded = false;
        if (loaded) return;
        loaded = true;
        LoadPicture(kQuad, 32, 32, Quadrants, "quad.bmp");
        LoadPicture(kOpaque, 32, 32, [](int, int) { return kWhite; }, "opaque.bmp");
        LoadPicture(kLeftKeyed, 32, 32, [](int x, int) { return x < 16 ? kKey : kWhite; }, "left_keyed.bmp");
        LoadPicture(kTopOpaque, 32, 32, [](int, int y) { return y < 16 ? kWhite : kKey; }, "top_opaque.bmp");
    }

    // The quadrant picture expected with its top-left at (x, y).
    static void ExpectQuadrants(int x, int y, const char* what) {
        const Screen s = WholeScreen();
        for (int py = 0; py < 32; ++py)
            for (int px = 0; px < 32; ++px)
                ASSERT_EQ(s.at(x + px, y + py), ColourOf(Quadrants(px, py))) << what << " at " << px << ", " << py;
    }
};

TEST_F(Draws, PlacesAndSizes) {
    struct Case {
        const char* what;
        std::function<void()> draw;
        int left, top, right, bottom;   // lit box, inclusive
    };
    const Case cases[] = {
        {"DrawSprite ceils", [] { DrawSprite(kOpaque, 10.5, 20.0); }, 11, 20, 42, 51},
        {"StretchSprite ceils all four", [] { StretchSprite(kOpaque, 9.2, 9.9, 20.1, 4.5); }, 10, 10, 30, 14},
        {"ZoomSprite about the centre", [] { ZoomSprite(kOpaque, 100, 100, 2, 2); }, 84, 84, 147, 147},
        {"negative zoom: same box", [] { ZoomSprite(kOpaque, 100, 100, -2, -2); }, 84, 84, 147, 147},
        {"RotoZoomSprite about the unzoomed centre", [] { RotoZoomSprite(kOpaque, 100, 100, 0, 2); }, 84, 84, 147, 147},
        {"RotoZoomSprite zoom 0: own size", [] { RotoZoomSprite(kOpaque, 100, 100, 0, 0); }, 100, 100, 131, 131},
        {"billboard under the 2D state", [] { DrawSprite3D(kOpaque, 200, -100, 0, 2); }, 184, 68, 215, 99},
    };
    for (const Case& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        c.draw();
        const Lit l = LitPixels(WholeScreen());
        EXPECT_EQ(l.left, c.left) << c.what;
        EXPECT_EQ(l.top, c.top) << c.what;
        EXPECT_EQ(l.right, c.right) << c.what;
        EXPECT_EQ(l.bottom, c.bottom) << c.what;
        EXPECT_EQ(l.count, (c.right - c.left + 1) * (c.bottom - c.top + 1)) << c.what;
    }
}

TEST_F(Draws, PicturesUprightAndTurnedCounterClockwise) {
    DrawSprite(kQuad, 100, 100);
    ExpectQuadrants(100, 100, "DrawSprite");
    StretchSprite(kQuad, 200, 100, 32, 32);
    ExpectQuadrants(200, 100, "StretchSprite");

    glClear(GL_COLOR_BUFFER_BIT);
    RotateSprite(kQuad, 100, 100, 90);
    const Screen s = WholeScreen();
    // A quarter turn counter-clockwise: green comes to the top-left, red below it.
    EXPECT_EQ(s.at(108, 108), ColourOf(kGreen));
    EXPECT_EQ(s.at(124, 108), ColourOf(kWhite));
    EXPECT_EQ(s.at(108, 124), ColourOf(kRed));
    EXPECT_EQ(s.at(124, 124), ColourOf(kBlue));
    EXPECT_EQ(LitPixels(s).count, 32 * 32);

    // -90 and -1e300 (no endless loop) are plain angles; -90 is 270.
    glClear(GL_COLOR_BUFFER_BIT);
    RotoZoomSprite(kQuad, 100, 100, -90, 1);
    RotoZoomSprite(kQuad, 300, 100, 270, 1);
    RotoZoomSprite(kQuad, 400, 100, -1e300, 1);
    RotoZoomSprite(kQuad, 400, 300, -std::numeric_limits<double>::infinity(), 1);
    EXPECT_EQ(Differences(ReadScreen(100, 100, 32, 32), ReadScreen(300, 100, 32, 32)), 0);
    EXPECT_EQ(ReadScreen(100, 100, 32, 32).at(108, 108), ColourOf(kBlue));
}

TEST_F(Draws, BillboardRestoresCullingAndBinding) {
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    BindSlot(kQuad, -1, 0);
    DrawSprite3D(kOpaque, 200, -100, 0, 2);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint front = 0;
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(front, GL_CW);
    EXPECT_EQ(TheRenderer().boundSlot, kQuad);
    ResetViewport(0, 0, 0, 0);
}

TEST_F(Draws, EmptyAndOutOfRangeSlotsDrawNothing) {
    LoadPicture(40, 32, 32, Quadrants, "freed.bmp");
    FreeSlot(40);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double slot : {40.0, 41.0, -1.0, 65536.0, 1e300, nan}) {
        glClear(GL_COLOR_BUFFER_BIT);
        DrawSprite(slot, 10, 10);
        StretchSprite(slot, 10, 10, 50, 50);
        ZoomSprite(slot, 10, 10, 2, 2);
        RotateSprite(slot, 10, 10, 30);
        RotoZoomSprite(slot, 10, 10, 30, 2);
        DrawSprite3D(slot, 10, -10, 0, 1);
        if (slot != -1.0) { // -1 is an untextured batch
            StartPoly(slot);
            PolyVertex(10, 10, 0, 0, kWhite);
            PolyVertex(10, 60, 0, 0, kWhite);
            PolyVertex(60, 60, 0, 0, kWhite);
            EndPoly();
        }
        EXPECT_EQ(LitPixels(WholeScreen()).count, 0) << slot;
    }
    // Huge places and sizes saturate instead of overflowing.
    DrawSprite(kOpaque, 1e300, -1e300);
    StretchSprite(kOpaque, -1e300, -1e300, 1e300, 1e300);
    ZoomSprite(kOpaque, 0, 0, nan, 1e300);
    RotateSprite(kOpaque, nan, nan, nan);
}

TEST_F(Draws, ReloadingOrLoadingBetweenTwoDrawsShowsTheRightPicture) {
    LoadPicture(50, 32, 32, [](int, int) { return kRed; }, "a1.bmp");
    DrawSprite(50, 0, 0);
    LoadPicture(50, 32, 32, [](int, int) { return kGreen; }, "a2.bmp");
    DrawSprite(50, 40, 0);
    LoadPicture(51, 32, 32, [](int, int) { return kBlue; }, "b.bmp");
    DrawSprite(50, 80, 0);
    DrawSprite(51, 120, 0);
    const Screen s = WholeScreen();
    EXPECT_EQ(s.at(10, 10), ColourOf(kRed));
    EXPECT_EQ(s.at(50, 10), ColourOf(kGreen));
    EXPECT_EQ(s.at(90, 10), ColourOf(kGreen));
    EXPECT_EQ(s.at(130, 10), ColourOf(kBlue));
}

TEST_F(Draws, PolygonsInterpolateColoursAndMapPictures) {
    // Counter-clockwise on screen, as culling keeps it.
    StartPoly(-1);
    PolyVertex(100, 100, 0, 0, kRed);
    PolyVertex(100, 200, 0, 0, kBlue);
    PolyVertex(200, 100, 0, 0, kGreen);
    EndPoly();
    Screen s = WholeScreen();
    EXPECT_GT(s.at(101, 101).r, 240);
    EXPECT_GT(s.at(101, 197).b, 240);
    EXPECT_GT(s.at(197, 101).g, 240);
    const Rgba mid = s.at(133, 133);
    for (int channel : {mid.r, mid.g, mid.b}) EXPECT_NEAR(channel, 85, 12);

    // A textured fan over the picture reproduces it.
    StartPoly(kQuad);
    PolyVertex(300, 100, 0, 0, kWhite);
    PolyVertex(300, 132, 0, 32, kWhite);
    PolyVertex(332, 132, 32, 32, kWhite);
    PolyVertex(332, 100, 32, 0, kWhite);
    EndPoly();
    ExpectQuadrants(300, 100, "textured fan");

    // The key colour gives alpha 0; colours are scaled by the global alpha.
    SetAlpha(-0.5);
    StartPoly(kQuad);
    PolyVertex(1, 2, 16, 8, kKey);
    PolyVertex(1, 2, 16, 8, 0x0000FF);
    SetAlpha(0);
    const std::vector<struct PolyVertex>& v = CurrentPolygonBatch().vertices;
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].alpha, 0.0f);
    EXPECT_EQ(v[1].alpha, 1.0f);
    EXPECT_FLOAT_EQ(v[1].red, 0.5f);
    EXPECT_FLOAT_EQ(v[1].negY, -2.0f);
    EXPECT_FLOAT_EQ(v[1].u, 0.5f);     // 16 / 32
    EXPECT_FLOAT_EQ(v[1].v, 0.75f);    // (32 - 8) / 32
}

TEST_F(Draws, HundredThousandVertexFanAndTheStateAfterIt) {
    auto marks = [] {
        PrintText(RtString("Ab"), 500, 400);
        DrawRect(520, 420, 530, 430, kGreen);
        DrawSprite(kQuad, 560, 400);
    };
    marks();
    const Screen before = ReadScreen(490, 390, 120, 60);
    glClear(GL_COLOR_BUFFER_BIT);

    StartPoly(-1);
    const int n = 100000;
    PolyVertex(200, 200, 0, 0, kWhite);
    for (int i = 0; i < n - 1; ++i) {
        const double a = 2.0 * M_PI * i / (n - 2);
        PolyVertex(200 + 50 * std::cos(a), 200 - 50 * std::sin(a), 0, 0, kWhite);
    }
    EndPoly();
    EXPECT_EQ(CurrentPolygonBatch().vertices.size(), std::size_t(n));
    const Screen s = WholeScreen();
    EXPECT_TRUE(s.lit(200, 200));
    EXPECT_TRUE(s.lit(240, 200));
    EXPECT_TRUE(s.lit(200, 160));
    EXPECT_FALSE(s.lit(260, 200));

    marks();
    EXPECT_EQ(Differences(before, ReadScreen(490, 390, 120, 60)), 0);
}

TEST_F(Draws, CollisionOfTheMasksAsDrawn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        double slot1, x1, y1, slot2, x2, y2, expected;
    };
    const Case cases[] = {
        {"boxes touching", kOpaque, 0, 0, kOpaque, 32, 0, 0},
        {"touching below", kOpaque, 0, 0, kOpaque, 0, 32, 0},
        {"one column overlapping", kOpaque, 0, 0, kOpaque, 31, 0, 1},
        {"placed as drawn: 0.2 is 1", kOpaque, 0.2, 0, kOpaque, 32, 0, 1},
        {"only transparent parts", kLeftKeyed, 0, 0, kOpaque, -20, 0, 0},
        {"opaque parts", kLeftKeyed, 0, 0, kOpaque, 10, 0, 1},
        {"transparent bottom half", kTopOpaque, 0, 0, kOpaque, 0, 20, 0},
        {"opaque top half", kTopOpaque, 0, 0, kOpaque, 0, -20, 1},
        {"second sprite's transparent half", kOpaque, 0, 20, kTopOpaque, 0, 0, 0},
        {"empty slot", 60, 0, 0, kOpaque, 0, 0, 0},
        {"slot beyond the table", 65536, 0, 0, kOpaque, 0, 0, 0},
        {"negative slot", kOpaque, 0, 0, -1, 0, 0, 0},
        {"far apart, no overflow", kOpaque, 2147483647.0, 0, kOpaque, -2147483648.0, 0, 0},
        {"huge numbers", kOpaque, 1e300, 1e300, kOpaque, 1e300, 1e300, 1},
        {"NaN places count as 0", kOpaque, nan, nan, kOpaque, 0, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SpriteCollision(c.slot1, c.x1, c.y1, c.slot2, c.x2, c.y2), c.expected) << c.what;
}

TEST_F(Draws, GrabbedRectanglesDrawAsTheyWere) {
    DrawSprite(kQuad, 50, 60);
    GrabSprite(30, 60, 70, 10, 10);
    EXPECT_EQ(TheRenderer().textureWidth[30], 32);
    EXPECT_EQ(TheRenderer().textureHeight[30], 32);
    EXPECT_EQ(TheRenderer().imageWidth[30], 10);
    EXPECT_EQ(TheRenderer().imageHeight[30], 10);
    DrawSprite(30, 300, 300);
    EXPECT_EQ(Differences(ReadScreen(60, 70, 10, 10), ReadScreen(300, 300, 10, 10)), 0);
    EXPECT_EQ(LitPixels(ReadScreen(290, 290, 40, 40)).count, 100);

    // Partly off the surface: the part on it lands in place, the rest stays transparent.
    glClear(GL_COLOR_BUFFER_BIT);
    DrawSprite(kOpaque, 0, 0);
    GrabSprite(31, -5, -5, 20, 20);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawSprite(31, 200, 200);
    const Lit l = LitPixels(ReadScreen(190, 190, 40, 40));
    EXPECT_EQ(l.count, 15 * 15);
    EXPECT_EQ(l.left, 205);
    EXPECT_EQ(l.top, 205);

    // Sizes below 1, beyond the GL's maximum, or a bad slot change nothing.
    const unsigned int name = TheRenderer().textureNames[31][0];
    for (double w : {0.0, -5.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
        GrabSprite(31, 0, 0, w, 10);
        GrabSprite(31, 0, 0, 10, w);
    }
    GrabSprite(65536, 0, 0, 10, 10);
    EXPECT_EQ(TheRenderer().textureNames[31][0], name);
    EXPECT_EQ(TheRenderer().imageWidth[31], 20);
}

TEST_F(Draws, PixelReads) {
    DrawRect(10, 10, 12, 12, kRed);
    DrawRect(20, 10, 22, 12, kBlue);
    DrawRect(30, 10, 32, 12, 0x123456);
    DrawRect(0, 479, 639, 479, kWhite);
    struct Case {
        double x, y, expected;
    } const cases[] = {
        {11, 11, 255}, {21.9, 11.5, 16711680}, {31, 11, 0x123456}, {639, 479, 0xFFFFFF}, {5, 5, 0},
        {-1, 479, 0}, {640, 479, 0}, {0, 480, 0}, {1e300, -1e300, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(GetPixel(c.x, c.y), c.expected) << c.x << ", " << c.y;
}

} // namespace
