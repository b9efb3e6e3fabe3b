// The frame step, the frame-rate limiter and the timing commands.
#include <GL/gl.h>

#include <algorithm>

#include "runtime/frame/frame.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/input_sound/sound_internal.h"
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
    FlushQuads();
    glFlush();
    platform::SwapWindowBuffers();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    double t0 = NowMilliseconds();
    PumpMessages();
    double t = t0;
    // Sleep, pumping messages between short naps, until shortly before the slot,
    // then spin the rest: the release stays exact to the time source's resolution
    // without holding a whole core for the length of every frame.
    while (engine.nextFrameTime >= t) {
        const double nap = std::min(kLongestNapMs, engine.nextFrameTime - t - kSpinMilliseconds);
        if (nap > 0.0) platform::SleepMicroseconds(static_cast<std::int64_t>(nap * 1000.0));
        PumpMessages();
        t = NowMilliseconds();
    }
    engine.nextFrameTime = AdvanceFrameSlot(engine.nextFrameTime, engine.frameInterval, t);
    return (t - t0) + 1.0;
}

void PresentFrame() {
    engine.previousFrameTime = engine.frameTime;
    engine.frameTime = NowMilliseconds();

    // Music that reached its end starts again.
    RestartFinishedMusic();

    // Programs started without waiting are collected once they end; none stays
    // behind as a zombie until the next program start.
    platform::ReapReleasedProcesses();

    // Frozen while the window is inactive, without using the processor.
    while (engine.paused) {
        PumpMessages();
        platform::SleepMilliseconds(100);
    }

    // Keyboard, and the keys that end the program.
    if (TheInput()) {
        PollKeyboard(*TheInput());
        TheInput()->newFrame = 1;
        if (engine.escapeEndsProgram && IsKeyDown(*TheInput(), KeyEscape)) EndFromKey();
        if (IsKeyDown(*TheInput(), KeyLeftAlt) && IsKeyDown(*TheInput(), KeyF4)) EndFromKey();
    }

    // The 2D quads drawn so far, then pending stencil shadows, go into the frame.
    FlushQuads();
    SetShadowPass(false);

    // Show the frame, then prepare the next one.
    SwapAndWait();
    glEnable(GL_BLEND);
    glDisable(GL_BLEND);
    SetDrawingAlpha(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // Background 0 goes in after the viewport reset, so that it covers the whole
    // surface under the 2D projection however the last frame left them.
    ResetViewport(0, 0, 0, 0);
    DrawBackground(0);
    SetTextureMipmap(0);
}

void SetFrameRate(double framesPerSecond) {
    // Truncated toward zero; below 1 the interval is 2 ms, never unlimited.
    SetFrameInterval(ToInt(framesPerSecond));
}

double ElapsedMilliseconds() { return NowMilliseconds() - engine.startTime; }

double FrameDuration() {
    double d = NowMilliseconds() - engine.previousFrameTime;
    return d > 0.0 ? d : 1.0;
}

void AllowEscape(double flag) { engine.escapeEndsProgram = flag != 0.0 ? 1 : 0; }

} // namespace corvane
