// Keyboard, mouse and joysticks on SDL2.
//
// Key and button states are kept here from the events themselves (seen through the
// raw-event hook of the pump), not from SDL_GetKeyboardState: SDL only updates its
// own arrays from the system driver, so events put into the queue by tests or by
// other tools would be invisible. RefreshInput additionally peeks at the events
// still waiting in the queue, so a state read between two pumps is current without
// taking anything away from the pump.
#include "runtime/platform/platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace corvane::platform {

namespace {

// ---------------------------------------------------------------- scancode table
// One table from SDL scancodes to DIK codes. Several SDL keys may share a DIK code
// (the ISO key beside Enter sits where the backslash key does).
struct ScanPair { SDL_Scancode sdl; unsigned char dik; };
constexpr ScanPair kScanTable[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04}, {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A}, {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C}, {SDL_SCANCODE_EQUALS, 0x0D}, {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12}, {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15}, {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18}, {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28}, {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_LSHIFT, 0x2A}, {SDL_SCANCODE_BACKSLASH, 0x2B}, {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E}, {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C}, {SDL_SCANCODE_F3, 0x3D}, {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40}, {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47}, {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50}, {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},   // kana
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},   // ABNT C1 / ro
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},   // convert
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},   // no convert
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},   // yen
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90}, {SDL_SCANCODE_AUDIONEXT, 0x99},
    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0}, {SDL_SCANCODE_AUDIOMUTE, 0xA0}, {SDL_SCANCODE_CALCULATOR, 0xA1},
    {SDL_SCANCODE_AUDIOPLAY, 0xA2}, {SDL_SCANCODE_AUDIOSTOP, 0xA4},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE}, {SDL_SCANCODE_VOLUMEUP, 0xB0}, {SDL_SCANCODE_AC_HOME, 0xB2},
    {SDL_SCANCODE_KP_COMMA, 0xB3}, {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_RALT, 0xB8}, {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC}, {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE}, {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5}, {SDL_SCANCODE_AC_BOOKMARKS, 0xE6}, {SDL_SCANCODE_AC_REFRESH, 0xE7},
    {SDL_SCANCODE_AC_STOP, 0xE8}, {SDL_SCANCODE_AC_FORWARD, 0xE9}, {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB}, {SDL_SCANCODE_MAIL, 0xEC}, {SDL_SCANCODE_MEDIASELECT, 0xED},
};

struct ScanMaps {
    unsigned char dikOf[SDL_NUM_SCANCODES] = {};
    SDL_Scancode scancodeOf[256] = {};    // first SDL key named for each DIK code
    ScanMaps() {
        for (const ScanPair& p : kScanTable) {
            dikOf[p.sdl] = p.dik;
            if (scancodeOf[p.dik] == SDL_SCANCODE_UNKNOWN) scancodeOf[p.dik] = p.sdl;
        }
    }
};
const ScanMaps& Maps() {
    static const ScanMaps maps;
    return maps;
}

constexpr int kDikLeftCtrl = 0x1D, kDikRightCtrl = 0x9D, kDikLeftShift = 0x2A, kDikRightShift = 0x36;
constexpr int kDikLeftAlt = 0x38, kDikRightAlt = 0xB8, kDikSpace = 0x39;

// ---------------------------------------------------------------- keyboard state
// Typed characters: SDL tells the layout's unmodified key, and the text that a key
// with its modifiers produced (the text-input event that follows the key-down).
// That text is remembered per key and modifier set, so a state read can give the
// layout's character for a held key with the modifiers held now.
constexpr int kModShift = 1, kModCaps = 2, kModAltGr = 4, kModNum = 8, kModClasses = 16;
constexpr short kUnknown = -1;

struct PendingText {
    int dik = -1;                      // the key pressed last, -1 when its text came or none will
    int cls = 0;                       // modifiers held with it
};

struct KeyboardTrack {
    unsigned char down[256] = {};      // from the events the pump handed over
    unsigned char live[256] = {};      // down[] plus the key events still queued
    Uint32 pressTick[256] = {};        // when the pump last saw each key go down
    unsigned char pressClass[256] = {};// the modifiers held then
    Uint16 lockMods = 0;               // caps and num lock from the latest key event
    Uint16 liveLockMods = 0;
    PendingText pending;               // key whose text-input event may follow
    short typed[kModClasses][256];     // learned characters; kUnknown, 0 (none) or 1..127
    KeyboardTrack() { ForgetLayout(); }
    void ForgetLayout() { std::fill(&typed[0][0], &typed[0][0] + kModClasses * 256, kUnknown); }
};

struct MouseTrack {
    long long dx = 0, dy = 0;          // relative motion since the last take
    long long wheel = 0;               // wheel clicks since the last take
    int x = 0, y = 0;                  // last absolute position in the window
    int buttons = 0;                   // from the events the pump handed over
    int liveButtons = 0;               // plus the button events still queued
    Uint32 pressTick[3] = {};          // when the pump last saw each button go down
    bool relative = false;             // relative mode is on
};

struct JoystickSlot {
    SDL_Joystick* joystick = nullptr;
    SDL_JoystickID instance = -1;
    SDL_Haptic* haptic = nullptr;
    int effect = -1;                   // the effect created last, replaced by the next
    bool hapticTried = false;
    bool used = false;                 // a device was here once; its number stays taken
    std::string name;
};

struct InputTrack {
    bool open = false;
    bool joysticksReady = false;
    bool hapticsReady = false;
    KeyboardTrack keys;
    MouseTrack mouse;
    JoystickSlot joy[kMaxJoysticks];
    int joySlots = 0;                  // slots in use
    int joyLimit = 0;                  // how many may be taken (OpenJoysticks' limit)
    std::uint32_t joyGeneration = 0;
};
InputTrack track;

int ModifierClass(const unsigned char* down, Uint16 lockMods) {
    int cls = 0;
    if (down[kDikLeftShift] || down[kDikRightShift]) cls |= kModShift;
    if (lockMods & KMOD_CAPS) cls |= kModCaps;
    bool ctrl = down[kDikLeftCtrl] || down[kDikRightCtrl];
    if (down[kDikRightAlt] || (ctrl && down[kDikLeftAlt])) cls |= kModAltGr;
    if (lockMods & KMOD_NUM) cls |= kModNum;
    return cls;
}

bool ControlWithoutAltGr(const unsigned char* down) {
    bool ctrl = down[kDikLeftCtrl] || down[kDikRightCtrl];
    return ctrl && !(down[kDikRightAlt] || down[kDikLeftAlt]);
}

// Applies one key or text event to a key array; shared by the hook (down[]) and the
// queue peek (live[]), so both read events the same way. Each keeps its own pending
// key, as the peek runs ahead of the hook over the same events.
void ApplyKeyEvent(const SDL_Event& e, unsigned char* down, Uint16* lockMods, PendingText* last) {
    KeyboardTrack& k = track.keys;
    if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) {
        SDL_Scancode sc = e.key.keysym.scancode;
        if (sc < 0 || sc >= SDL_NUM_SCANCODES) return;
        *lockMods = static_cast<Uint16>(e.key.keysym.mod & (KMOD_CAPS | KMOD_NUM));
        int dik = Maps().dikOf[sc];
        if (dik == 0) return;
        down[dik] = (e.type == SDL_KEYDOWN) ? 0x80 : 0;
        if (e.type == SDL_KEYDOWN) {
            last->dik = ControlWithoutAltGr(down) ? -1 : dik;
            last->cls = ModifierClass(down, *lockMods);
        }
    } else if (e.type == SDL_TEXTINPUT) {
        if (last->dik < 0) return;
        const unsigned char* text = reinterpret_cast<const unsigned char*>(e.text.text);
        size_t n = std::strlen(e.text.text);
        short value = kUnknown;
        if (n == 1 && text[0] < 128) {
            value = text[0];
        } else if (n >= 2 && n <= 4 && (text[0] & 0xC0) == 0xC0) {
            // one character outside ASCII: the key has no character of its own
            size_t len = (text[0] >= 0xF0) ? 4 : (text[0] >= 0xE0) ? 3 : 2;
            if (len == n) value = 0;
        }
        if (value != kUnknown) k.typed[last->cls][last->dik] = value;
        last->dik = -1;
    }
}

int ButtonIndex(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    default: return -1;
    }
}

int ButtonBit(Uint8 button) {
    int index = ButtonIndex(button);
    return index < 0 ? 0 : 1 << index;
}

// A press reads as held for at least this long after the pump saw it, so a tap
// that begins and ends between two looks at the state is still seen (touchpad taps
// send the press and the release together). Only the pump's own sightings count:
// the queue peek never starts a hold, so a key never reads down, up, then down.
constexpr Uint32 kMinimumPressMs = 50;
bool WithinMinimumPress(Uint32 pressTick, Uint32 now) {
    return pressTick != 0 && now - pressTick < kMinimumPressMs;
}

void AddJoystick(int deviceIndex);
void RemoveJoystick(SDL_JoystickID instance);

void OnRawEvent(const void* raw) {
    const SDL_Event& e = *static_cast<const SDL_Event*>(raw);
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
        ApplyKeyEvent(e, track.keys.down, &track.keys.lockMods, &track.keys.pending);
        if (e.type == SDL_KEYDOWN && !e.key.repeat && e.key.keysym.scancode < SDL_NUM_SCANCODES) {
            int dik = Maps().dikOf[e.key.keysym.scancode];
            track.keys.pressTick[dik] = SDL_GetTicks();
            track.keys.pressClass[dik] = static_cast<unsigned char>(track.keys.pending.cls);
        }
        break;
    case SDL_KEYMAPCHANGED:
        track.keys.ForgetLayout();
        break;
    case SDL_MOUSEMOTION:
        track.mouse.dx += e.motion.xrel;
        track.mouse.dy += e.motion.yrel;
        track.mouse.x = e.motion.x;
        track.mouse.y = e.motion.y;
        break;
    case SDL_MOUSEBUTTONDOWN:
        track.mouse.buttons |= ButtonBit(e.button.button);
        if (int index = ButtonIndex(e.button.button); index >= 0) track.mouse.pressTick[index] = SDL_GetTicks();
        break;
    case SDL_MOUSEBUTTONUP:
        track.mouse.buttons &= ~ButtonBit(e.button.button);
        break;
    case SDL_MOUSEWHEEL:
        track.mouse.wheel += (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) ? -e.wheel.y : e.wheel.y;
        break;
    case SDL_WINDOWEVENT:
        // Keys released while another window had the focus never report a key-up.
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            std::memset(track.keys.down, 0, sizeof track.keys.down);
            track.mouse.buttons = 0;
        }
        break;
    case SDL_JOYDEVICEADDED:
        AddJoystick(e.jdevice.which);
        break;
    case SDL_JOYDEVICEREMOVED:
        RemoveJoystick(e.jdevice.which);
        break;
    default:
        break;
    }
}

SDL_Window* MainWindow() {
    if (SDL_Window* w = SDL_GL_GetCurrentWindow()) return w;
    if (SDL_Window* w = SDL_GetKeyboardFocus()) return w;
    return SDL_GetMouseFocus();
}

// ---------------------------------------------------------------- joysticks
std::string Truncated(const char* text, size_t max) {
    std::string s = text ? text : "";
    if (s.size() > max) s.resize(max);
    return s;
}

void CloseSlot(JoystickSlot& s) {
    if (s.haptic) {
        if (s.effect >= 0) SDL_HapticDestroyEffect(s.haptic, s.effect);
        SDL_HapticClose(s.haptic);
    }
    if (s.joystick) SDL_JoystickClose(s.joystick);
    s.joystick = nullptr;
    s.haptic = nullptr;
    s.effect = -1;
    s.hapticTried = false;
    s.instance = -1;
}

void AddJoystick(int deviceIndex) {
    if (!track.joysticksReady) return;
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (id < 0) return;
    for (int i = 0; i < track.joySlots; ++i)
        if (track.joy[i].joystick && track.joy[i].instance == id) return;   // already taken
    // A free slot of a removed device first, so that numbers stay small.
    int slot = -1;
    for (int i = 0; i < track.joySlots; ++i)
        if (!track.joy[i].joystick) { slot = i; break; }
    if (slot < 0) {
        if (track.joySlots >= track.joyLimit) return;
        slot = track.joySlots;
    }
    SDL_Joystick* j = SDL_JoystickOpen(deviceIndex);
    if (!j) return;   // a device that cannot be opened is skipped
    JoystickSlot& s = track.joy[slot];
    s.joystick = j;
    s.instance = SDL_JoystickInstanceID(j);
    s.used = true;
    // SDL knows one name per device; it stands for both the instance and the product.
    std::string name = Truncated(SDL_JoystickName(j), 259);
    s.name = name + ", " + name;
    if (slot == track.joySlots) ++track.joySlots;
    ++track.joyGeneration;
}

void RemoveJoystick(SDL_JoystickID instance) {
    for (int i = 0; i < track.joySlots; ++i) {
        if (track.joy[i].joystick && track.joy[i].instance == instance) {
            CloseSlot(track.joy[i]);
            ++track.joyGeneration;
        }
    }
}

std::uint32_t HatToPov(Uint8 hat) {
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFFFFFFu;
    }
}

// SDL's axes end at 32767 on the positive side; the full push reads 32768 here, as
// on a device whose range was set to -32768..32768.
std::int32_t AxisToRange(Sint16 v) {
    return v > 0 ? static_cast<std::int32_t>((static_cast<std::int64_t>(v) * 32768 + 16383) / 32767) : v;
}

void ClearReading(JoystickReading* out) {
    std::memset(out, 0, sizeof *out);
    for (std::uint32_t& p : out->pov) p = 0xFFFFFFFFu;
}

} // namespace

// ---------------------------------------------------------------- start and stop
bool OpenInputServices() {
    if (track.open) return true;
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0) return false;
    track.keys = KeyboardTrack();
    track.mouse = MouseTrack();
    track.joysticksReady = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    track.hapticsReady = track.joysticksReady && SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    AddRawEventHook(&OnRawEvent);
    track.open = true;
    int x = 0, y = 0;
    if (SDL_Window* w = MainWindow()) {
        int wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&x, &y);
        SDL_GetWindowPosition(w, &wx, &wy);
        x -= wx;
        y -= wy;
        if (SDL_GetMouseFocus() == w) SDL_GetMouseState(&x, &y);
    }
    track.mouse.x = x;
    track.mouse.y = y;
    return true;
}

void CloseInputServices() {
    if (!track.open) return;
    CloseJoysticks();
    if (track.mouse.relative) SetRelativeMouse(false);
    RemoveRawEventHook(&OnRawEvent);
    if (track.hapticsReady) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    if (track.joysticksReady) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    track.hapticsReady = track.joysticksReady = false;
    track.open = false;
}

void RefreshInput() {
    if (!track.open) return;
    SDL_PumpEvents();
    KeyboardTrack& k = track.keys;
    std::memcpy(k.live, k.down, sizeof k.live);
    k.liveLockMods = k.lockMods;
    SDL_Event pending[256];
    int n = SDL_PeepEvents(pending, 256, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_TEXTINPUT);
    // The learned characters are taken from queued events as well: learning is the
    // same whenever it happens, and the character of a key pressed just now counts.
    PendingText last = k.pending;
    for (int i = 0; i < n; ++i) ApplyKeyEvent(pending[i], k.live, &k.liveLockMods, &last);
    track.mouse.liveButtons = track.mouse.buttons;
    n = SDL_PeepEvents(pending, 256, SDL_PEEKEVENT, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP);
    for (int i = 0; i < n; ++i) {
        int bit = ButtonBit(pending[i].button.button);
        if (pending[i].type == SDL_MOUSEBUTTONDOWN) track.mouse.liveButtons |= bit;
        else track.mouse.liveButtons &= ~bit;
    }
}

// ---------------------------------------------------------------- keyboard
void ReadKeyboardState(unsigned char state[256]) {
    Uint32 now = SDL_GetTicks();
    for (int i = 0; i < 256; ++i)
        state[i] = (track.keys.live[i] || WithinMinimumPress(track.keys.pressTick[i], now)) ? 0x80 : 0;
    state[0] = 0;
    state[255] = 0;
}

int KeyCharacter(int dik) {
    if (dik <= 0 || dik > 254) return 0;
    const KeyboardTrack& k = track.keys;
    // Control turns letters into control codes and most other keys into nothing.
    if (ControlWithoutAltGr(k.live)) return dik == kDikSpace ? ' ' : 0;
    // A key that is up again but still within its shortest press keeps the
    // modifiers it was typed with (Shift is often let go right after the key).
    int cls = k.live[dik] ? ModifierClass(k.live, k.liveLockMods) : k.pressClass[dik];
    if (k.typed[cls][dik] != kUnknown) return k.typed[cls][dik];
    SDL_Scancode sc = Maps().scancodeOf[dik];
    if (sc == SDL_SCANCODE_UNKNOWN) return 0;
    bool numLock = (cls & kModNum) != 0;
    switch (sc) {
    case SDL_SCANCODE_KP_DIVIDE: return '/';
    case SDL_SCANCODE_KP_MULTIPLY: return '*';
    case SDL_SCANCODE_KP_MINUS: return '-';
    case SDL_SCANCODE_KP_PLUS: return '+';
    case SDL_SCANCODE_KP_PERIOD: return numLock ? '.' : 0;
    case SDL_SCANCODE_KP_0: return numLock ? '0' : 0;
    default: break;
    }
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9)
        return numLock ? '1' + (sc - SDL_SCANCODE_KP_1) : 0;
    SDL_Keycode key = SDL_GetKeyFromScancode(sc);
    if (key < 32 || key >= 127) return 0;
    if (key >= 'a' && key <= 'z' && (((cls & kModShift) != 0) != ((cls & kModCaps) != 0)))
        key -= 32;
    return static_cast<int>(key);
}

// ---------------------------------------------------------------- mouse
bool SetRelativeMouse(bool on) {
    if (on) {
        if (SDL_SetRelativeMouseMode(SDL_TRUE) != 0) return false;
        track.mouse.relative = true;
        return true;
    }
    SDL_SetRelativeMouseMode(SDL_FALSE);
    SDL_ShowCursor(SDL_ENABLE);
    track.mouse.relative = false;
    return true;
}

void TakeMouseMotion(int* dx, int* dy, int* wheel) {
    auto clampInt = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, -2147483647LL, 2147483647LL));
    };
    *dx = clampInt(track.mouse.dx);
    *dy = clampInt(track.mouse.dy);
    *wheel = clampInt(track.mouse.wheel);
    track.mouse.dx = track.mouse.dy = track.mouse.wheel = 0;
}

int MouseButtonState() {
    Uint32 now = SDL_GetTicks();
    int buttons = track.mouse.liveButtons;
    for (int i = 0; i < 3; ++i)
        if (WithinMinimumPress(track.mouse.pressTick[i], now)) buttons |= 1 << i;
    return buttons;
}

void GetCursorClientPosition(int* x, int* y) {
    *x = track.mouse.x;
    *y = track.mouse.y;
}

void MoveCursorInWindow(int x, int y) {
    track.mouse.x = x;
    track.mouse.y = y;
    if (SDL_Window* w = MainWindow()) SDL_WarpMouseInWindow(w, x, y);
}

// ---------------------------------------------------------------- joysticks
int OpenJoysticks(int maxCount) {
    track.joyLimit = std::clamp(maxCount, 0, kMaxJoysticks);
    if (!track.joysticksReady) return 0;
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n && track.joySlots < track.joyLimit; ++i) AddJoystick(i);
    return track.joySlots;
}

int JoystickSlotCount() { return track.joySlots; }

std::uint32_t JoystickGeneration() { return track.joyGeneration; }

bool JoystickConnected(int slot) {
    return slot >= 0 && slot < track.joySlots && track.joy[slot].joystick != nullptr;
}

std::string JoystickSlotName(int slot) {
    if (slot < 0 || slot >= track.joySlots) return std::string();
    return track.joy[slot].name;
}

bool ReadJoystickSlot(int slot, JoystickReading* out) {
    ClearReading(out);
    if (!JoystickConnected(slot)) return false;
    SDL_Joystick* j = track.joy[slot].joystick;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(j)) return false;
    int axes = SDL_JoystickNumAxes(j);
    for (int a = 0; a < 8 && a < axes; ++a) {
        std::int32_t v = AxisToRange(SDL_JoystickGetAxis(j, a));
        if (a < 6) out->axes[a] = v;
        else out->sliders[a - 6] = v;
    }
    int hats = SDL_JoystickNumHats(j);
    for (int h = 0; h < 4 && h < hats; ++h) out->pov[h] = HatToPov(SDL_JoystickGetHat(j, h));
    int buttons = SDL_JoystickNumButtons(j);
    for (int b = 0; b < 32 && b < buttons; ++b) out->buttons[b] = SDL_JoystickGetButton(j, b) ? 0x80 : 0;
    return true;
}

bool JoystickHasConstantForce(int slot) {
    if (!JoystickConnected(slot) || !track.hapticsReady) return false;
    JoystickSlot& s = track.joy[slot];
    if (!s.hapticTried) {
        s.hapticTried = true;
        if (SDL_JoystickIsHaptic(s.joystick) == 1) s.haptic = SDL_HapticOpenFromJoystick(s.joystick);
    }
    return s.haptic && (SDL_HapticQuery(s.haptic) & SDL_HAPTIC_CONSTANT);
}

bool PlayConstantForce(int slot, int durationMs, int directionX, int directionY, int magnitude) {
    if (!JoystickHasConstantForce(slot)) return false;
    JoystickSlot& s = track.joy[slot];
    SDL_HapticStopAll(s.haptic);
    if (s.effect >= 0) {
        SDL_HapticDestroyEffect(s.haptic, s.effect);
        s.effect = -1;
    }
    if (SDL_HapticQuery(s.haptic) & SDL_HAPTIC_GAIN) SDL_HapticSetGain(s.haptic, 100);
    SDL_HapticEffect effect;
    std::memset(&effect, 0, sizeof effect);
    effect.type = SDL_HAPTIC_CONSTANT;
    effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    effect.constant.direction.dir[0] = directionX;
    effect.constant.direction.dir[1] = directionY;
    effect.constant.length = static_cast<Uint32>(std::max(durationMs, 0));
    // Magnitudes run to 10000 here and to 32767 in SDL.
    effect.constant.level = static_cast<Sint16>(std::clamp(magnitude, 0, 10000) * 32767 / 10000);
    effect.constant.button = 0;
    s.effect = SDL_HapticNewEffect(s.haptic, &effect);
    if (s.effect < 0) return false;
    return SDL_HapticRunEffect(s.haptic, s.effect, 1) == 0;
}

void CloseJoysticks() {
    for (JoystickSlot& s : track.joy) {
        CloseSlot(s);
        s.used = false;
        s.name.clear();
    }
    if (track.joySlots > 0) ++track.joyGeneration;
    track.joySlots = 0;
}

} // namespace corvane::platform
