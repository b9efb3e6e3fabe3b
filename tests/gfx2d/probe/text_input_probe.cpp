// A runtime program for the end-to-end text-input test: a picture and a prompt,
// then InputText in the real window; the text received goes to standard output.
#include <cstdio>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

// SDL opens the system's D-Bus library under a real display; it keeps a buffer of
// its own to the process exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main() {
    SetRuntimeDefaults();
    StartEngine(nullptr, nullptr, "", 1, "text_input_probe");
    if (!engine.windowCreated) return 2;
    DrawRect(0, 0, 639, 479, 0x800000);   // the picture: dark blue
    PrintText(RtString("Name?"), 100, 180);
    std::printf("ready\n");
    std::fflush(stdout);
    RtString text;
    InputText(text, 100, 200);
    std::printf("text:[%s]\n", text.Buffer());
    std::fflush(stdout);
    EndProgram();
}
