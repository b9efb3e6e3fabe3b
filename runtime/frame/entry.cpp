// Runtime entry: defaults, start-up, the user program, the end.
#include <cstdlib>
#include <string>

#include "runtime/engine/engine_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/values/values.h"
#include "runtime/platform/platform.h"

namespace corvane {

// The application name, the window's title: the executable's file name, so the
// music player is "fmod_player" and a program of one's own carries its own name.
static std::string ApplicationName() {
    const std::string path = platform::ModulePath();
    const std::string::size_type slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.empty() ? "Corvane" : name;
}

static Settings& ChosenSettings() {
    static Settings settings;
    return settings;
}

void UseSettings(const Settings& settings) { ChosenSettings() = settings; }

int RuntimeMain(void* instance, void* previousInstance, const char* commandLineText, int showCommand) {
    commandLine = commandLineText ? commandLineText : "";
    SetRuntimeDefaults();
    const Settings& chosen = ChosenSettings();
    if (chosen.width > 0 && chosen.height > 0) {
        engine.screenWidth = chosen.width;
        engine.screenHeight = chosen.height;
    }
    engine.fullscreen = chosen.fullscreen ? 1 : 0;
    engine.frameRate = chosen.frameRate;
    // The executable's name names the log, whatever the window is titled.
    StartEngine(instance, previousInstance, commandLine.Buffer(), showCommand, ApplicationName().c_str());
    if (!engine.windowCreated) {
        // Every command expects the window and its context; running the program
        // without them would crash it. This is a failed start, not a normal end,
        // so the exit status says so.
        platform::DebugOutput("Corvane: no window with an OpenGL context could be created\n");
        // The start never reached the step that empties the log; an old run's
        // lines must not pass for this one's.
        DeleteErrorLog();
        AppendErrorLog("No Window");
        std::exit(1);
    }
    if (!chosen.title.empty()) {
        engine.appName = chosen.title;
        platform::SetWindowTitle((engine.paused ? engine.appName + " <pause>" : engine.appName).c_str());
    }
    engine.endLine = 0.0;
    engine.errorCode = 0.0;
    engine.currentLine = 0.0;
    // UserMain's result is the exit status; 0, the usual return, is a normal end.
    EndProgramWithStatus(UserMain());
}

} // namespace corvane
