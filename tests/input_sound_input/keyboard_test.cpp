// The keyboard through KeyState and InKey, driven by key events in the queue.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/input_sound_input/input_events.h"

using namespace corvane;
using namespace input_test;

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        AllowEscape(1);
        ReleaseEverything();
        InKey();   // forget the last typed character
    }
    void TearDown() override {
        ReleaseEverything();
        AllowEscape(1);
    }
    static std::string Typed() { return std::string(InKey().Buffer()); }
    static void Press(SDL_Scancode sc, Uint16 mod = KMOD_NONE) { PushKey(sc, true, mod); Pump(); }
    static void Release(SDL_Scancode sc) { PushKey(sc, false); Pump(); SDL_Delay(kPastMinimumPressMs); }
};

TEST_F(Keyboard, KeyStateAddressesKeysByDikCodeAcrossTheTable) {
    // Escape is held too, so it must not end the program here.
    AllowEscape(0);
    const std::vector<std::pair<SDL_Scancode, int>> keys = {
        {SDL_SCANCODE_ESCAPE, 1},    {SDL_SCANCODE_1, 2},         {SDL_SCANCODE_0, 11},
        {SDL_SCANCODE_MINUS, 12},    {SDL_SCANCODE_BACKSPACE, 14}, {SDL_SCANCODE_TAB, 15},
        {SDL_SCANCODE_Q, 16},        {SDL_SCANCODE_P, 25},        {SDL_SCANCODE_RETURN, 28},
        {SDL_SCANCODE_LCTRL, 29},    {SDL_SCANCODE_A, 30},        {SDL_SCANCODE_L, 38},
        {SDL_SCANCODE_GRAVE, 41},    {SDL_SCANCODE_LSHIFT, 42},   {SDL_SCANCODE_BACKSLASH, 43},
        {SDL_SCANCODE_Z, 44},        {SDL_SCANCODE_M, 50},        {SDL_SCANCODE_SLASH, 53},
        {SDL_SCANCODE_RSHIFT, 54},   {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_SPACE, 57},
        {SDL_SCANCODE_CAPSLOCK, 58}, {SDL_SCANCODE_F1, 59},       {SDL_SCANCODE_F10, 68},
        {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_KP_7, 71}, {SDL_SCANCODE_KP_MINUS, 74},
        {SDL_SCANCODE_KP_PLUS, 78},  {SDL_SCANCODE_KP_0, 82},     {SDL_SCANCODE_KP_PERIOD, 83},
        {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_F11, 87}, {SDL_SCANCODE_F12, 88},
        {SDL_SCANCODE_KP_ENTER, 156}, {SDL_SCANCODE_RCTRL, 157},  {SDL_SCANCODE_KP_DIVIDE, 181},
        {SDL_SCANCODE_RALT, 184},    {SDL_SCANCODE_HOME, 199},    {SDL_SCANCODE_UP, 200},
        {SDL_SCANCODE_PAGEUP, 201},  {SDL_SCANCODE_LEFT, 203},    {SDL_SCANCODE_RIGHT, 205},
        {SDL_SCANCODE_END, 207},     {SDL_SCANCODE_DOWN, 208},    {SDL_SCANCODE_PAGEDOWN, 209},
        {SDL_SCANCODE_INSERT, 210},  {SDL_SCANCODE_DELETE, 211},  {SDL_SCANCODE_LGUI, 219},
        {SDL_SCANCODE_RGUI, 220},    {SDL_SCANCODE_APPLICATION, 221},
    };
    for (const auto& k : keys) PushKey(k.first, true);
    PresentFrame();   // the frame step polls the keyboard
    std::vector<bool> expected(256, false);
    for (const auto& k : keys) {
        EXPECT_EQ(KeyState(k.second), 1.0) << "DIK " << k.second;
        expected[k.second] = true;
    }
    for (int code = 0; code < 256; ++code) {
        if (expected[code]) continue;
        EXPECT_EQ(KeyState(code), 0.0) << "DIK " << code << " reads down";
    }

    for (const auto& k : keys) PushKey(k.first, false);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    PresentFrame();
    for (const auto& k : keys) EXPECT_EQ(KeyState(k.second), 0.0) << "DIK " << k.second << " stays down";
}

TEST_F(Keyboard, KeyStateTakesTheCodeModulo256AfterSixteenBits) {
    Press(SDL_SCANCODE_A);   // DIK 30
    PresentFrame();
    EXPECT_EQ(KeyState(30.9), 1.0);
    EXPECT_EQ(KeyState(30 + 256), 1.0);
    EXPECT_EQ(KeyState(30 + 65536), 1.0);
    EXPECT_EQ(KeyState(-226), 1.0);          // 0xFF1E as 16 bits
    EXPECT_EQ(KeyState(31), 0.0);
    EXPECT_EQ(KeyState(1e300), 0.0);         // saturates, never undefined
    EXPECT_EQ(KeyState(0.0 / 0.0), 0.0);
}

TEST_F(Keyboard, TapShorterThanAFrameIsStillSeen) {
    PushKey(SDL_SCANCODE_B, true);
    PushKey(SDL_SCANCODE_B, false);
    Pump();                                  // both sighted before anyone looked
    PresentFrame();
    EXPECT_EQ(KeyState(48), 1.0);
    SDL_Delay(kPastMinimumPressMs);
    PresentFrame();
    EXPECT_EQ(KeyState(48), 0.0);
}

TEST_F(Keyboard, HeldKeyTypesItsCharacterOnce) {
    Press(SDL_SCANCODE_A);
    EXPECT_EQ(Typed(), "a");
    EXPECT_EQ(Typed(), "");
    PresentFrame();
    EXPECT_EQ(Typed(), "");
    Release(SDL_SCANCODE_A);
    EXPECT_EQ(Typed(), "");
    Press(SDL_SCANCODE_A);
    EXPECT_EQ(Typed(), "a");
}

TEST_F(Keyboard, AnotherKeyEarlierInTheScanIsANewCharacter) {
    Press(SDL_SCANCODE_B);                   // DIK 48
    EXPECT_EQ(Typed(), "b");
    Press(SDL_SCANCODE_A);                   // DIK 30 comes first in the scan
    EXPECT_EQ(Typed(), "a");
    Release(SDL_SCANCODE_A);
    EXPECT_EQ(Typed(), "b");                 // differs from the last one again
}

TEST_F(Keyboard, EitherShiftMakesLettersUpperCase) {
    Press(SDL_SCANCODE_LSHIFT, KMOD_LSHIFT);
    Press(SDL_SCANCODE_A, KMOD_LSHIFT);
    EXPECT_EQ(Typed(), "A");
    Release(SDL_SCANCODE_A);
    Release(SDL_SCANCODE_LSHIFT);
    Press(SDL_SCANCODE_RSHIFT, KMOD_RSHIFT);
    Press(SDL_SCANCODE_Q, KMOD_RSHIFT);
    EXPECT_EQ(Typed(), "Q");
}

TEST_F(Keyboard, CapsLockAndShiftTogetherStillGiveUpperCase) {
    Press(SDL_SCANCODE_C, KMOD_CAPS);
    EXPECT_EQ(Typed(), "C");
    Release(SDL_SCANCODE_C);
    EXPECT_EQ(Typed(), "");
    Press(SDL_SCANCODE_LSHIFT, KMOD_CAPS | KMOD_LSHIFT);
    Press(SDL_SCANCODE_C, KMOD_CAPS | KMOD_LSHIFT);
    EXPECT_EQ(Typed(), "C");
    Release(SDL_SCANCODE_C);
    Release(SDL_SCANCODE_LSHIFT);
    PushKey(SDL_SCANCODE_CAPSLOCK, false, KMOD_NONE);   // lock off again
    Pump();
}

TEST_F(Keyboard, ShiftedDigitIsWhatTheLayoutTyped) {
    // The layout's answer comes with the key as its text; a Swiss layout gives "+".
    Press(SDL_SCANCODE_LSHIFT, KMOD_LSHIFT);
    PushKey(SDL_SCANCODE_1, true, KMOD_LSHIFT);
    PushText("+");
    Pump();
    EXPECT_EQ(Typed(), "+");
    Release(SDL_SCANCODE_1);
    EXPECT_EQ(Typed(), "");
    // Held again later, before its text arrives, it still gives the layout's character.
    PushKey(SDL_SCANCODE_1, true, KMOD_LSHIFT);
    EXPECT_EQ(Typed(), "+");
    Pump();
    Release(SDL_SCANCODE_1);
    Release(SDL_SCANCODE_LSHIFT);
    // Unshifted, the same key is the layout's plain "1".
    Press(SDL_SCANCODE_1);
    EXPECT_EQ(Typed(), "1");
    Release(SDL_SCANCODE_1);
    EXPECT_EQ(Typed(), "");
    // A new layout forgets what the old one typed.
    SDL_Event changed;
    std::memset(&changed, 0, sizeof changed);
    changed.type = SDL_KEYMAPCHANGED;
    SDL_PushEvent(&changed);
    Pump();
    Press(SDL_SCANCODE_LSHIFT, KMOD_LSHIFT);
    Press(SDL_SCANCODE_1, KMOD_LSHIFT);
    EXPECT_EQ(Typed(), "1");
}

TEST_F(Keyboard, ShiftLetGoBeforeAQuickKeyKeepsTheShiftedCharacter) {
    // Typing tools release the key and then Shift at once; the key still reads down
    // for a moment, and must not turn into its unshifted character then.
    Press(SDL_SCANCODE_LSHIFT, KMOD_LSHIFT);
    PushKey(SDL_SCANCODE_2, true, KMOD_LSHIFT);
    PushText("@");
    Pump();
    EXPECT_EQ(Typed(), "@");
    PushKey(SDL_SCANCODE_2, false, KMOD_LSHIFT);
    PushKey(SDL_SCANCODE_LSHIFT, false);
    Pump();
    EXPECT_EQ(Typed(), "");
    SDL_Delay(kPastMinimumPressMs);
    EXPECT_EQ(Typed(), "");
    Press(SDL_SCANCODE_2);
    EXPECT_EQ(Typed(), "2");
}

TEST_F(Keyboard, CharactersOutsideAsciiAreNone) {
    Press(SDL_SCANCODE_SEMICOLON);
    PushText("\xc3\xb6");                    // a German layout's o-umlaut
    Pump();
    Release(SDL_SCANCODE_SEMICOLON);
    Press(SDL_SCANCODE_SEMICOLON);
    EXPECT_EQ(Typed(), "");
}

TEST_F(Keyboard, EnterAndBackspaceAndTheSilentKeys) {
    Press(SDL_SCANCODE_RETURN);
    EXPECT_EQ(Typed(), "\n");
    Release(SDL_SCANCODE_RETURN);
    Press(SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(Typed(), "");                  // the same character as before: suppressed
    Release(SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(Typed(), "");
    Press(SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(Typed(), "\n");
    Release(SDL_SCANCODE_KP_ENTER);
    Press(SDL_SCANCODE_BACKSPACE);
    EXPECT_EQ(Typed(), "\b");
    Release(SDL_SCANCODE_BACKSPACE);
    for (SDL_Scancode sc : {SDL_SCANCODE_TAB, SDL_SCANCODE_LALT, SDL_SCANCODE_CAPSLOCK, SDL_SCANCODE_F1,
                            SDL_SCANCODE_UP, SDL_SCANCODE_DELETE, SDL_SCANCODE_APPLICATION, SDL_SCANCODE_RGUI}) {
        Press(sc);
        EXPECT_EQ(Typed(), "") << SDL_GetScancodeName(sc);
        Release(sc);
    }
}

TEST_F(Keyboard, ControlSilencesLettersButNotSpace) {
    Press(SDL_SCANCODE_LCTRL, KMOD_LCTRL);
    Press(SDL_SCANCODE_A, KMOD_LCTRL);
    EXPECT_EQ(Typed(), "");
    Release(SDL_SCANCODE_A);
    Press(SDL_SCANCODE_SPACE, KMOD_LCTRL);
    EXPECT_EQ(Typed(), " ");
}

TEST_F(Keyboard, KeypadDigitsNeedNumLock) {
    Press(SDL_SCANCODE_KP_7, KMOD_NUM);
    EXPECT_EQ(Typed(), "7");
    Release(SDL_SCANCODE_KP_7);
    Press(SDL_SCANCODE_KP_7, KMOD_NONE);
    EXPECT_EQ(Typed(), "");
    Release(SDL_SCANCODE_KP_7);
    Press(SDL_SCANCODE_KP_PLUS, KMOD_NONE);
    EXPECT_EQ(Typed(), "+");
}

} // namespace
