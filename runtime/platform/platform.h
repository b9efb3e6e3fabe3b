// The platform seam: every operating-system service the runtime uses, as plain
// functions. Only the files in runtime/platform/ include SDL, SDL_mixer or POSIX
// headers; everything above this header sees plain C++ types.
//
// Services are grouped by header; this one lists the window, GL, events, time and
// basic system services, and includes the others.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// ---------------------------------------------------------------- start and stop
bool InitVideo();                                   // start SDL's video and event subsystems; false when no driver works
void QuitVideo();                                   // stop SDL video (after the window is gone)

// ---------------------------------------------------------------- window and GL
struct WindowDesc {
    std::string title;                              // first title of the window
    int clientWidth = 640, clientHeight = 480;      // drawing area in pixels
    bool centred = true;                            // centre on the primary screen
};
bool CreateMainWindow(const WindowDesc& desc);      // window + GL compatibility context (depth 16, stencil 8, double buffer), made current
void DestroyMainWindow();                           // context and window released; safe to call twice
bool HasMainWindow();                               // the window exists
bool HasGLContext();                                // a GL context is current on the window
void SetWindowTitle(const std::string& title);      // window caption
std::string GetWindowTitle();                       // window caption as the window has it
void GetClientSize(int* width, int* height);        // drawing area in pixels
void GetWindowPosition(int* x, int* y);             // top-left corner of the window on the screen
void ShowMainWindow(bool show);                     // show or hide
void SwapWindowBuffers();                           // present the back buffer
void* GetGLProcAddress(const char* name);           // extension entry point, null when absent
void GetScreenSize(int* width, int* height);        // size of the primary display (desktop mode)
int  GetDesktopColorBits();                         // bits per pixel of the desktop
bool IsSoftwareRenderer(const char* glRenderer);    // the GL_RENDERER string names a software rasteriser
void SetScreenSaverAllowed(bool allowed);           // the screen saver may run
void SetCursorVisible(bool visible);                // show the arrow cursor over the window

// Shows a message box; returns at once (false) where no display can show it.
bool ShowMessageBox(const std::string& caption, const std::string& text, bool warning);

// An environment variable used as a switch: set, not empty and not "0".
bool EnvironmentFlag(const char* name);

// ---------------------------------------------------------------- events
enum class WindowEvent { Activated, Deactivated, CloseRequested, Exposed };
using WindowEventHandler = void (*)(WindowEvent);

// Dispatches every pending event: window events go to the handler, every event
// also goes to the event hooks the input and other platform services registered.
// Returns the number of events handled.
int PumpPlatformEvents(WindowEventHandler handler);

// The connection to the display died (the X server went away). The next pump then
// calls the handler, which ends the program (or the pump exits with status 1); from
// the loss on, window and GL calls do nothing and the process ends within 2 s.
using DisplayLostHandler = void (*)();
void SetDisplayLostHandler(DisplayLostHandler handler); // what ends the program once the display is lost
bool DisplayLost();                                 // the display connection died

// Pushes a window event into the queue, as the system would (tests, the pump).
void PostWindowEvent(WindowEvent event);

// Platform services (input, ...) watch raw events through hooks; the event is the
// SDL event, passed as an opaque pointer so that no SDL type leaves the platform.
using RawEventHook = void (*)(const void* sdlEvent);
void AddRawEventHook(RawEventHook hook);            // called for every event the pump takes
void RemoveRawEventHook(RawEventHook hook);         // stop watching

// ---------------------------------------------------------------- time
std::int64_t PerformanceCounter();                  // high-resolution tick count
std::int64_t PerformanceFrequency();                // ticks per second, <= 0 when unusable
std::uint32_t TickMilliseconds();                   // milliseconds since start, wraps after 49.7 days
void SleepMilliseconds(int ms);                     // block the thread
void SleepMicroseconds(std::int64_t us);            // block the thread for a finer span

// ---------------------------------------------------------------- system basics (files and folders: platform_files.h)
std::string ModulePath();                           // full path of the running executable
void DebugOutput(const std::string& text);          // debugger output (standard error)
bool DebuggerPresent();                             // a tracer is attached

} // namespace corvane::platform

// Services that the subsystems add, one header each.
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_input.h"
#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_dynlib.h"
