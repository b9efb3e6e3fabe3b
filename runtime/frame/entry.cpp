// Runtime entry: defaults, start-up, the user program, the end.
#include <cstdlib>

#include "runtime/frame/frame.h"
#include "runtime/values/files.h"
#include "runtime/platform/platform.h"

namespace corvane {

int RuntimeMain(void* instance, void* previousInstance, const char* commandLineText, int showCommand) {
    commandLine = commandLineText ? commandLineText : "";
    SetRuntimeDefaults();
    StartEngine(instance, previousInstance, commandLine.Buffer(), showCommand, "fmod_player");
    if (!engine.windowCreated) {
        // Every command expects the window and its context; running the program
        // without them would crash it. This is a failed start, not a normal end,
        // so the exit status says so.
        platform::DebugOutput("Corvane: no window with an OpenGL context could be created\n");
        AppendErrorLog("No Window");
        std::exit(1);
    }
    engine.endLine = 0.0;
    engine.errorCode = 0.0;
    engine.currentLine = 0.0;
    UserMain();
    EndProgram();
}

} // namespace corvane
