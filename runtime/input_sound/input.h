// Input devices: the keyboard by DIK scan code, the virtual or system mouse, and up
// to ten joysticks with force feedback. Start-up creates the record and calls
// InitInput; the frame step polls the keyboard and marks each new frame for the
// mouse; the program end calls ReleaseInput.
#pragma once

#include <cstdint>

#include "runtime/input_sound/keys.h"
#include "runtime/values/rt_string.h"

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

// ---------------------------------------------------------------- internal operations
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

// ---------------------------------------------------------------- keyboard
double   KeyState(double code);                 // 1 while the key with that scan code is down: KeyState(KeyLeft) (key names: keys.h)
RtString InKey();                               // the newly typed character, or ""

// ---------------------------------------------------------------- mouse
void   MouseState(double& x, double& y, double& left, double& right); // clamped position, buttons 1/0
double MouseAxis(double n);                     // 0 dx, 1 dy, 2 wheel, 3..5 left/right/middle
void   SetMousePosition(double x, double y);    // engine position; the cursor is not moved
void   SystemMouse(double on);                  // non-zero: the system cursor; zero: the virtual mouse

// ---------------------------------------------------------------- waits
void   IdleUntilInput();                        // one idle wait of the wait commands
void   WaitForKey();                            // wait for a key stroke
void   WaitForMouse();                          // wait for a new mouse-button press

// ---------------------------------------------------------------- joysticks
double   JoystickCount();                       // joysticks taken
RtString JoystickName(double n);                // "instance name, product name", or ""
double   JoyX(double n);                        // x axis, -1..1
double   JoyY(double n);                        // y axis, -1..1
double   JoyZ(double n);                        // z axis, -1..1
double   JoyRX(double n);                       // x rotation, -1..1
double   JoyRY(double n);                       // y rotation, -1..1
double   JoyRZ(double n);                       // z rotation, -1..1
double   JoyHatX(double n);                     // first hat: -1 left, 1 right, else 0
double   JoyHatY(double n);                     // first hat: -1 up, 1 down, else 0
double   JoyButton(double n, double b);         // raw button byte (128 pressed); 0 outside 0..31
void     JoyState(double& x, double& y, double& button0, double& button1); // joystick 0: x, y as -1/0/1
void     JoyFeedback(double n, double duration, double x, double y); // constant force for duration ms

} // namespace corvane
