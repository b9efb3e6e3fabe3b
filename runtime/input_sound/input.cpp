// Input devices: start and release, the keyboard by DIK code, typed characters and
// the mouse.

#include <algorithm>
#include <cstdint>
#include <memory>

#include "runtime/engine/engine_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {
std::unique_ptr<InputDevices> g_input;  // the input record, while the program runs
} // namespace

InputDevices* TheInput() { return g_input.get(); }
void CreateInputRecord() {
    if (!g_input) g_input = std::make_unique<InputDevices>();
}
void DestroyInputRecord() { g_input.reset(); }
int ReadTypedKey() { return g_input ? ReadKeyChar(*g_input) : 0; }

using input_detail::TruncateArgument;

namespace {

std::int16_t Saturate16(long long v) {
    return static_cast<std::int16_t>(std::clamp<long long>(v, INT16_MIN, INT16_MAX));
}

std::int32_t Saturate32(long long v) {
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Switches between the virtual and the system mouse. The system cursor appears
// where the virtual pointer was, so the pointer does not jump.
void SwitchSystemMouse(InputDevices& d, bool on) {
    if ((d.systemMouse != 0) == on) return;
    d.systemMouse = on ? 1 : 0;
    if (!on) {
        // Motion gathered while the cursor was free is not virtual-mouse motion.
        int dx, dy, wheel;
        platform::TakeMouseMotion(&dx, &dy, &wheel);
    }
    if (!d.mouseDevice) return;
    d.mouseCooperation = on ? 6 : 5;
    if (on) {
        platform::SetRelativeMouse(false);
        platform::MoveCursorInWindow(d.mouseX, d.mouseY);
    } else {
        platform::SetRelativeMouse(true);
    }
}

// Character of one pressed key before the shift rule, or 0.
int CharacterOfKey(int code) {
    switch (code) {
    case KeyBackspace: return 8;
    case KeyEnter:
    case KeyPadEnter: return 10;
    case KeyLeftControl: case KeyLeftShift: case KeyRightShift: case KeyLeftAlt: case KeyCapsLock:
    case KeyNumLock: case KeyMenu:
        return 0;   // modifiers and locks give no character of their own
    default: break;
    }
    int ch = platform::KeyCharacter(code);
    if (ch >= 128 || (ch < 32 && ch != 8 && ch != 10)) return 0;
    return ch;
}

// The scan shared by ReadKeyChar and AnyKeyChar, with the repeat suppression.
int NextTypedCharacter(InputDevices& d) {
    PollKeyboard(d);
    int ch = 0;
    for (int code = 0; code <= 254 && ch == 0; ++code)
        if (IsKeyDown(d, code)) ch = CharacterOfKey(code);
    if (ch >= 'a' && ch <= 'z' && (IsKeyDown(d, KeyLeftShift) || IsKeyDown(d, KeyRightShift))) ch -= 32;
    if (ch == 0) {
        d.lastKeyChar = 0;
        return 0;
    }
    if (ch == d.lastKeyChar) return 0;
    d.lastKeyChar = static_cast<unsigned char>(ch);
    return ch;
}

int ClampToScreen(std::int32_t& value, int size) {
    value = std::clamp<std::int32_t>(value, 0, std::max(size, 1) - 1);
    return value;
}

int DrawingWidth() { return SurfaceWidth() > 0 ? SurfaceWidth() : ScreenSettingWidth(); }
int DrawingHeight() { return SurfaceHeight() > 0 ? SurfaceHeight() : ScreenSettingHeight(); }

} // namespace

// ---------------------------------------------------------------- start and end
int InitInput(InputDevices& d, void* window, void* instance, bool virtualMouse) {
    (void)instance;
    int status = 1;
    d.directInput = platform::OpenInputServices();
    if (!d.directInput) {
        AppendErrorLog("No input devices: keys, mouse buttons and joysticks read as not pressed");
        status = kInputNoDirectInput;
    }
    d.window = window;
    d.newFrame = 1;
    d.lastKeyChar = 0;
    d.cachedDX = d.cachedDY = d.cachedWheel = 0;
    if (!d.directInput) {
        d.joystickCount = 0;
        return status;
    }
    int x = 0, y = 0;
    platform::GetCursorClientPosition(&x, &y);
    d.mouseX = x;
    d.mouseY = y;

    // The keyboard is event-driven and always at hand once the services run.
    d.keyboardDevice = true;
    platform::RefreshInput();
    platform::ReadKeyboardState(d.keyState);

    d.systemMouse = 0;
    d.mouseDevice = false;
    if (virtualMouse) {
        d.mouseCooperation = 5;
        d.mouseDevice = platform::SetRelativeMouse(true);
        if (!d.mouseDevice) {
            // Without a display that grants it (headless runs), not an error of the program.
            AppendErrorLog("No mouse capture: the pointer is not held in the window, so mouse motion stops at its edges");
            status = kInputNoMouse;
        }
    }
    int dx, dy, wheel;
    platform::TakeMouseMotion(&dx, &dy, &wheel);   // nothing from before the start counts

    platform::OpenJoysticks(kMaxJoysticks);
    d.joystickGeneration = platform::JoystickGeneration() - 1;   // force the first sync
    input_detail::SyncJoysticks(d);
    return status;
}

void ReleaseInput(InputDevices& d) {
    if (!d.systemMouse) SwitchSystemMouse(d, true);
    platform::CloseInputServices();
    d.directInput = d.keyboardDevice = d.mouseDevice = false;
    for (bool& present : d.joystickDevices) present = false;
    d.joystickCount = 0;
}

// ---------------------------------------------------------------- keyboard
void PollKeyboard(InputDevices& d) {
    if (!d.keyboardDevice) return;
    platform::RefreshInput();
    platform::ReadKeyboardState(d.keyState);
}

bool IsKeyDown(const InputDevices& d, int code) {
    if (code < 0 || code > 255) return false;
    return (d.keyState[code] & 0x80) != 0;
}

int ReadKeyChar(InputDevices& d) { return NextTypedCharacter(d); }

bool AnyKeyChar(InputDevices& d) { return NextTypedCharacter(d) != 0; }

double KeyState(double code) {
    if (!TheInput()) return 0.0;
    int key = static_cast<std::uint16_t>(TruncateArgument(code)) % 256;
    return IsKeyDown(*TheInput(), key) ? 1.0 : 0.0;
}

RtString InKey() {
    if (!TheInput()) return RtString("");
    char text[2] = {static_cast<char>(ReadKeyChar(*TheInput())), 0};
    return RtString(text);
}

// ---------------------------------------------------------------- mouse
int ReadMouse(InputDevices& d, MouseSample& sample) {
    sample = MouseSample();
    if (d.newFrame) {
        d.newFrame = 0;
        int dx = 0, dy = 0, wheel = 0;
        platform::TakeMouseMotion(&dx, &dy, &wheel);
        if (d.systemMouse) {
            int x = 0, y = 0;
            platform::GetCursorClientPosition(&x, &y);
            d.cachedDX = Saturate16(static_cast<long long>(x) - d.mouseX);
            d.cachedDY = Saturate16(static_cast<long long>(y) - d.mouseY);
            d.mouseX = x;
            d.mouseY = y;
        } else {
            d.cachedDX = Saturate16(dx);
            d.cachedDY = Saturate16(dy);
            d.mouseX = Saturate32(static_cast<long long>(d.mouseX) + d.cachedDX);
            d.mouseY = Saturate32(static_cast<long long>(d.mouseY) + d.cachedDY);
        }
        d.cachedWheel = static_cast<std::int16_t>((wheel > 0) - (wheel < 0));
    }
    sample.dx = d.cachedDX;
    sample.dy = d.cachedDY;
    sample.wheel = d.cachedWheel;
    if (d.directInput) {
        platform::RefreshInput();
        int buttons = platform::MouseButtonState();
        sample.left = (buttons & 1) ? 0x80 : 0;
        sample.right = (buttons & 2) ? 0x80 : 0;
        sample.middle = (buttons & 4) ? 0x80 : 0;
    }
    return 1;
}

bool AnyMouseButton(InputDevices& d) {
    if (!d.directInput) return false;
    platform::RefreshInput();
    return (platform::MouseButtonState() & 7) != 0;
}

void MouseState(double& x, double& y, double& left, double& right) {
    x = y = left = right = 0.0;
    if (!TheInput()) return;
    InputDevices& d = *TheInput();
    MouseSample s;
    ReadMouse(d, s);
    x = ClampToScreen(d.mouseX, DrawingWidth());
    y = ClampToScreen(d.mouseY, DrawingHeight());
    left = s.left ? 1.0 : 0.0;
    right = s.right ? 1.0 : 0.0;
}

double MouseAxis(double n) {
    if (!TheInput()) return 0.0;
    MouseSample s;
    ReadMouse(*TheInput(), s);
    switch (TruncateArgument(n)) {
    case 0: return s.dx;
    case 1: return s.dy;
    case 2: return s.wheel;
    case 3: return s.left ? 1.0 : 0.0;
    case 4: return s.right ? 1.0 : 0.0;
    case 5: return s.middle ? 1.0 : 0.0;
    default: return 0.0;
    }
}

void SetMousePosition(double x, double y) {
    if (!TheInput()) return;
    TheInput()->mouseX = TruncateArgument(x);
    TheInput()->mouseY = TruncateArgument(y);
}

void SystemMouse(double on) {
    if (!TheInput()) return;
    SwitchSystemMouse(*TheInput(), on != 0.0);
}

} // namespace corvane
