// The frame step, the frame-rate limiter and the timing commands.
#include <GL/gl.h>

#include <algorithm>

#include "runtime/frame/frame.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/gfx3d/gfx3d.h"
#include "runtime/input_sound/input.h"
#include "runtime/input_sound/sound.h"
#include "runtime/platform/platform.h"

namespace corvane {

namespace {

// The limiter's last stretch before a slot is spun, not slept: a nap may overrun
// by a fraction of a millisecond. Naps are short so messages are still pumped often.
constexpr double kSpinMilliseconds = 1.5;
constexpr double kLongestNapMs = 4.0;

// Ending through a key: a normal stop at the current line.
[[maybe_unused, noreturn]] void EndFromKey() {
    engine.errorCode = 0.0;
    engine.endLine = engine.currentLine;
    EndProgram();
}

} // namespace

double AdvanceFrameSlot(double nextFrameTime, double frameInterval, double now) {
    nextFrameTime += frameInterval;
    if (frameInterval > 0.0) {
        // A late frame drops the slots it missed instead of running fast to catch up.
        while (now > nextFrameTime) nextFrameTime += frameInterval;
    }
    return nextFrameTime;
}

double SwapAndWait() {
    OpenGLRainbows& renderer = engine.renderer;
    glFlush();
    platform::SwapWindowBuffers();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    double t0 = NowMilliseconds();
    PumpMessages();
    double t = t0;
    // Sleep, pumping messages between short naps, until shortly before the slot,
    // then spin the rest: the release stays exact to the time source's resolution
    // without holding a whole core for the length of every frame.
    while (renderer.nextFrameTime >= t) {
        const double nap = std::min(kLongestNapMs, renderer.nextFrameTime - t - kSpinMilliseconds);
        if (nap > 0.0) platform::SleepMicroseconds(static_cast<std::int64_t>(nap * 1000.0));
        PumpMessages();
        t = NowMilliseconds();
    }
    renderer.nextFrameTime = AdvanceFrameSlot(renderer.nextFrameTime, renderer.frameInterval, t);
    return (t - t0) + 1.0;
}

void PresentFrame() {
    engine.previousFrameTime = engine.frameTime;
    engine.frameTime = NowMilliseconds();

    // 2. Music that reached its end starts again.
    RestartFinishedMusic();

    // Programs started without waiting are collected once they end; none stays
    // behind as a zombie until the next program start.
    platform::ReapReleasedProcesses();

    // 3. Frozen while the window is inactive, without using the processor.
    while (engine.paused) {
        PumpMessages();
        platform::SleepMilliseconds(100);
    }

    // 4-6. Keyboard, and the keys that end the program.
    if (engine.input) {
        PollKeyboard(*engine.input);
        engine.input->newFrame = 1;
        if (escapeEndsProgram && IsKeyDown(*engine.input, KeyEscape)) EndFromKey();
        if (IsKeyDown(*engine.input, KeyLeftAlt) && IsKeyDown(*engine.input, KeyF4)) EndFromKey();
    }

    // 7. Pending stencil shadows are drawn into the frame.
    SetShadowPass(false);

    // 8. Show the frame, then prepare the next one.
    SwapAndWait();
    glEnable(GL_BLEND);
    glDisable(GL_BLEND);
    engine.renderer.currentAlpha = 1.0f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // Background 0 goes in after the viewport reset, so that it covers the whole
    // surface under the 2D projection however the last frame left them.
    ResetViewport(0, 0, 0, 0);
    DrawBackground(engine.renderer, 0);
    SetTextureMipmap(0);
}

void SetFrameRate(double framesPerSecond) {
    // Truncated toward zero; below 1 the interval is 2 ms, never unlimited.
    SetFrameInterval(engine.renderer, ToInt(framesPerSecond));
}

double ElapsedMilliseconds() { return NowMilliseconds() - engine.startTime; }

double FrameDuration() {
    double d = NowMilliseconds() - engine.previousFrameTime;
    return d > 0.0 ? d : 1.0;
}

void AllowEscape(double flag) { escapeEndsProgram = flag != 0.0 ? 1 : 0; }

} // namespace corvane
