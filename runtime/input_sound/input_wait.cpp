// The wait commands: they sleep between looks at the devices, so a program that
// waits for the user uses almost no processor time.
#include <algorithm>
#include <iterator>

#include "runtime/engine/engine_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {

constexpr int kIdlePasses = 8;
constexpr int kIdleSleepMs = 30;

// What the idle step watches of one joystick: its buttons, x, y and z, and the hat
// when it points in one of the four main directions.
struct JoystickLook {
    std::uint8_t buttons[32] = {};
    double x = 0, y = 0, z = 0;
    std::uint32_t pov = 0xFFFFFFFFu;
    bool operator==(const JoystickLook&) const = default;
};

JoystickLook LookAtJoystick(InputDevices& d, int n) {
    JoystickLook look;
    JoystickState s;
    if (!ReadJoystick(d, n, s)) return look;
    std::copy(std::begin(s.buttons), std::end(s.buttons), look.buttons);
    look.x = std::clamp(s.lX / 32767.0, -1.0, 1.0);
    look.y = std::clamp(s.lY / 32767.0, -1.0, 1.0);
    look.z = std::clamp(s.lZ / 32767.0, -1.0, 1.0);
    std::uint32_t pov = s.pov[0];
    if (pov == 0 || pov == 9000 || pov == 18000 || pov == 27000) look.pov = pov;
    return look;
}

} // namespace

// Keys, mouse and joysticks count as input when they differ from what the last look
// saw. A key or a joystick merely held (a trigger that rests off-centre, Shift held
// through a wait for the mouse) therefore does not keep the waits from sleeping.
void IdleUntilInput() {
    static double lastX = 0.0, lastY = 0.0, lastFirst = 0.0, lastSecond = 0.0;
    static unsigned char lastKeys[255] = {};
    static JoystickLook lastJoysticks[kMaxJoysticks];
    for (int pass = 0; pass < kIdlePasses; ++pass) {
        PumpMessages();
        InputDevices* d = TheInput();
        if (d) {
            PollKeyboard(*d);
            d->newFrame = 1;
            if (EscapeEndsProgram() && IsKeyDown(*d, KeyEscape)) UpEndProgram();
            bool keysChanged = false;
            for (int code = 0; code <= 254; ++code) {
                unsigned char down = IsKeyDown(*d, code) ? 1 : 0;
                keysChanged |= down != lastKeys[code];
                lastKeys[code] = down;
            }
            if (keysChanged) return;

            MouseSample sample;
            ReadMouse(*d, sample);
            d->mouseX = std::clamp(d->mouseX, 0, std::max(SurfaceWidth(), 1) - 1);
            d->mouseY = std::clamp(d->mouseY, 0, std::max(SurfaceHeight(), 1) - 1);
            double x = d->mouseX, y = d->mouseY;
            double first = sample.left ? 1.0 : 0.0, second = sample.right ? 1.0 : 0.0;
            if (x != lastX || y != lastY || first != lastFirst || second != lastSecond) {
                lastX = x;
                lastY = y;
                lastFirst = first;
                lastSecond = second;
                return;
            }

            bool joysticksChanged = false;
            for (int n = std::min(d->joystickCount, kMaxJoysticks) - 1; n >= 0; --n) {
                JoystickLook look = LookAtJoystick(*d, n);
                joysticksChanged |= !(look == lastJoysticks[n]);
                lastJoysticks[n] = look;
            }
            if (joysticksChanged) return;
        }
        platform::SleepMilliseconds(kIdleSleepMs);
    }
}

void WaitForKey() {
    InputDevices* d = TheInput();
    if (!d) return;
    while (!AnyKeyChar(*d)) {
        PumpMessages();
        IdleUntilInput();
    }
    // The stroke is consumed: the held key reads as already seen.
    while (AnyKeyChar(*d)) {
    }
}

void WaitForMouse() {
    InputDevices* d = TheInput();
    if (!d) return;
    // A press still held from before does not count; wait until it is let go.
    // Messages are taken meanwhile: a mouse moved while its button is held would
    // otherwise fill the queue until the release and a close request were dropped.
    while (AnyMouseButton(*d)) {
        PumpMessages();
        platform::SleepMilliseconds(1);
    }
    while (!AnyMouseButton(*d)) IdleUntilInput();
}

} // namespace corvane
