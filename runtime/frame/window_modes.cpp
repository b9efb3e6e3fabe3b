// Window modes: a captioned window of the program's size, or full screen with the
// display switched to exactly that size; hiding for a system dialog; the debugger
// breakpoint, which hides the window the same way.
#include <cstdint>
#include <cstdio>

#include "runtime/engine/engine_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"

namespace corvane {

namespace {

void ResetViewportIfDrawable() {
    // With the window gone (the exit teardown) there is nothing to draw into.
    if (platform::HasGLContext()) ResetViewport(0, 0, 0, 0);
}

// Lets the focus and visibility events of a hide/show arrive and be handled.
void SettleWindowEvents() {
    for (int i = 0; i < 5; ++i) {
        PumpMessages();
        platform::SleepMilliseconds(10);
    }
    PumpMessages();
}

} // namespace

int EnterWindowedMode() {
    if (engine.surface.isFullscreen) {
        platform::RestoreDesktopDisplayMode();
        // The display needs time to settle on the desktop mode.
        platform::SleepMilliseconds(500);
    } else {
        platform::RestoreDesktopDisplayMode();  // nothing unless a mode is still in force
    }
    if (platform::HasMainWindow()) platform::SetCaptionedWindow(engine.surface.width, engine.surface.height);
    ResetViewportIfDrawable();
    engine.surface.isFullscreen = 0;
    return 1;
}

int EnterFullscreenMode() {
    const int desktopBits = platform::GetDesktopColorBits();
    const int bits = (engine.surface.colorBits != 0 && engine.surface.colorBits != desktopBits) ? engine.surface.colorBits : 0;
    bool ok = platform::EnterFullscreenDisplayMode(engine.surface.width, engine.surface.height, bits);
    bool secondAttempt = false;
    if (!ok) {
        ok = platform::EnterFullscreenDisplayMode(engine.surface.width, engine.surface.height, 0);
        secondAttempt = true;
    }
    if (!ok) {
        AppendErrorLog("No Fullscreen Mode available");
        EnterWindowedMode();
        return 0;
    }
    if (secondAttempt) {
        engine.surface.colorBits = desktopBits;
        SetupPixelFormat();
    }
    platform::ShowAndRaiseWindow();
    ResetViewportIfDrawable();
    engine.surface.isFullscreen = 1;
    return 1;
}

int HideForDialog() {
    platform::HideWindowForDialog();
    engine.surface.isFullscreen = 0;
    return 1;
}

int RestoreStartupWindowMode() {
    return engine.fullscreen ? EnterFullscreenMode() : EnterWindowedMode();
}

std::string BreakpointText(double value) {
    // Lower-case hexadecimal of the 32-bit value, negative numbers as their bits.
    char text[16];
    std::snprintf(text, sizeof text, "BP%x", static_cast<std::uint32_t>(ToInt(value)));
    return text;
}

void DebugBreakpoint(double value) {
    if (!platform::DebuggerPresent()) return;
    std::string text = BreakpointText(value);
    platform::ShowMainWindow(false);
    platform::DebugOutput(text + "\n");
    platform::ShowAndRaiseWindow();
    // The focus changes of the hide and show are handled now, so that they cannot
    // pause the program after it was told to go on.
    SettleWindowEvents();
    engine.paused = 0;
    if (TheInput()) {
        PollKeyboard(*TheInput());
        TheInput()->newFrame = 1;
    }
}

} // namespace corvane
