// The keyboard through KeyState and InKey, driven by key events in the queue.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/input_sound/input_events.h"

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

TEST_F(Keyboard, EveryKeyNameReadsItsOwnKey) {
    // Keys are pressed one after another and held: each press must add exactly its
    // name's code to the keys that read down.
    AllowEscape(0);
    const struct {
        int name;
        SDL_Scancode key;
    } keys[] = {
        {KeyEscape, SDL_SCANCODE_ESCAPE}, {Key1, SDL_SCANCODE_1}, {Key2, SDL_SCANCODE_2},
        {Key3, SDL_SCANCODE_3}, {Key4, SDL_SCANCODE_4}, {Key5, SDL_SCANCODE_5}, {Key6, SDL_SCANCODE_6},
        {Key7, SDL_SCANCODE_7}, {Key8, SDL_SCANCODE_8}, {Key9, SDL_SCANCODE_9}, {Key0, SDL_SCANCODE_0},
        {KeyMinus, SDL_SCANCODE_MINUS}, {KeyEquals, SDL_SCANCODE_EQUALS},
        {KeyBackspace, SDL_SCANCODE_BACKSPACE}, {KeyTab, SDL_SCANCODE_TAB}, {KeyQ, SDL_SCANCODE_Q},
        {KeyW, SDL_SCANCODE_W}, {KeyE, SDL_SCANCODE_E}, {KeyR, SDL_SCANCODE_R}, {KeyT, SDL_SCANCODE_T},
        {KeyY, SDL_SCANCODE_Y}, {KeyU, SDL_SCANCODE_U}, {KeyI, SDL_SCANCODE_I}, {KeyO, SDL_SCANCODE_O},
        {KeyP, SDL_SCANCODE_P}, {KeyLeftBracket, SDL_SCANCODE_LEFTBRACKET},
        {KeyRightBracket, SDL_SCANCODE_RIGHTBRACKET}, {KeyEnter, SDL_SCANCODE_RETURN},
        {KeyLeftControl, SDL_SCANCODE_LCTRL}, {KeyA, SDL_SCANCODE_A}, {KeyS, SDL_SCANCODE_S},
        {KeyD, SDL_SCANCODE_D}, {KeyF, SDL_SCANCODE_F}, {KeyG, SDL_SCANCODE_G}, {KeyH, SDL_SCANCODE_H},
        {KeyJ, SDL_SCANCODE_J}, {KeyK, SDL_SCANCODE_K}, {KeyL, SDL_SCANCODE_L},
        {KeySemicolon, SDL_SCANCODE_SEMICOLON}, {KeyApostrophe, SDL_SCANCODE_APOSTROPHE},
        {KeyGrave, SDL_SCANCODE_GRAVE}, {KeyLeftShift, SDL_SCANCODE_LSHIFT},
        {KeyBackslash, SDL_SCANCODE_BACKSLASH}, {KeyZ, SDL_SCANCODE_Z}, {KeyX, SDL_SCANCODE_X},
        {KeyC, SDL_SCANCODE_C}, {KeyV, SDL_SCANCODE_V}, {KeyB, SDL_SCANCODE_B}, {KeyN, SDL_SCANCODE_N},
        {KeyM, SDL_SCANCODE_M}, {KeyComma, SDL_SCANCODE_COMMA}, {KeyPeriod, SDL_SCANCODE_PERIOD},
        {KeySlash, SDL_SCANCODE_SLASH}, {KeyRightShift, SDL_SCANCODE_RSHIFT},
        {KeyPadMultiply, SDL_SCANCODE_KP_MULTIPLY}, {KeyLeftAlt, SDL_SCANCODE_LALT},
        {KeySpace, SDL_SCANCODE_SPACE}, {KeyCapsLock, SDL_SCANCODE_CAPSLOCK}, {KeyF1, SDL_SCANCODE_F1},
        {KeyF2, SDL_SCANCODE_F2}, {KeyF3, SDL_SCANCODE_F3}, {KeyF4, SDL_SCANCODE_F4},
        {KeyF5, SDL_SCANCODE_F5}, {KeyF6, SDL_SCANCODE_F6}, {KeyF7, SDL_SCANCODE_F7},
        {KeyF8, SDL_SCANCODE_F8}, {KeyF9, SDL_SCANCODE_F9}, {KeyF10, SDL_SCANCODE_F10},
        {KeyNumLock, SDL_SCANCODE_NUMLOCKCLEAR}, {KeyScrollLock, SDL_SCANCODE_SCROLLLOCK},
        {KeyPad7, SDL_SCANCODE_KP_7}, {KeyPad8, SDL_SCANCODE_KP_8}, {KeyPad9, SDL_SCANCODE_KP_9},
        {KeyPadMinus, SDL_SCANCODE_KP_MINUS}, {KeyPad4, SDL_SCANCODE_KP_4}, {KeyPad5, SDL_SCANCODE_KP_5},
        {KeyPad6, SDL_SCANCODE_KP_6}, {KeyPadPlus, SDL_SCANCODE_KP_PLUS}, {KeyPad1, SDL_SCANCODE_KP_1},
        {KeyPad2, SDL_SCANCODE_KP_2}, {KeyPad3, SDL_SCANCODE_KP_3}, {KeyPad0, SDL_SCANCODE_KP_0},
        {KeyPadPeriod, SDL_SCANCODE_KP_PERIOD}, {KeyLessThan, SDL_SCANCODE_NONUSBACKSLASH},
        {KeyF11, SDL_SCANCODE_F11}, {KeyF12, SDL_SCANCODE_F12}, {KeyF13, SDL_SCANCODE_F13},
        {KeyF14, SDL_SCANCODE_F14}, {KeyF15, SDL_SCANCODE_F15}, {KeyKana, SDL_SCANCODE_INTERNATIONAL2},
        {KeyAbntC1, SDL_SCANCODE_INTERNATIONAL1}, {KeyConvert, SDL_SCANCODE_INTERNATIONAL4},
        {KeyNoConvert, SDL_SCANCODE_INTERNATIONAL5}, {KeyYen, SDL_SCANCODE_INTERNATIONAL3},
        {KeyPadEquals, SDL_SCANCODE_KP_EQUALS}, {KeyPreviousTrack, SDL_SCANCODE_AUDIOPREV},
        {KeyNextTrack, SDL_SCANCODE_AUDIONEXT}, {KeyPadEnter, SDL_SCANCODE_KP_ENTER},
        {KeyRightControl, SDL_SCANCODE_RCTRL}, {KeyMute, SDL_SCANCODE_MUTE},
        {KeyCalculator, SDL_SCANCODE_CALCULATOR}, {KeyPlayPause, SDL_SCANCODE_AUDIOPLAY},
        {KeyMediaStop, SDL_SCANCODE_AUDIOSTOP}, {KeyVolumeDown, SDL_SCANCODE_VOLUMEDOWN},
        {KeyVolumeUp, SDL_SCANCODE_VOLUMEUP}, {KeyWebHome, SDL_SCANCODE_AC_HOME},
        {KeyPadComma, SDL_SCANCODE_KP_COMMA}, {KeyPadDivide, SDL_SCANCODE_KP_DIVIDE},
        {KeyPrintScreen, SDL_SCANCODE_PRINTSCREEN}, {KeyRightAlt, SDL_SCANCODE_RALT},
        {KeyPause, SDL_SCANCODE_PAUSE}, {KeyHome, SDL_SCANCODE_HOME}, {KeyUp, SDL_SCANCODE_UP},
        {KeyPageUp, SDL_SCANCODE_PAGEUP}, {KeyLeft, SDL_SCANCODE_LEFT}, {KeyRight, SDL_SCANCODE_RIGHT},
        {KeyEnd, SDL_SCANCODE_END}, {KeyDown, SDL_SCANCODE_DOWN}, {KeyPageDown, SDL_SCANCODE_PAGEDOWN},
        {KeyInsert, SDL_SCANCODE_INSERT}, {KeyDelete, SDL_SCANCODE_DELETE},
        {KeyLeftWindows, SDL_SCANCODE_LGUI}, {KeyRightWindows, SDL_SCANCODE_RGUI},
        {KeyMenu, SDL_SCANCODE_APPLICATION}, {KeyPower, SDL_SCANCODE_POWER}, {KeySleep, SDL_SCANCODE_SLEEP},
        {KeyWebSearch, SDL_SCANCODE_AC_SEARCH}, {KeyWebFavorites, SDL_SCANCODE_AC_BOOKMARKS},
        {KeyWebRefresh, SDL_SCANCODE_AC_REFRESH}, {KeyWebStop, SDL_SCANCODE_AC_STOP},
        {KeyWebForward, SDL_SCANCODE_AC_FORWARD}, {KeyWebBack, SDL_SCANCODE_AC_BACK},
        {KeyMyComputer, SDL_SCANCODE_COMPUTER}, {KeyMail, SDL_SCANCODE_MAIL},
        {KeyMediaSelect, SDL_SCANCODE_MEDIASELECT},
    };
    std::vector<bool> down(256, false);
    for (const auto& k : keys) {
        PushKey(k.key, true);
        Pump();
        PollKeyboard(*TheInput());
        down[k.name] = true;
        for (int code = 0; code < 256; ++code)
            ASSERT_EQ(KeyState(code), down[code] ? 1.0 : 0.0) << "code " << code << " after " << SDL_GetScancodeName(k.key);
    }
}
