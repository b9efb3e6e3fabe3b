// A runtime program that reports how far start-up got: with "first-frame" it
// reports right after the first frame is presented (start-up's cleared frame);
// otherwise when the user program starts, after the loading screen. It prints the
// monotonic clock in nanoseconds and leaves at once.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/frame/frame.h"

namespace {

bool g_reportFirstFrame = false;

[[noreturn]] void ReportAndLeave() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    std::fflush(stdout);
    std::_Exit(0);
}

} // namespace

// Interposes SDL's swap to see the first presented frame without touching the runtime.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
    using SwapFn = void (*)(SDL_Window*);
    static SwapFn real = reinterpret_cast<SwapFn>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    real(window);
    if (g_reportFirstFrame) ReportAndLeave();
}

namespace corvane {
int UserMain() { ReportAndLeave(); }
} // namespace corvane

int main(int argc, char** argv) {
    g_reportFirstFrame = argc > 1 && std::strcmp(argv[1], "first-frame") == 0;
    return corvane::RuntimeMain(nullptr, nullptr, "", 1);
}
