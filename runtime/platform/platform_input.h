// Platform services: keyboard, mouse, joysticks and force feedback.
//
// Keys are named by their DirectInput scan codes (DIK numbering, 1..254) on every
// system, so programs written against those numbers keep working. Key and button
// states follow the events the system delivers, so they are the same whether the
// events come from a real device or are put into the queue by a test. A press reads
// as held for at least 50 ms, so a quick tap (or a touchpad tap, whose press and
// release come together) is not lost between two looks at the state.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// ---------------------------------------------------------------- start and stop
bool OpenInputServices();                          // event watch, joystick and haptic services; false when no event source runs
void CloseInputServices();                         // joysticks closed, relative mouse off, event watch removed
void RefreshInput();                               // fetch pending system input so key and button states are current; removes nothing from the queue

// ---------------------------------------------------------------- keyboard (DIK codes)
void ReadKeyboardState(unsigned char state[256]);  // 0x80 for each key held, else 0
int  KeyCharacter(int dik);                        // byte the keyboard layout gives the key with the current modifiers; 0 for none

// ---------------------------------------------------------------- mouse
bool SetRelativeMouse(bool on);                    // hide and hold the cursor, report motion only; false when the system cannot
void TakeMouseMotion(int* dx, int* dy, int* wheel);// motion and wheel clicks since the last call (wheel: away from the user > 0)
int  MouseButtonState();                           // bit 0 left, bit 1 right, bit 2 middle, set while held
void GetCursorClientPosition(int* x, int* y);      // last known cursor position in the window's client area
void MoveCursorInWindow(int x, int y);             // put the system cursor at a client position

// ---------------------------------------------------------------- joysticks
constexpr int kMaxJoysticks = 10;
struct JoystickReading {
    std::int32_t axes[6];                          // x, y, z, rx, ry, rz on -32768..32768; 0 where absent
    std::int32_t sliders[2];                       // two more axes, when the device has them
    std::uint32_t pov[4];                          // hats: hundredths of a degree clockwise from up, 0xFFFFFFFF centred or absent
    std::uint8_t buttons[32];                      // 0x80 while pressed
};
int  OpenJoysticks(int maxCount);                  // take the attached joysticks into slots 0..; returns the number taken
int  JoystickSlotCount();                          // slots in use; a joystick plugged in later takes a free slot
std::uint32_t JoystickGeneration();                // changes whenever a joystick is added or removed
bool JoystickConnected(int slot);                  // a device is in the slot
std::string JoystickSlotName(int slot);            // "instance name, product name"; empty for a slot never used
bool ReadJoystickSlot(int slot, JoystickReading* out); // fresh state; false (all zero, hats centred) when nothing is there
bool JoystickHasConstantForce(int slot);           // the device can play a constant-force effect
bool PlayConstantForce(int slot, int durationMs, int directionX, int directionY, int magnitude); // magnitude 0..10000; replaces the previous effect
void CloseJoysticks();                             // every slot emptied

} // namespace corvane::platform
