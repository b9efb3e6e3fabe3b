// A small program on the runtime that plays one scenario named on its command
// line, so tests can watch start-up and the program end as real processes.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/values/values.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

int main(int argc, char** argv) {
    std::string scenario = argc > 1 ? argv[1] : "normal";
    std::string appName = argc > 2 ? argv[2] : "frame_probe";
    commandLine = scenario.c_str();
    // Through the whole entry, as a program starts (a failed start ends there).
    if (scenario == "entry") return RuntimeMain(nullptr, nullptr, JoinCommandLine(argc, argv).c_str(), 1);
    SetRuntimeDefaults();
    if (scenario.rfind("debug", 0) == 0) engine.debugMode = 1;
    StartEngine(nullptr, nullptr, commandLine.Buffer(), 1, appName.c_str());
    if (!engine.windowCreated) return 2;

    if (scenario == "normal") {
        glClear(GL_COLOR_BUFFER_BIT);
        PresentFrame();
    } else if (scenario == "debug-quit") {
        SetSourcePosition(1, 42);
        QuitProgram();
    } else if (scenario == "debug-error3") {
        SetSourcePosition(2, 120);
        SetErrorCode(3);
        SetSourcePosition(2, 121);  // the stop was decided at line 120
        EndProgram();
    } else if (scenario == "close") {
        // The close request is handled inside the frame step, which ends the program.
        platform::PostWindowEvent(platform::WindowEvent::CloseRequested);
        for (int i = 0; i < 300; ++i) PresentFrame();
        return 3;
    } else if (scenario == "pause-close") {
        // A close while paused ends the program with the stop position untouched.
        engine.debugMode = 0;
        SetSourcePosition(5, 77);
        SetErrorCode(4);
        engine.debugMode = 1;  // only so that the stop record is written
        engine.paused = 1;
        platform::PostWindowEvent(platform::WindowEvent::CloseRequested);
        for (int i = 0; i < 300; ++i) PresentFrame();
        return 3;
    } else if (scenario == "frames") {
        // Frames shown in the first 1.5 s after start-up; a paused program shows none.
        int frames = 0;
        const double until = NowMilliseconds() + 1500.0;
        while (NowMilliseconds() < until) {
            PresentFrame();
            ++frames;
        }
        std::printf("frames=%d\n", frames);
        std::fflush(stdout);
    } else if (scenario == "wait") {
        // Stays up for a test that drives the window from outside (at most 60 s).
        double until = NowMilliseconds() + 60000.0;
        while (NowMilliseconds() < until) PresentFrame();
        return 4;
    }
    EndProgram();
}
