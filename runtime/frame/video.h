// Full-window video: the fit of a picture into the window, and a hook for tests.
#pragma once

namespace corvane {

struct VideoFit {
    int x = 0, y = 0, width = 0, height = 0;        // destination in window pixels, top-left origin
};

// The largest size of the picture's shape that fits the client area (floating
// scale, size truncated), centred by integer division. A picture without a size
// fits nowhere (all zero).
VideoFit FitVideo(int clientWidth, int clientHeight, int videoWidth, int videoHeight);

// Called with the playing time (ms) just before each picture is swapped to the
// screen, while the back buffer holds it. Null removes it.
using VideoSwapHook = void (*)(double playingMs);
void SetVideoSwapHookForTesting(VideoSwapHook hook);

} // namespace corvane
