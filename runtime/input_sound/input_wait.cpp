// The wait commands: they sleep between looks at the devices, so a program that
// waits for the user uses almost no processor time.
#include <algorithm>

#include "runtime/frame/frame.h"
#include "runtime/input_sound/input.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {

constexpr int kIdlePasses = 8;
constexpr int kIdleSleepMs = 30;
constexpr int kDikEscape = 1;

bool JoystickActive(InputDevices& d, int n) {
    JoystickState s;
    if (!ReadJoystick(d, n, s)) return false;
    for (std::uint8_t b : s.buttons)
        if (b) return true;
    for (std::int32_t axis : {s.lX, s.lY, s.lZ})
        if (std::clamp(axis / 32767.0, -1.0, 1.0) != 0.0) return true;
    std::uint32_t pov = s.pov[0];
    return pov == 0 || pov == 9000 || pov == 18000 || pov == 27000;
}

} // namespace

void IdleUntilInput() {
    // What the last look saw of the mouse; a change counts as input.
    static double lastX = 0.0, lastY = 0.0, lastFirst = 0.0, lastSecond = 0.0;
    for (int pass = 0; pass < kIdlePasses; ++pass) {
        PumpMessages();
        InputDevices* d = engine.input;
        if (d) {
            PollKeyboard(*d);
            d->newFrame = 1;
            if (escapeEndsProgram && KeyDown(*d, kDikEscape)) EndProgram();
            for (int code = 0; code <= 254; ++code)
                if (KeyDown(*d, code)) return;

            MouseSample sample;
            ReadMouse(*d, sample);
            d->mouseX = std::clamp(d->mouseX, 0, std::max(engine.renderer.width, 1) - 1);
            d->mouseY = std::clamp(d->mouseY, 0, std::max(engine.renderer.height, 1) - 1);
            double x = d->mouseX, y = d->mouseY;
            double first = sample.left ? 1.0 : 0.0, second = sample.right ? 1.0 : 0.0;
            if (x != lastX || y != lastY || first != lastFirst || second != lastSecond) {
                lastX = x;
                lastY = y;
                lastFirst = first;
                lastSecond = second;
                return;
            }

            for (int n = d->joystickCount - 1; n >= 0; --n)
                if (JoystickActive(*d, n)) return;
        }
        platform::SleepMilliseconds(kIdleSleepMs);
    }
}

void WaitForKey() {
    InputDevices* d = engine.input;
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
    InputDevices* d = engine.input;
    if (!d) return;
    // A press still held from before does not count; wait until it is let go.
    // Messages stay queued meanwhile; the short sleep only spares the processor.
    while (AnyMouseButton(*d)) platform::SleepMilliseconds(1);
    while (!AnyMouseButton(*d)) IdleUntilInput();
}

} // namespace corvane
