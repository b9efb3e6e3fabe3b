// The engine record, the process-wide globals and the time source.
#include "runtime/engine/engine_state.h"

#include "runtime/engine/testing.h"
#include "runtime/platform/platform.h"

namespace corvane {

EngineState engine;
unsigned char escapeEndsProgram = 1;

namespace {
TimeSourceFn g_timeSource = nullptr;
} // namespace

void SetTimeSourceForTesting(TimeSourceFn source) { g_timeSource = source; }

double NowMilliseconds() {
    if (g_timeSource) return g_timeSource();
    const OpenGLRainbows& r = engine.renderer;
    if (r.hasPerfCounter)
        return static_cast<double>(platform::PerformanceCounter()) * 1000.0 / r.perfFrequency;
    return static_cast<double>(platform::TickMilliseconds());
}

} // namespace corvane
