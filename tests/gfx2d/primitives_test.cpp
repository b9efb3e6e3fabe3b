// 2D drawing state and primitives, checked on the framebuffer.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "runtime/gfx2d/renderer.h"
#include "runtime/frame/frame.h"
#include "runtime/gfx2d/bmp.h"
#include "tests/gfx2d/gfx2d_test_support.h"

using namespace corvane;
using namespace gfx2d_test;

namespace {

class Primitives : public Gfx2dTest {};

} // namespace

TEST_F(Primitives, RectanglesCoverBothCornersInAnyOrder) {
    DrawRect(10, 10, 10, 10, 0xFFFFFF);
    Lit l = LitPixels(ReadScreen(0, 0, 40, 40));
    EXPECT_EQ(l.count, 1);
    EXPECT_EQ(l.left, 10);
    EXPECT_EQ(l.top, 10);

    glClear(GL_COLOR_BUFFER_BIT);
    DrawRect(20, 5, 10, 15, 0x00FF00);
    l = LitPixels(ReadScreen(0, 0, 40, 40));
    EXPECT_EQ(l.count, 11 * 11);
    EXPECT_EQ(l.left, 10); EXPECT_EQ(l.right, 20);
    EXPECT_EQ(l.top, 5); EXPECT_EQ(l.bottom, 15);
    EXPECT_EQ(ReadScreen(0, 0, 40, 40).at(10, 15), (Rgba{0, 255, 0}));
}

TEST_F(Primitives, PixelsAndLinesIncludeTheirEndPoints) {
    DrawPixel(3.9, 7.2, 0x0000FF); // truncated to (3, 7)
    Screen s = ReadScreen(0, 0, 40, 40);
    EXPECT_EQ(s.at(3, 7), (Rgba{255, 0, 0}));
    EXPECT_EQ(LitPixels(s).count, 1);

    glClear(GL_COLOR_BUFFER_BIT);
    DrawLine(5, 20, 30, 20, 0xFFFFFF);
    const Lit l = LitPixels(ReadScreen(0, 0, 40, 40));
    EXPECT_EQ(l.left, 5); EXPECT_EQ(l.right, 30);
    EXPECT_EQ(l.top, 20); EXPECT_EQ(l.bottom, 20);
    EXPECT_EQ(l.count, 26);
}

TEST_F(Primitives, ViewportMovesTheOriginAndClips) {
    SetViewport(100, 50, 200, 100);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 100); EXPECT_EQ(vp[1], 330); EXPECT_EQ(vp[2], 200); EXPECT_EQ(vp[3], 100);
    DrawPixel(0, 0, 0xFFFFFF);
    DrawRect(190, 90, 260, 140, 0xFFFFFF); // reaches past the viewport's corner
    const Lit l = LitPixels(ReadScreen(90, 40, 300, 200));
    EXPECT_TRUE(ReadScreen(100, 50, 1, 1).lit(100, 50));
    EXPECT_EQ(l.left, 100); EXPECT_EQ(l.top, 50);
    EXPECT_EQ(l.right, 299); EXPECT_EQ(l.bottom, 149);
    EXPECT_EQ(l.count, 1 + 10 * 10);

    SetViewport(0, 0, 0, 0);
    EXPECT_EQ(TheRenderer().viewportWidth, 640);
    EXPECT_EQ(TheRenderer().viewportHeight, 480);
}

TEST_F(Primitives, AlphaModesBlendAsDocumented) {
    glClearColor(0.0f, 0.0f, 100.0f / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    SetAlpha(2); // additive, alpha 1
    EXPECT_FLOAT_EQ(TheRenderer().currentAlpha, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    DrawRect(0, 0, 3, 3, 0x000064);                  // red 100 added to blue 100
    SetAlpha(-0.5);                                   // normal blending, alpha 0.5
    EXPECT_FLOAT_EQ(TheRenderer().currentAlpha, 0.5f);
    DrawRect(10, 0, 13, 3, 0x0000FF);                // red 127 at alpha 127 over blue 100
    DrawRect(20, 0, 23, 3, kSpriteKeyColour);        // alpha 0: invisible
    SetAlpha(0.5);                                    // additive: the key colour's colour is added
    DrawRect(30, 0, 33, 3, kSpriteKeyColour);
    SetAlpha(0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    const Screen s = ReadScreen(0, 0, 40, 4);
    EXPECT_EQ(s.at(1, 1), (Rgba{100, 0, 100}));
    const Rgba half = s.at(11, 1);
    EXPECT_NEAR(half.r, 63, 1);
    EXPECT_NEAR(half.b, 50, 1);
    EXPECT_EQ(s.at(21, 1), (Rgba{0, 0, 100}));
    const Rgba added = s.at(31, 1);
    EXPECT_NEAR(added.r, 127, 1);
    EXPECT_NEAR(added.b, 164, 1);
}

TEST_F(Primitives, PrimitivesRestoreTheStateTheyTouch) {
    BindSlot(3, -1, 1);
    SetAlpha(-0.25);
    DrawRect(0, 0, 1, 1, 0xFFFFFF);
    EXPECT_EQ(TheRenderer().boundSlot, 3);
    EXPECT_EQ(TheRenderer().boundMipmapped, 1);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.25f);
    EXPECT_FLOAT_EQ(colour[3], 0.25f);
    SetAlpha(0);
}

TEST_F(Primitives, ResetRestoresTheDefaultState) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(5, 5, 0);
    ResetViewport(0, 0, 0, 0);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[1], 1.0f);
    DrawPixel(0, 0, 0xFFFFFF);
    EXPECT_TRUE(ReadScreen(0, 0, 1, 1).lit(0, 0)) << "model-view reset to identity";

    // The frame step leaves the next frame in the same state and the mipmap flag at 0.
    SetTextureMipmap(1);
    glEnable(GL_DEPTH_TEST);
    SetViewport(10, 10, 20, 20);
    PresentFrame();
    EXPECT_EQ(TheRenderer().textureMipmapFlag, 0);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(TheRenderer().viewportWidth, 640);
}

TEST_F(Primitives, SetTextureUsesTheMipmapFlag) {
    const std::string path = WriteTemp("settex.bmp", MakeBmp(2, 2, 24, [](int, int) { return 0xFFFFFFu; }));
    ASSERT_EQ(LoadSprite(RtString(path.c_str()), 40), 1.0);
    SetTextureMipmap(1.7);
    SetTexture(40, -1);
    EXPECT_EQ(TheRenderer().boundMipmapped, 1);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), TheRenderer().textureNames[40][1]);
    SetTextureMipmap(0);
    SetTexture(-5, -1);
    EXPECT_EQ(TheRenderer().boundSlot, -1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    ResetViewport(0, 0, 0, 0);
}
