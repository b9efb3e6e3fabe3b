// Input devices: the keyboard by scan code (named in keys.h), the virtual or system
// mouse, and up to ten joysticks with force feedback.
#pragma once

#include "runtime/input_sound/keys.h"
#include "runtime/values/rt_string.h"

namespace corvane {

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
