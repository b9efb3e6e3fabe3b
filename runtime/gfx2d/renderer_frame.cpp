// The renderer's construction and destruction: the frame-owned part.
#include "runtime/gfx2d/renderer.h"

#include "runtime/frame/frame.h"
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

} // namespace corvane
