// A runtime program that reports when its first frame (the loading screen) has
// been presented: the user program starts right after it. It prints the
// monotonic clock in nanoseconds and leaves at once.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "runtime/frame/frame.h"

namespace corvane {
int UserMain() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    std::fflush(stdout);
    std::_Exit(0);
}
} // namespace corvane

int main() { return corvane::RuntimeMain(nullptr, nullptr, "", 1); }
