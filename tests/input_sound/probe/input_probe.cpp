// A runtime program for the end-to-end input test: it echoes a typed line, then
// waits for a mouse click, reporting each on standard output.
#include <cstdio>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/input_sound/input_internal.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

// Under a real X display SDL opens the system's D-Bus library, which keeps a
// buffer of its own to the process exit. Only that library is excused from the
// leak check of sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main() {
    SetRuntimeDefaults();
    StartEngine(nullptr, nullptr, "", 1, "input_probe");
    if (!engine.windowCreated) return 2;
    std::printf("ready relative:%d\n", TheInput() && TheInput()->mouseDevice ? 1 : 0);
    std::fflush(stdout);

    // Everything the user types up to Enter, at most 40 seconds.
    std::string line;
    double until = NowMilliseconds() + 40000.0;
    while (NowMilliseconds() < until) {
        PresentFrame();
        std::string typed = InKey().Buffer();
        if (typed == "\n") break;
        line += typed;
    }
    std::printf("typed:[%s]\n", line.c_str());
    std::fflush(stdout);

    WaitForMouse();
    double x, y, left, right;
    MouseState(x, y, left, right);
    std::printf("clicked:%d\n", static_cast<int>(left + 2 * right));
    std::fflush(stdout);
    EndProgram();
}
