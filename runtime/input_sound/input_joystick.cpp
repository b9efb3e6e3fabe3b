// Joysticks: up to ten, read as the 80-byte state record, with a constant-force
// effect where the device can play one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/engine/engine.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/platform/platform.h"

namespace corvane {

using input_detail::TruncateArgument;

namespace {

constexpr std::uint32_t kPovCentred = 0xFFFFFFFFu;

// A state with nothing pressed and every hat centred. A plain zero would read hat 0
// as "up", so a joystick that cannot be read would look pushed forward.
void ClearState(JoystickState& s) {
    s = JoystickState();
    for (std::uint32_t& p : s.pov) p = kPovCentred;
}

// Dead zone of 30 % around the centre of x and y; the rest of the travel is spread
// over the whole range again, so a full push still reads as the full value.
std::int32_t ApplyDeadZone(std::int32_t v) {
    constexpr double kRange = 32768.0;
    constexpr double kDead = kRange * 3000.0 / 10000.0;
    double magnitude = std::fabs(static_cast<double>(v));
    if (magnitude <= kDead) return 0;
    double scaled = (std::min(magnitude, kRange) - kDead) * kRange / (kRange - kDead);
    return static_cast<std::int32_t>(v < 0 ? -scaled : scaled);
}

// Joystick n of the record, or null when n is not a taken slot.
InputDevices* JoystickOwner(int n) {
    InputDevices* d = TheInput();
    if (!d) return nullptr;
    input_detail::SyncJoysticks(*d);
    if (n < 0 || n >= kMaxJoysticks || n >= d->joystickCount) return nullptr;
    return d;
}

double AxisValue(std::int32_t raw) { return std::clamp(raw / 32767.0, -1.0, 1.0); }

// Reads joystick n for a command; the state stays cleared for a bad number.
void ReadForCommand(double n, JoystickState& s) {
    ClearState(s);
    int index = TruncateArgument(n);
    if (InputDevices* d = JoystickOwner(index)) ReadJoystick(*d, index, s);
}

} // namespace

namespace input_detail {

void SyncJoysticks(InputDevices& d) {
    std::uint32_t generation = platform::JoystickGeneration();
    if (generation == d.joystickGeneration) return;
    d.joystickGeneration = generation;
    d.joystickCount = std::clamp(platform::JoystickSlotCount(), 0, kMaxJoysticks);
    for (int i = 0; i < kMaxJoysticks; ++i) {
        d.joystickDevices[i] = i < d.joystickCount && platform::JoystickConnected(i);
        std::string name = i < d.joystickCount ? platform::JoystickSlotName(i) : std::string();
        std::snprintf(d.joystickNames[i], kJoystickNameBytes, "%s", name.c_str());
    }
}

} // namespace input_detail

int ReadJoystick(InputDevices& d, int n, JoystickState& s) {
    ClearState(s);
    input_detail::SyncJoysticks(d);
    if (n < 0 || n >= kMaxJoysticks || n >= d.joystickCount || !d.joystickDevices[n]) return 0;
    platform::JoystickReading r;
    if (!platform::ReadJoystickSlot(n, &r)) return 0;
    s.lX = ApplyDeadZone(r.axes[0]);
    s.lY = ApplyDeadZone(r.axes[1]);
    s.lZ = r.axes[2];
    s.lRx = r.axes[3];
    s.lRy = r.axes[4];
    s.lRz = r.axes[5];
    s.sliders[0] = r.sliders[0];
    s.sliders[1] = r.sliders[1];
    std::memcpy(s.pov, r.pov, sizeof s.pov);
    std::memcpy(s.buttons, r.buttons, sizeof s.buttons);
    return 1;
}

double JoystickCount() {
    if (!TheInput()) return 0.0;
    input_detail::SyncJoysticks(*TheInput());
    return TheInput()->joystickCount;
}

RtString JoystickName(double n) {
    int index = TruncateArgument(n);
    InputDevices* d = JoystickOwner(index);
    if (!d) return RtString("");
    return RtString(d->joystickNames[index]);
}

double JoyX(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lX); }
double JoyY(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lY); }
double JoyZ(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lZ); }
double JoyRX(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lRx); }
double JoyRY(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lRy); }
double JoyRZ(double n) { JoystickState s; ReadForCommand(n, s); return AxisValue(s.lRz); }

double JoyHatX(double n) {
    JoystickState s;
    ReadForCommand(n, s);
    if (s.pov[0] == 9000) return 1.0;
    if (s.pov[0] == 27000) return -1.0;
    return 0.0;
}

double JoyHatY(double n) {
    JoystickState s;
    ReadForCommand(n, s);
    if (s.pov[0] == 0) return -1.0;
    if (s.pov[0] == 18000) return 1.0;
    return 0.0;
}

double JoyButton(double n, double b) {
    int button = TruncateArgument(b);
    if (button < 0 || button > 31) return 0.0;
    JoystickState s;
    ReadForCommand(n, s);
    return s.buttons[button];
}

void JoyState(double& x, double& y, double& button0, double& button1) {
    JoystickState s;
    ReadForCommand(0, s);
    x = static_cast<int>(s.lX / 30000.0);
    y = static_cast<int>(s.lY / 30000.0);
    button0 = s.buttons[0];
    button1 = s.buttons[1];
}

void JoyFeedback(double n, double duration, double x, double y) {
    int index = TruncateArgument(n);
    InputDevices* d = JoystickOwner(index);
    if (!d || !d->joystickDevices[index]) return;
    if (!platform::JoystickHasConstantForce(index)) return;
    double fx = std::clamp(x == x ? x : 0.0, -1.0, 1.0);
    double fy = std::clamp(y == y ? y : 0.0, -1.0, 1.0);
    int magnitude = static_cast<int>((fx * fx + fy * fy) * 5000.0);
    int ms = std::max(TruncateArgument(duration), 0);
    platform::PlayConstantForce(index, ms, static_cast<int>(fx * 32767.0), static_cast<int>(fy * 32767.0), magnitude);
}

} // namespace corvane
