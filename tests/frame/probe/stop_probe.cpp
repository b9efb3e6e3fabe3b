// A user program run through the whole entry that ends in the way its command line
// names: a stop inside a command, a return with a status of its own, or EndProgram.
// Standard output goes nowhere, so what the test reads is standard error alone.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/values/rt_array.h"
#include "runtime/values/values.h"

namespace corvane {

int UserMain() {
    const std::string scenario = CommandLineText().Buffer();
    const char* file = std::getenv("STOP_PROBE_FILE");
    const RtString name = file ? file : "";
    RtArray numbers;
    DimArray(numbers, 3);
    SetSourcePosition(1, 42);
    if (scenario == "index") ArrayElement(numbers, 5) = 1;
    if (scenario == "undimensioned") {
        RtArray never;
        ArrayElement(never, 0) = 1;
    }
    SetSourcePosition(0, 0);
    if (scenario == "font") LoadFont(name, 0);
    if (scenario == "background") LoadBackground(name);
    if (scenario == "fade") FadeToBackground(name);
    if (scenario == "background-missing") LoadBackground("no-such-background.bmp");
    if (scenario == "end") EndProgram();
    if (scenario == "return3") return 3;
    PresentFrame();
    return 0;
}

} // namespace corvane

int main(int argc, char** argv) {
    if (!std::freopen("/dev/null", "w", stdout)) return 2;
    const std::string line = corvane::JoinCommandLine(argc, argv);
    return corvane::RuntimeMain(nullptr, nullptr, line.c_str(), 1);
}
