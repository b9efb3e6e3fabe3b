// Benchmark support: the real engine started headless once per benchmark program.
#pragma once

#include <cstdlib>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"

namespace corvane::bench {

// Offscreen video and dummy audio unless the environment names drivers; false when
// no window with a GL context could be made.
inline bool StartEngineOnce(const char* appName) {
    static bool started = false;
    if (!started) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        SetRuntimeDefaults();
        StartEngine(nullptr, nullptr, "", 1, appName);
        started = engine.windowCreated;
    }
    return started;
}

} // namespace corvane::bench
