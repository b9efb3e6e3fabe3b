// The program end and the error log: every way out of a program comes here.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/engine/engine_internal.h"
#include "runtime/frame/dll_binding.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/net/net_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

void AppendNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    AppendErrorLog(text);
}

[[noreturn]] void EndWithStatus(int status);

// The ways out are in the upward table from the first instruction on: a stop before
// start-up (or in a process that never starts the engine) still ends here.
const bool kEndInstalled = [] {
    Upward().endProgram = EndProgram;
    Upward().stopProgram = StopProgram;
    return true;
}();

} // namespace

void QuitProgram() {
    SetErrorCode(ErrorCode::None);
    EndProgram();
}

void EndProgram() { EndWithStatus(0); }

void EndProgramWithStatus(int status) { EndWithStatus(status); }

void StopProgram(double code, const char* reason) {
    SetErrorCode(code);
    // Said before anything is released, so a teardown that fails cannot swallow it;
    // a stop is a failure, so the exit status says so too.
    const std::string line = StopLine(code, reason);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    AppendErrorLog(line.c_str());
    EndWithStatus(1);
}

void EndAfterDisplayLost() {
    AppendErrorLog("Display lost");
    // The window and its context went with the display: nothing may touch them.
    engine.surface.glReady = 0;
    EndWithStatus(1);
}

namespace {

void EndWithStatus(int status) {
    // A release step that fails fatally must not start a second end.
    static bool ending = false;
    if (ending) {
        // Exits at once, but never leaves the display in a full-screen mode.
        platform::RestoreDesktopDisplayMode();
        std::_Exit(status);
    }
    ending = true;

    // Music and a playing video stop; an open file dialog goes away.
    StopMusic();
    StopVideoPlayback();
    CloseFileDialog();

    // The stop record of a debug build.
    if (engine.debugMode) {
        AppendErrorLog("-End On Line");
        AppendNumber(engine.errorCode);
        AppendNumber(engine.endLine - 1.0);
        AppendNumber(engine.currentLine);
        AppendNumber(engine.currentSourceFile);
    }

    // Input.
    if (TheInput()) {
        ReleaseInput(*TheInput());
        DestroyInputRecord();
    }

    // Sound slots from the last to the first, then the sound device.
    DestroySoundSlots();
    ReleaseSoundDevice();

    // Network peers are told goodbye.
    ReleaseNetwork();

    // Temporary media files.
    ReleaseMediaContexts();

    // The window goes; the renderer's textures can no longer be deleted through GL.
    engine.surface.glReady = 0;
    platform::RestoreDesktopDisplayMode();
    platform::DestroyMainWindow();
    engine.windowCreated = false;
    std::exit(status);
}

} // namespace

void ProcessExitTeardown() {
    // Static objects of the program, in order.
    std::string().swap(engine.appName);
    ReleaseAllObjectSlots(TheScene()); // GL names only while glReady
    // The desktop's display mode comes back, even with the window already gone.
    EnterWindowedMode();
    ReleaseRenderer();

    // The runtime globals, in order.
    commandLine.Destroy();
    IniSaveAtExit();
    FlushLineFile();
    FreeLoadedModules();
    // SDL's video subsystem is left to the process exit: quitting it unloads the GL
    // driver, whose own allocations would then show up as unattributable leaks.
}


} // namespace corvane
