// The renderer's construction and destruction.
#include "runtime/engine/renderer.h"

#include "runtime/gfx2d/gfx2d.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"

namespace corvane {

OpenGLRainbows::OpenGLRainbows() {
    std::int64_t frequency = platform::PerformanceFrequency();
    hasPerfCounter = frequency > 0 ? 1 : 0;
    perfFrequency = static_cast<double>(frequency);
}

OpenGLRainbows::~OpenGLRainbows() {
    // The process-exit teardown normally released everything already; this covers
    // a renderer destroyed without it.
    ReleaseRenderer(*this);
}

void ReleaseRenderer(OpenGLRainbows& renderer) {
    FreeAllSlots(renderer);
    renderer.glReady = 0;
    platform::RestoreDesktopDisplayMode();  // a full-screen mode never outlives the window
    platform::DestroyMainWindow();
}

} // namespace corvane
