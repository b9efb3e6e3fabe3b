// The input record and its operations: start-up creates the record and calls
// InitInput; the frame step polls the keyboard and marks each new frame for the
// mouse; the program end calls ReleaseInput. Also what the input sources share
// (argument conversion, the joystick table sync). Not installed with input.h.
#pragma once

#include <climits>
#include <cstdint>

#include "runtime/input_sound/input.h"

namespace corvane {

constexpr int kMaxJoysticks = 10;            // joysticks taken at most
constexpr int kJoystickNameBytes = 522;      // "instance, product" with its terminator

// One mouse reading (all 16-bit signed).
struct MouseSample {
    std::int16_t left = 0, right = 0, middle = 0;  // button states, non-zero while down
    std::int16_t dx = 0, dy = 0;                   // motion of this frame
    std::int16_t wheel = 0;                        // -1, 0 or 1
};

// One joystick reading, laid out as the 80-byte state record programs know.
struct JoystickState {
    std::int32_t lX = 0, lY = 0, lZ = 0;           // axes, -32768..32768
    std::int32_t lRx = 0, lRy = 0, lRz = 0;        // rotation axes
    std::int32_t sliders[2] = {0, 0};
    std::uint32_t pov[4] = {0, 0, 0, 0};           // hats in hundredths of a degree; 0xFFFFFFFF centred
    std::uint8_t buttons[32] = {};                 // 128 while pressed
};
static_assert(sizeof(JoystickState) == 80, "joystick state is 80 bytes");

// The input record (one instance, TheInput(); null before start-up and after the end).
struct InputDevices {
    std::int32_t mouseX = 100, mouseY = 100;       // the engine's mouse position in client pixels
    bool directInput = false;                      // the platform's input services run
    bool keyboardDevice = false;                   // the keyboard is read by scan code
    bool mouseDevice = false;                      // the relative (held, hidden) mouse is available
    bool joystickDevices[kMaxJoysticks] = {};      // a device sits in the slot (the platform holds it)
    char joystickNames[kMaxJoysticks][kJoystickNameBytes] = {};
    void* window = nullptr;                        // the window the devices belong to
    unsigned char keyState[256] = {};              // last polled keys by DIK code, bit 7 = pressed
    unsigned char systemMouse = 0;                 // 0 virtual mouse, 1 system mouse
    std::int32_t mouseCooperation = 5;             // 5 held by the program, 6 shared (system mouse)
    std::int32_t joystickCount = 0;
    unsigned char newFrame = 1;                    // raised once per frame, cleared by the first mouse read
    std::int16_t cachedDX = 0, cachedDY = 0, cachedWheel = 0; // the mouse deltas of this frame
    unsigned char lastKeyChar = 0;                 // repeat suppression of the character readers
    std::uint32_t joystickGeneration = 0;          // the platform's joystick list this record mirrors
};

// ---------------------------------------------------------------- operations
InputDevices* TheInput();                                        // the record; null outside the program's run
void CreateInputRecord();                                        // start-up: the record, devices not yet opened
void DestroyInputRecord();                                       // the end: the record freed (release it first)
int  ReadTypedKey();                                             // text input: ReadKeyChar of the record, 0 without one
int  InitInput(InputDevices& devices, void* window, void* instance, bool virtualMouse); // 1, or the last failure code
void PollKeyboard(InputDevices& devices);                        // refresh keyState
bool IsKeyDown(const InputDevices& devices, int code);             // the polled key test by DIK code
int  ReadMouse(InputDevices& devices, MouseSample& sample);      // 1; deltas move once per frame
bool AnyMouseButton(InputDevices& devices);                      // one of the three buttons is down
int  ReadKeyChar(InputDevices& devices);                         // character of a newly pressed key, or 0
bool AnyKeyChar(InputDevices& devices);                          // a key that yields a character is newly pressed
int  ReadJoystick(InputDevices& devices, int n, JoystickState& state); // 1, or 0 (state zeroed) for no joystick
void ReleaseInput(InputDevices& devices);                        // system mouse back, devices released

// Failure codes of InitInput.
constexpr int kInputNoDirectInput = static_cast<int>(0x8000000A); // no input services
constexpr int kInputNoKeyboard = static_cast<int>(0x8000000B);    // keyboard not acquired
constexpr int kInputNoMouse = static_cast<int>(0x8000000C);       // relative mouse not set up

} // namespace corvane

namespace corvane::input_detail {

// A language number as a 32-bit integer, truncated toward zero; NaN reads as 0 and
// numbers beyond the range saturate instead of being undefined.
inline int TruncateArgument(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);
}

// The record's joystick count, slots and names follow the platform's joystick list.
void SyncJoysticks(InputDevices& devices);

} // namespace corvane::input_detail
