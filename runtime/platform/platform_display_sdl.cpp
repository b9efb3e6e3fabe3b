// SDL2 implementation of display modes and the window frame. The window is the
// one holding the current GL context: the runtime has exactly one.
#include "runtime/platform/platform_display.h"

#include "runtime/platform/platform.h"

#include <SDL.h>
#include <signal.h>
#ifdef _WIN32
#include "runtime/platform/platform_win32.h"
#endif

#include <cstring>

namespace corvane::platform {

namespace {

// The window whose display mode was changed; read by the signal handler.
SDL_Window* volatile g_fullscreenWindow = nullptr;
volatile sig_atomic_t g_modeChanged = 0;
volatile sig_atomic_t g_restoring = 0;

// Last windowed position; unknown until the window was seen windowed.
bool g_havePosition = false;
int g_windowX = 0, g_windowY = 0;

// Nothing is asked of a display that is gone: its modes went with it.
SDL_Window* Window() { return HasMainWindow() && !DisplayLost() ? SDL_GL_GetCurrentWindow() : nullptr; }

int BitsOf(Uint32 format) {
    int bits = static_cast<int>(SDL_BITSPERPIXEL(format));
    return bits == 24 ? 32 : bits;
}

Uint32 FormatFor(int bits) {
    switch (bits) {
    case 8: return SDL_PIXELFORMAT_INDEX8;
    case 15: return SDL_PIXELFORMAT_RGB555;
    case 16: return SDL_PIXELFORMAT_RGB565;
    case 24: return SDL_PIXELFORMAT_RGB24;
    default: return SDL_PIXELFORMAT_RGB888;
    }
}

void RememberWindowedPosition(SDL_Window* window) {
    if (!window || (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) return;
    if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN)) return;
    SDL_GetWindowPosition(window, &g_windowX, &g_windowY);
    g_havePosition = true;
}

void LeaveFullscreen(SDL_Window* window) {
    if (window && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) SDL_SetWindowFullscreen(window, 0);
    g_modeChanged = 0;
    g_fullscreenWindow = nullptr;
}

// ---------------------------------------------------------------- fatal signals
// Puts the desktop mode back once: a crash must not leave the screen changed.
void RestoreModeAfterCrash() {
    if (g_modeChanged && !g_restoring && !DisplayLost()) {
        g_restoring = 1;
        SDL_Window* window = g_fullscreenWindow;
        if (window) SDL_SetWindowFullscreen(window, 0);
        g_modeChanged = 0;
    }
}

#ifndef _WIN32
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT, SIGHUP};
constexpr int kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
struct sigaction g_previous[kFatalCount];

void FatalSignal(int sig, siginfo_t* info, void*) {
    RestoreModeAfterCrash();
    // Then whatever was there before handles the signal as it would have.
    for (int i = 0; i < kFatalCount; ++i) {
        if (kFatalSignals[i] != sig) continue;
        sigaction(sig, &g_previous[i], nullptr);
        break;
    }
    // A fault raised by the processor repeats when the handler returns; a sent
    // signal must be sent again.
    bool fault = info && info->si_code > 0 &&
                 (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL);
    if (!fault) raise(sig);
}

#endif

} // namespace

bool EnterFullscreenDisplayMode(int width, int height, int bits) {
    SDL_Window* window = Window();
    if (!window || width <= 0 || height <= 0) return false;
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) display = 0;
    SDL_DisplayMode want{};
    want.w = width;
    want.h = height;
    want.format = bits ? FormatFor(bits) : 0;
    SDL_DisplayMode closest{};
    if (!SDL_GetClosestDisplayMode(display, &want, &closest)) return false;
    // Only the exact size will do: a scaled or larger mode is not full screen here.
    if (closest.w != width || closest.h != height) return false;
    if (bits && BitsOf(closest.format) != bits) return false;
    RememberWindowedPosition(window);
    if (SDL_SetWindowDisplayMode(window, &closest) != 0) return false;
    InstallDisplayRestoreOnFatalSignals();
    // At the display's top-left corner: without a window manager nothing else moves
    // it there, and a full-screen window no longer takes moves.
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display, &bounds) == 0) SDL_SetWindowPosition(window, bounds.x, bounds.y);
    g_fullscreenWindow = window;
    g_modeChanged = 1;
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
        LeaveFullscreen(window);
        return false;
    }
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (w != width || h != height) {
        LeaveFullscreen(window);
        return false;
    }
    return true;
}

void RestoreDesktopDisplayMode() {
    if (!g_modeChanged) return;
    // Without the window there is nothing to leave: destroying it gave the mode back.
    LeaveFullscreen(Window());
}

bool DisplayModeChanged() { return g_modeChanged != 0; }

int DisplayCount() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    int n = SDL_GetNumVideoDisplays();
    return n > 0 ? n : 0;
}

void SetCaptionedWindow(int width, int height) {
    SDL_Window* window = Window();
    if (!window) return;
    const bool wasHidden = !(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);
    LeaveFullscreen(window);
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowSize(window, width, height);
    if (g_havePosition) {
        SDL_SetWindowPosition(window, g_windowX, g_windowY);
    } else if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN)) {
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    // Back from hiding (a dialog), it is made active again; a window that stayed
    // shown keeps whatever focus it has.
    if (wasHidden) {
        ShowAndRaiseWindow();
    } else {
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
    }
    RememberWindowedPosition(window);
}

void HideWindowForDialog() {
    SDL_Window* window = Window();
    if (!window) {
        RestoreDesktopDisplayMode();
        return;
    }
    RememberWindowedPosition(window);
    LeaveFullscreen(window);
    SDL_HideWindow(window);
}

void ShowAndRaiseWindow() {
    SDL_Window* window = Window();
    if (!window) return;
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    // Without a window manager nothing else gives the focus back.
    SDL_SetWindowInputFocus(window);
}

void InstallDisplayRestoreOnFatalSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
#ifdef _WIN32
    win32::InstallCrashHandlers(RestoreModeAfterCrash);
#else
    for (int i = 0; i < kFatalCount; ++i) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = FatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(kFatalSignals[i], &action, &g_previous[i]);
    }
#endif
}

} // namespace corvane::platform
