// Input tests drive the runtime with SDL events put into the queue, as a real
// device's driver would, and read the results through the public commands.
#pragma once

#include <SDL.h>

#include <cstring>

#include "runtime/frame/frame.h"
#include "runtime/input_sound/input_internal.h"
#include "tests/support/engine_fixture.h"

namespace input_test {

// Past the shortest press the runtime reports, so a released key reads released.
constexpr Uint32 kPastMinimumPressMs = 70;

inline void PushKey(SDL_Scancode sc, bool down, Uint16 mod = KMOD_NONE) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc;
    e.key.keysym.sym = SDL_GetKeyFromScancode(sc);
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

inline void PushText(const char* text) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_TEXTINPUT;
    std::strncpy(e.text.text, text, sizeof e.text.text - 1);
    SDL_PushEvent(&e);
}

inline void PushMotion(int xrel, int yrel, int x = 0, int y = 0) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEMOTION;
    e.motion.xrel = xrel;
    e.motion.yrel = yrel;
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
}

inline void PushButton(Uint8 button, bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    SDL_PushEvent(&e);
}

inline void PushWheel(int y, bool flipped = false) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&e);
}

// Lets the pump hand every queued event to the input devices.
inline void Pump() { corvane::PumpMessages(); }

// Releases every key and button and waits out the shortest press.
inline void ReleaseEverything() {
    for (int sc = 1; sc < SDL_NUM_SCANCODES; ++sc) PushKey(static_cast<SDL_Scancode>(sc), false);
    for (Uint8 b : {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_RIGHT}) PushButton(b, false);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    if (corvane::TheInput()) corvane::PollKeyboard(*corvane::TheInput());
}

} // namespace input_test
