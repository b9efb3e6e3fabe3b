// Joysticks through the commands, with SDL's virtual joysticks standing in for
// devices.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/input_sound/input_events.h"

using namespace corvane;
using namespace input_test;

namespace {

class Joystick : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        // The offscreen window never has the focus; joysticks report anyway.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        before_ = static_cast<int>(JoystickCount());
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = 8;
        desc.nbuttons = 40;   // more than the 32 the state record holds
        desc.nhats = 2;
        desc.name = "Corvane Test Pad";
        device_ = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(device_, 0) << SDL_GetError();
        pad_ = SDL_JoystickOpen(device_);
        ASSERT_NE(pad_, nullptr) << SDL_GetError();
        instance_ = SDL_JoystickInstanceID(pad_);
        Pump();   // the runtime takes the new device from the pump
        slot_ = -1;
        for (int n = 0; n < JoystickCount(); ++n)
            if (std::string(JoystickName(n).Buffer()) == "Corvane Test Pad, Corvane Test Pad") slot_ = n;
        ASSERT_GE(slot_, 0);
    }
    void TearDown() override {
        if (pad_) SDL_JoystickClose(pad_);
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == instance_) SDL_JoystickDetachVirtual(i);
        Pump();
    }
    void Axis(int axis, Sint16 value) { SDL_JoystickSetVirtualAxis(pad_, axis, value); }
    void Hat(Uint8 value) { SDL_JoystickSetVirtualHat(pad_, 0, value); }
    void Button(int b, bool down) { SDL_JoystickSetVirtualButton(pad_, b, down ? 1 : 0); }

    int before_ = 0;
    int device_ = -1;
    int slot_ = -1;
    SDL_Joystick* pad_ = nullptr;
    SDL_JoystickID instance_ = -1;
};

TEST_F(Joystick, AxesReadMinusOneToOneWithADeadZoneOnXAndY) {
    Axis(0, 32767);
    Axis(1, -32768);
    Axis(2, 16384);
    Axis(3, -16384);
    Axis(4, 32767);
    Axis(5, -32768);
    EXPECT_DOUBLE_EQ(JoyX(slot_), 1.0);
    EXPECT_DOUBLE_EQ(JoyY(slot_), -1.0);
    EXPECT_NEAR(JoyZ(slot_), 0.5, 0.001);
    EXPECT_NEAR(JoyRX(slot_), -0.5, 0.001);
    EXPECT_DOUBLE_EQ(JoyRY(slot_), 1.0);
    EXPECT_DOUBLE_EQ(JoyRZ(slot_), -1.0);

    // Inside 30 % of the travel x and y rest at 0; beyond it the rest is spread out.
    Axis(0, 9000);
    Axis(1, -9000);
    Axis(2, 3000);
    EXPECT_EQ(JoyX(slot_), 0.0);
    EXPECT_EQ(JoyY(slot_), 0.0);
    EXPECT_NEAR(JoyZ(slot_), 3000 / 32767.0, 1e-6);   // z has no dead zone
    Axis(0, 21299);                                   // half-way through the live travel
    EXPECT_NEAR(JoyX(slot_), 0.5, 0.01);
}

TEST_F(Joystick, HatReadsOnlyItsFourMainDirections) {
    Hat(SDL_HAT_RIGHT);
    EXPECT_EQ(JoyHatX(slot_), 1.0);
    EXPECT_EQ(JoyHatY(slot_), 0.0);
    Hat(SDL_HAT_LEFT);
    EXPECT_EQ(JoyHatX(slot_), -1.0);
    Hat(SDL_HAT_UP);
    EXPECT_EQ(JoyHatY(slot_), -1.0);
    EXPECT_EQ(JoyHatX(slot_), 0.0);
    Hat(SDL_HAT_DOWN);
    EXPECT_EQ(JoyHatY(slot_), 1.0);
    Hat(SDL_HAT_RIGHTUP);                             // 4500: a diagonal
    EXPECT_EQ(JoyHatX(slot_), 0.0);
    EXPECT_EQ(JoyHatY(slot_), 0.0);
    Hat(SDL_HAT_CENTERED);
    EXPECT_EQ(JoyHatX(slot_), 0.0);
    EXPECT_EQ(JoyHatY(slot_), 0.0);
}

TEST_F(Joystick, ButtonsAre128AndNumbersOutsideTheTablesReadZero) {
    Button(0, true);
    Button(31, true);
    Button(32, true);
    EXPECT_EQ(JoyButton(slot_, 0), 128.0);
    EXPECT_EQ(JoyButton(slot_, 31), 128.0);
    EXPECT_EQ(JoyButton(slot_, 1), 0.0);
    EXPECT_EQ(JoyButton(slot_, 32), 0.0);
    EXPECT_EQ(JoyButton(slot_, -1), 0.0);
    EXPECT_EQ(JoyButton(slot_, 1e12), 0.0);
    EXPECT_EQ(JoyButton(-1, 0), 0.0);
    EXPECT_EQ(JoyButton(10, 0), 0.0);
    EXPECT_EQ(JoyButton(1e12, 0), 0.0);
    Button(0, false);
    EXPECT_EQ(JoyButton(slot_, 0), 0.0);
}

TEST_F(Joystick, NamesAndCountsGuardTheirNumbers) {
    // A slot freed by an unplugged device is taken again, so the count grows by at most one.
    EXPECT_GT(JoystickCount(), slot_);
    EXPECT_LE(JoystickCount(), before_ + 1.0);
    EXPECT_STREQ(JoystickName(-1).Buffer(), "");
    EXPECT_STREQ(JoystickName(JoystickCount()).Buffer(), "");
    EXPECT_STREQ(JoystickName(1e20).Buffer(), "");
    // A joystick number that holds nothing reads as a joystick at rest, hat centred.
    for (double n : {-1.0, JoystickCount(), 10.0, 99.0}) {
        EXPECT_EQ(JoyX(n), 0.0);
        EXPECT_EQ(JoyHatY(n), 0.0);
        EXPECT_EQ(JoyHatX(n), 0.0);
    }
    // No force feedback on this device: nothing happens, for any number.
    JoyFeedback(slot_, 500, 1, 1);
    JoyFeedback(-3, 500, 1, 1);
    JoyFeedback(42, 500, 0.0 / 0.0, 7);
    EXPECT_EQ(JoyButton(slot_, 0), 0.0);
}

TEST_F(Joystick, JoyStateIsJoystickZeroInWholeSteps) {
    if (slot_ != 0) GTEST_SKIP() << "another joystick holds number 0";
    Axis(0, 32767);
    Axis(1, 25000);   // past the dead zone but short of 30000 after it
    Button(0, true);
    double x, y, b0, b1;
    JoyState(x, y, b0, b1);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(b0, 128.0);
    EXPECT_EQ(b1, 0.0);
    Axis(0, -32768);
    JoyState(x, y, b0, b1);
    EXPECT_EQ(x, -1.0);
}

TEST_F(Joystick, TriggerRestingOffCentreDoesNotKeepTheIdleStepAwake) {
    Axis(2, -32768);             // a game pad's trigger at rest reads as z = -1
    for (int i = 0; i < 4; ++i) IdleUntilInput();   // until it has seen everything once
    auto start = std::chrono::steady_clock::now();
    IdleUntilInput();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(8 * 30 - 10));
    Button(5, true);
    start = std::chrono::steady_clock::now();
    IdleUntilInput();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));  // well short of one idle step
}

TEST_F(Joystick, UnpluggedJoystickReadsAtRestAndItsNumberIsReused) {
    Axis(0, 32767);
    Hat(SDL_HAT_UP);
    EXPECT_EQ(JoyX(slot_), 1.0);
    double count = JoystickCount();
    SDL_JoystickClose(pad_);
    pad_ = nullptr;
    ASSERT_EQ(SDL_JoystickDetachVirtual(device_), 0);
    Pump();
    EXPECT_EQ(JoyX(slot_), 0.0);
    EXPECT_EQ(JoyHatY(slot_), 0.0);
    EXPECT_EQ(JoystickCount(), count);   // numbers stay where they were

    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.naxes = 2;
    desc.nbuttons = 4;
    desc.name = "Second Pad";
    int device = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(device, 0);
    pad_ = SDL_JoystickOpen(device);
    instance_ = SDL_JoystickInstanceID(pad_);
    Pump();
    EXPECT_EQ(JoystickCount(), count);
    EXPECT_STREQ(JoystickName(slot_).Buffer(), "Second Pad, Second Pad");
    SDL_JoystickSetVirtualButton(pad_, 3, 1);
    EXPECT_EQ(JoyButton(slot_, 3), 128.0);
}

} // namespace
