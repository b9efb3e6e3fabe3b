// A runtime program that reports how far start-up got: with "first-frame" it
// reports right after the first frame is presented (start-up's cleared frame);
// with "main" as soon as main runs (what loading and relocating the program and
// its libraries cost); otherwise when the user program starts, after the loading
// screen. It prints the
// monotonic clock in nanoseconds and its resident memory in KiB, and leaves at once.
// With "video FILE" the user program plays FILE twice and prints how long each
// call took to show its first picture, in ms of wall time, then in ms of the
// process's processor time.
#include <SDL.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/frame/frame_internal.h"
#include "runtime/frame/video.h"

namespace {

bool g_reportFirstFrame = false;
const char* g_video = nullptr;

double g_callStart = 0.0, g_callCpuStart = 0.0;
double g_firstPicture = -1.0, g_firstPictureCpu = -1.0;

double ProcessCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

[[noreturn]] void ReportAndLeave() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld %ld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec, ResidentKiB());
    std::fflush(stdout);
    std::_Exit(0);
}

void OnPicture(double) {
    if (g_firstPicture >= 0) return;
    g_firstPicture = corvane::NowMilliseconds() - g_callStart;
    g_firstPictureCpu = ProcessCpuMs() - g_callCpuStart;
}

// Milliseconds from the call to its first picture; negative when none came.
double FirstPictureOf(const char* file) {
    g_firstPicture = -1.0;
    corvane::SetVideoSwapHookForTesting(OnPicture);
    g_callCpuStart = ProcessCpuMs();
    g_callStart = corvane::NowMilliseconds();
    corvane::PlayVideoOnce(corvane::RtString(file));
    corvane::SetVideoSwapHookForTesting(nullptr);
    return g_firstPicture;
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
int UserMain() {
    if (!g_video) ReportAndLeave();
    double first = FirstPictureOf(g_video);
    double firstCpu = g_firstPictureCpu;
    double second = FirstPictureOf(g_video);
    std::printf("%.3f %.3f %.3f %.3f\n", first, second, firstCpu, g_firstPictureCpu);
    std::fflush(stdout);
    std::_Exit(first >= 0 && second >= 0 ? 0 : 1);
}
} // namespace corvane

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "main") == 0) ReportAndLeave();
    g_reportFirstFrame = argc > 1 && std::strcmp(argv[1], "first-frame") == 0;
    if (argc > 2 && std::strcmp(argv[1], "video") == 0) g_video = argv[2];
    return corvane::RuntimeMain(nullptr, nullptr, "", 1);
}
