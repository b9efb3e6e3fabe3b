// The virtual and the system mouse through MouseState and MouseAxis.
#include <gtest/gtest.h>

#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "tests/input_sound/input_events.h"

using namespace corvane;
using namespace input_test;

namespace {

class Mouse : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        SystemMouse(0);
        ReleaseEverything();
        PresentFrame();
        MouseAxis(0);   // the motion gathered so far belongs to no test
        PresentFrame();
    }
    void TearDown() override {
        SystemMouse(0);
        ReleaseEverything();
    }
    static void State(double& x, double& y, double& l, double& r) { MouseState(x, y, l, r); }
};

TEST_F(Mouse, VirtualPointerClampsAtTheEdgeAndMovesBackAtOnce) {
    SetMousePosition(10, 100);
    PushMotion(-500, 0);
    PresentFrame();
    double x, y, l, r;
    State(x, y, l, r);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 100.0);
    PushMotion(5, 0);
    PresentFrame();
    State(x, y, l, r);
    EXPECT_EQ(x, 5.0);   // the clamp was stored: no 490 pixels to win back first

    PushMotion(5000, 5000);
    PresentFrame();
    State(x, y, l, r);
    EXPECT_EQ(x, SurfaceWidth() - 1.0);
    EXPECT_EQ(y, SurfaceHeight() - 1.0);
}

TEST_F(Mouse, DeltasBelongToOneFrame) {
    PushMotion(7, -3);
    PushMotion(2, 1);
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 9.0);
    EXPECT_EQ(MouseAxis(1), -2.0);
    EXPECT_EQ(MouseAxis(0), 9.0);   // read again within the frame: the same
    PushMotion(4, 4);
    Pump();
    EXPECT_EQ(MouseAxis(0), 9.0);   // motion after the frame's first read waits for the next frame
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 4.0);
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 0.0);
    EXPECT_EQ(MouseAxis(1), 0.0);
}

TEST_F(Mouse, HugeMotionSaturatesAtSixteenBits) {
    SetMousePosition(0, 0);
    PushMotion(40000, -40000);
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 32767.0);
    EXPECT_EQ(MouseAxis(1), -32768.0);
}

TEST_F(Mouse, WheelIsItsSign) {
    PushWheel(3);
    PresentFrame();
    EXPECT_EQ(MouseAxis(2), 1.0);
    PushWheel(-2);
    PresentFrame();
    EXPECT_EQ(MouseAxis(2), -1.0);
    PushWheel(1, /*flipped=*/true);
    PresentFrame();
    EXPECT_EQ(MouseAxis(2), -1.0);
    PresentFrame();
    EXPECT_EQ(MouseAxis(2), 0.0);
    EXPECT_EQ(MouseAxis(6), 0.0);
    EXPECT_EQ(MouseAxis(-1), 0.0);
}

TEST_F(Mouse, ButtonsReadAsOneOrZero) {
    PushButton(SDL_BUTTON_LEFT, true);
    PushButton(SDL_BUTTON_MIDDLE, true);
    PresentFrame();
    double x, y, l, r;
    State(x, y, l, r);
    EXPECT_EQ(l, 1.0);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(MouseAxis(3), 1.0);
    EXPECT_EQ(MouseAxis(4), 0.0);
    EXPECT_EQ(MouseAxis(5), 1.0);
    PushButton(SDL_BUTTON_LEFT, false);
    PushButton(SDL_BUTTON_MIDDLE, false);
    PushButton(SDL_BUTTON_RIGHT, true);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    State(x, y, l, r);
    EXPECT_EQ(l, 0.0);
    EXPECT_EQ(r, 1.0);
    EXPECT_EQ(MouseAxis(5), 0.0);
}

TEST_F(Mouse, ButtonStateIsCurrentBeforeThePumpRuns) {
    // Waits spin on the button without dispatching: the queued release must count.
    PushButton(SDL_BUTTON_LEFT, true);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    EXPECT_EQ(MouseAxis(3), 1.0);
    PushButton(SDL_BUTTON_LEFT, false);
    EXPECT_EQ(MouseAxis(3), 0.0);
    Pump();
    EXPECT_EQ(MouseAxis(3), 0.0);
}

TEST_F(Mouse, ClickFasterThanAFrameIsSeen) {
    PushButton(SDL_BUTTON_LEFT, true);
    PushButton(SDL_BUTTON_LEFT, false);
    PresentFrame();
    EXPECT_EQ(MouseAxis(3), 1.0);
    SDL_Delay(kPastMinimumPressMs);
    EXPECT_EQ(MouseAxis(3), 0.0);
}

TEST_F(Mouse, SystemMouseFollowsTheCursorAndHandsBackWithoutAJump) {
    SetMousePosition(100, 100);
    SystemMouse(1);
    PushMotion(999, 999, 130, 90);   // the cursor's own position counts, not the motion
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 30.0);
    EXPECT_EQ(MouseAxis(1), -10.0);
    double x, y, l, r;
    State(x, y, l, r);
    EXPECT_EQ(x, 130.0);
    EXPECT_EQ(y, 90.0);
    SystemMouse(1);                  // already on: nothing changes
    PresentFrame();
    EXPECT_EQ(MouseAxis(0), 0.0);

    PushMotion(50, 50, 180, 140);    // motion while free is not virtual motion later
    Pump();
    SystemMouse(0);
    PushMotion(4, -2, 0, 0);
    PresentFrame();
    State(x, y, l, r);
    EXPECT_EQ(x, 134.0);
    EXPECT_EQ(y, 88.0);
}

} // namespace
