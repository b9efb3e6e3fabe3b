// SDL2 implementation of the window, GL, event and time services.
#include "runtime/platform/platform.h"

#include <SDL.h>
#include <SDL_syswm.h>
#ifndef _WIN32
#include <dlfcn.h>
#endif
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace corvane::platform {

namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_context = nullptr;
bool g_videoStarted = false;
SDL_Cursor* g_arrow = nullptr;                      // freed by SDL when video stops
std::vector<RawEventHook> g_hooks;

// Windows-1252 text (as the runtime's strings hold it) to UTF-8 for SDL. Bytes
// 0x80..0x9F map like Latin-1 here; the runtime's own texts never use them.
std::string ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (unsigned char c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// ---------------------------------------------------------------- a lost display
// By default Xlib ends the process from inside whatever call met the dead
// connection, and the exit teardown then waits on that connection for ever. Here
// the loss is only noted there; the next pump ends the program from a clean stack,
// and from then on every window and GL call is skipped.
DisplayLostHandler g_displayLostHandler = nullptr;
bool g_displayLost = false;
bool g_displayLossHandled = false;
constexpr Uint32 kDisplayLostWatchdogMs = 1500;

// Xlib's handler types, with the display as an opaque pointer.
using XIOErrorFn = int (*)(void*);
using XIOErrorExitFn = void (*)(void*, void*);
using SetIOErrorHandlerFn = XIOErrorFn (*)(XIOErrorFn);
using SetIOErrorExitHandlerFn = void (*)(void*, XIOErrorExitFn, void*);

void ForgetWindow() {
    // The objects lived on a server that is gone; releasing them would talk to it.
    g_context = nullptr;
    g_window = nullptr;
}

#ifndef _WIN32
int OnDisplayIOError(void*) {
    g_displayLost = true;
    ForgetWindow();
    return 0;
}

// Xlib calls this after the handler above; returning leaves the display marked
// dead, so later calls on it fail at once instead of ending the process.
void OnDisplayIOErrorExit(void*, void*) {}
#endif

void EndAfterDisplayLoss() {
    g_displayLossHandled = true;
    ForgetWindow();
    // Whatever a library's exit code may still wait for, the process ends in time.
    std::thread([] {
        SDL_Delay(kDisplayLostWatchdogMs);
        std::_Exit(1);
    }).detach();
    if (g_displayLostHandler) g_displayLostHandler();
    std::exit(1);
}

// Installs the handlers in the Xlib the video driver loaded; nothing when the
// window is not an X11 one (never on Windows, where no display connection can die
// under the program). Without the exit handler (an older Xlib) Xlib still
// exits by itself, and the teardown skips the window all the same.
void WatchDisplayConnection() {
#ifndef _WIN32
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!g_window || !SDL_GetWindowWMInfo(g_window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (!xlib) return;
    auto setHandler = reinterpret_cast<SetIOErrorHandlerFn>(dlsym(xlib, "XSetIOErrorHandler"));
    auto setExit = reinterpret_cast<SetIOErrorExitHandlerFn>(dlsym(xlib, "XSetIOErrorExitHandler"));
    if (setHandler) setHandler(OnDisplayIOError);
    if (setExit) setExit(info.info.x11.display, OnDisplayIOErrorExit, nullptr);
    dlclose(xlib);                                  // stays loaded: the video driver holds it
#endif
}

} // namespace

void SetDisplayLostHandler(DisplayLostHandler handler) { g_displayLostHandler = handler; }
bool DisplayLost() { return g_displayLost; }

bool InitVideo() {
    if (g_videoStarted) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0) {
        g_videoStarted = true;
        return true;
    }
    // No display to talk to: fall back to the offscreen driver, which still gives a
    // real GL context, so a program started on a server runs instead of failing.
    const char* driver = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && std::strcmp(driver, "offscreen") == 0) return false;
    // Say so: a program that quietly draws nowhere on a desktop would be a mystery.
    std::fprintf(stderr, "No display (%s): drawing offscreen\n", SDL_GetError());
    SDL_setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0) {
        g_videoStarted = true;
        return true;
    }
    return false;
}

void QuitVideo() {
    if (!g_videoStarted) return;
    DestroyMainWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER);
    g_videoStarted = false;
    g_arrow = nullptr;
}

bool CreateMainWindow(const WindowDesc& desc) {
    if (!g_videoStarted || g_window) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    int pos = desc.centred ? SDL_WINDOWPOS_CENTERED : SDL_WINDOWPOS_UNDEFINED;
    g_window = SDL_CreateWindow(ToUtf8(desc.title).c_str(), pos, pos, desc.clientWidth,
                                desc.clientHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!g_window) return false;
    g_context = SDL_GL_CreateContext(g_window);
    if (!g_context) {
        SDL_DestroyWindow(g_window);
        g_window = nullptr;
        return false;
    }
    SDL_GL_MakeCurrent(g_window, g_context);
    // Hold one more reference on the GL driver, so that destroying the window at the
    // end does not unload it: a driver unloaded before exit leaves allocations that
    // no tool can attribute, and a later window would have to load it again.
    static bool driverHeld = false;
    if (!driverHeld) driverHeld = SDL_GL_LoadLibrary(nullptr) == 0;
    // The frame code paces frames itself; the driver must not block on vsync.
    SDL_GL_SetSwapInterval(0);
    WatchDisplayConnection();
    return true;
}

void DestroyMainWindow() {
    if (g_context) {
        SDL_GL_MakeCurrent(g_window, nullptr);
        SDL_GL_DeleteContext(g_context);
        g_context = nullptr;
    }
    if (g_window) {
        SDL_DestroyWindow(g_window);
        g_window = nullptr;
    }
}

bool HasMainWindow() { return g_window != nullptr; }
bool HasGLContext() { return g_context != nullptr; }

void SetWindowTitle(const std::string& title) {
    if (g_window) SDL_SetWindowTitle(g_window, ToUtf8(title).c_str());
}

std::string GetWindowTitle() {
    if (!g_window) return std::string();
    // Back from UTF-8 to the runtime's 8-bit text.
    std::string out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(SDL_GetWindowTitle(g_window));
    while (s && *s) {
        if (*s >= 0xC0 && (s[1] & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F)));
            s += 2;
        } else {
            out.push_back(static_cast<char>(*s++));
        }
    }
    return out;
}

void GetClientSize(int* width, int* height) {
    int w = 0, h = 0;
    if (g_window) SDL_GL_GetDrawableSize(g_window, &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void GetWindowPosition(int* x, int* y) {
    int px = 0, py = 0;
    if (g_window) SDL_GetWindowPosition(g_window, &px, &py);
    if (x) *x = px;
    if (y) *y = py;
}

void ShowMainWindow(bool show) {
    if (!g_window) return;
    if (show) {
        SDL_ShowWindow(g_window);
        SDL_RaiseWindow(g_window);
    } else {
        SDL_HideWindow(g_window);
    }
}

void SwapWindowBuffers() {
    if (g_window && g_context) SDL_GL_SwapWindow(g_window);
}

void* GetGLProcAddress(const char* name) {
    if (!g_context || !name) return nullptr;
    return SDL_GL_GetProcAddress(name);
}

void GetScreenSize(int* width, int* height) {
    SDL_DisplayMode mode{};
    int w = 0, h = 0;
    if (g_videoStarted && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        w = mode.w;
        h = mode.h;
    }
    if (width) *width = w;
    if (height) *height = h;
}

int GetDesktopColorBits() {
    SDL_DisplayMode mode{};
    if (g_videoStarted && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
        if (bits > 0) return bits == 24 ? 32 : bits;
    }
    return 32;
}

bool IsSoftwareRenderer(const char* glRenderer) {
    if (!glRenderer) return false;
    static const char* const kSoftware[] = {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"};
    for (const char* name : kSoftware)
        if (std::strstr(glRenderer, name)) return true;
    return false;
}

void SetScreenSaverAllowed(bool allowed) {
    if (!g_videoStarted) return;
    if (allowed) SDL_EnableScreenSaver();
    else SDL_DisableScreenSaver();
}

void SetCursorVisible(bool visible) {
    if (!g_videoStarted) return;
    // Made once and kept for the whole run, like the class cursor; making one per
    // call would leak a cursor each time the program shows or hides it.
    if (!g_arrow) {
        g_arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
        if (g_arrow) SDL_SetCursor(g_arrow);
    }
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool ShowMessageBox(const std::string& caption, const std::string& text, bool warning) {
    // Without a display nothing can show the box; don't even try a helper program.
    if (g_displayLost) return false;
    const char* driver = g_videoStarted ? SDL_GetCurrentVideoDriver() : nullptr;
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) return false;
    Uint32 flags = warning ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
    return SDL_ShowSimpleMessageBox(flags, ToUtf8(caption).c_str(), ToUtf8(text).c_str(), nullptr) == 0;
}

bool EnvironmentFlag(const char* name) {
    const char* value = SDL_getenv(name);
    return value && *value && std::strcmp(value, "0") != 0;
}

int PumpPlatformEvents(WindowEventHandler handler) {
    if (!g_videoStarted) return 0;
    if (g_displayLost) {
        if (!g_displayLossHandled) EndAfterDisplayLoss();
        return 0;
    }
    int count = 0;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        ++count;
        // Hooks may be added or removed while they run; walk a copy.
        std::vector<RawEventHook> hooks = g_hooks;
        for (RawEventHook hook : hooks) hook(&ev);
        if (!handler) continue;
        if (ev.type == SDL_QUIT) {
            handler(WindowEvent::CloseRequested);
        } else if (ev.type == SDL_WINDOWEVENT) {
            switch (ev.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED: handler(WindowEvent::Activated); break;
            case SDL_WINDOWEVENT_FOCUS_LOST: handler(WindowEvent::Deactivated); break;
            case SDL_WINDOWEVENT_CLOSE: handler(WindowEvent::CloseRequested); break;
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_MOVED:
            case SDL_WINDOWEVENT_SIZE_CHANGED: handler(WindowEvent::Exposed); break;
            default: break;
            }
        }
    }
    if (g_displayLost && !g_displayLossHandled) EndAfterDisplayLoss();
    return count;
}

void PostWindowEvent(WindowEvent event) {
    if (!g_videoStarted) return;
    SDL_Event ev{};
    ev.type = SDL_WINDOWEVENT;
    ev.window.windowID = g_window ? SDL_GetWindowID(g_window) : 0;
    ev.window.timestamp = SDL_GetTicks();
    switch (event) {
    case WindowEvent::Activated: ev.window.event = SDL_WINDOWEVENT_FOCUS_GAINED; break;
    case WindowEvent::Deactivated: ev.window.event = SDL_WINDOWEVENT_FOCUS_LOST; break;
    case WindowEvent::CloseRequested: ev.window.event = SDL_WINDOWEVENT_CLOSE; break;
    case WindowEvent::Exposed: ev.window.event = SDL_WINDOWEVENT_EXPOSED; break;
    }
    SDL_PushEvent(&ev);
}

void AddRawEventHook(RawEventHook hook) {
    if (hook && std::find(g_hooks.begin(), g_hooks.end(), hook) == g_hooks.end()) g_hooks.push_back(hook);
}

void RemoveRawEventHook(RawEventHook hook) {
    g_hooks.erase(std::remove(g_hooks.begin(), g_hooks.end(), hook), g_hooks.end());
}

std::int64_t PerformanceCounter() { return static_cast<std::int64_t>(SDL_GetPerformanceCounter()); }

std::int64_t PerformanceFrequency() {
    Uint64 f = SDL_GetPerformanceFrequency();
    return f > static_cast<Uint64>(INT64_MAX) ? -1 : static_cast<std::int64_t>(f);
}

std::uint32_t TickMilliseconds() { return SDL_GetTicks(); }

void SleepMilliseconds(int ms) { SDL_Delay(ms > 0 ? static_cast<Uint32>(ms) : 0); }

void SleepMicroseconds(std::int64_t us) {
    if (us <= 0) return;
    timespec span{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    // A signal cuts the nap short; the callers read the clock afterwards anyway.
    nanosleep(&span, nullptr);
}

} // namespace corvane::platform
