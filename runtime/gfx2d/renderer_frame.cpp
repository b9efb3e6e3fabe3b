// The renderer's construction and destruction.
#include "runtime/engine/renderer.h"

#include "runtime/gfx2d/gfx2d.h"
#include "runtime/platform/platform.h"

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
    // The window is always windowed here, so there is no desktop mode to restore.
    renderer.glReady = 0;
    platform::DestroyMainWindow();
}

} // namespace corvane
