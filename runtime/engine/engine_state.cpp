// The engine record, the process-wide globals and the time source.
#include "runtime/engine/engine_state.h"

#include <cstdlib>

#include "runtime/engine/engine.h"

#include "runtime/engine/testing.h"
#include "runtime/platform/platform.h"

namespace corvane {

EngineState engine;
unsigned char escapeEndsProgram = 1;

namespace {
TimeSourceFn g_timeSource = nullptr;
UpwardCalls g_upward;
} // namespace

UpwardCalls& Upward() { return g_upward; }

void UpEndProgram() {
    if (g_upward.endProgram) g_upward.endProgram();
    std::exit(0);  // before start-up there is nothing to release
}

void UpStopProgram(double code, const char* reason) {
    if (g_upward.stopProgram) g_upward.stopProgram(code, reason);
    SetErrorCode(code);
    std::exit(1);
}

void UpPresentFrame() {
    if (g_upward.presentFrame) g_upward.presentFrame();
}

double UpSwapAndWait() { return g_upward.swapAndWait ? g_upward.swapAndWait() : 1.0; }

void UpSetShadowPass(bool on) {
    if (g_upward.setShadowPass) g_upward.setShadowPass(on);
}

void SetTimeSourceForTesting(TimeSourceFn source) { g_timeSource = source; }

double NowMilliseconds() {
    if (g_timeSource) return g_timeSource();
    const OpenGLRainbows& r = engine.renderer;
    if (r.hasPerfCounter)
        return static_cast<double>(platform::PerformanceCounter()) * 1000.0 / r.perfFrequency;
    return static_cast<double>(platform::TickMilliseconds());
}

} // namespace corvane
