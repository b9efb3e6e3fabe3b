// The window procedure and the message pump, over the platform's events.
#include <string>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {

void WindowEventThunk(platform::WindowEvent event) { HandleWindowEvent(static_cast<int>(event)); }

} // namespace

void HandleWindowEvent(int event) {
    switch (static_cast<platform::WindowEvent>(event)) {
    case platform::WindowEvent::Activated:
        platform::SetScreenSaverAllowed(false);
        if (!engine.debugMode) {
            platform::SetWindowTitle(engine.appName.c_str());
            engine.paused = 0;
        }
        break;
    case platform::WindowEvent::Deactivated:
        platform::SetScreenSaverAllowed(true);
        if (!engine.debugMode) {
            std::string title = engine.appName + " <pause>";
            platform::SetWindowTitle(title.c_str());
            engine.paused = 1;
        }
        break;
    case platform::WindowEvent::CloseRequested:
        // The close box ends the program with the stop position as it is.
        UpEndProgram();
    case platform::WindowEvent::Exposed:
        break;
    }
}

int PumpMessages() {
    platform::PumpPlatformEvents(WindowEventThunk);
    return 1;
}

} // namespace corvane
