// The engine record, the process-wide globals and the time source.
#include "runtime/engine/engine_state.h"

#include <cstdint>
#include <cstdlib>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/surface.h"

#include "runtime/engine/testing.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"

namespace corvane {

EngineState engine;

EngineState::EngineState() {
    std::int64_t frequency = platform::PerformanceFrequency();
    hasPerfCounter = frequency > 0 ? 1 : 0;
    perfFrequency = static_cast<double>(frequency);
}

EngineState::~EngineState() {
    // The process-exit teardown normally closed the window already; this covers a
    // process that ended without it.
    surface.glReady = 0;
    platform::RestoreDesktopDisplayMode();  // a full-screen mode never outlives the window
    platform::DestroyMainWindow();
}

int SurfaceWidth() { return engine.surface.width; }
int SurfaceHeight() { return engine.surface.height; }
void SetSurfaceSize(int width, int height) {
    engine.surface.width = width;
    engine.surface.height = height;
}
int ScreenSettingWidth() { return engine.screenWidth; }
int ScreenSettingHeight() { return engine.screenHeight; }
bool ContextReady() { return engine.surface.glReady != 0; }
const GLExtensions& GLEntryPoints() { return engine.surface.ext; }
bool DebugMode() { return engine.debugMode != 0; }
bool EscapeEndsProgram() { return engine.escapeEndsProgram != 0; }

namespace {
TimeSourceFn g_timeSource = nullptr;
UpwardCalls g_upward;
} // namespace

UpwardCalls& Upward() { return g_upward; }

void UpEndProgram() {
    if (g_upward.endProgram) g_upward.endProgram();
    std::exit(0);  // before start-up there is nothing to release
}

void UpStopProgram(ErrorCode code, const char* reason) {
    if (g_upward.stopProgram) g_upward.stopProgram(ErrorNumber(code), reason);
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
    if (engine.hasPerfCounter)
        return static_cast<double>(platform::PerformanceCounter()) * 1000.0 / engine.perfFrequency;
    return static_cast<double>(platform::TickMilliseconds());
}

} // namespace corvane
