// Runtime frame, the top layer: entry, the start-up order, the frame step, timing and
// the program end. It includes the subsystems; no subsystem includes it.
//
// On a software OpenGL (no GPU driver: containers, virtual machines, CI) start-up shows
// a warning box and writes "OpenGL Software Emulation" to the log; the environment
// variable CORVANE_NO_SOFTWARE_GL_BOX=1 turns the box off (the log line stays). After
// the box closes, the program's window gets the focus back, so it does not start paused.
#pragma once

#include <string>

#include "runtime/engine/engine.h"
#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- program settings
// What the window is like when it opens. A program that wants other than the defaults
// defines the hook ProgramSettings; the process entry calls it before start-up:
//     void corvane::ProgramSettings(Settings& s) { s.width = 1280; s.height = 720; s.title = "My game"; }
struct Settings {
    int width = 640;                        // client width in pixels (values below 1: 640)
    int height = 480;                       // client height in pixels (values below 1: 480)
    std::string title;                      // window title; empty: the executable's name
    bool fullscreen = false;                // start in the full-screen display mode of width x height
    int frameRate = 60;                     // frame-rate limit, as SetFrameRate (0 or less: 500 a second)
};
void ProgramSettings(Settings& settings);   // your hook, optional: fill in settings before the window opens

// ---------------------------------------------------------------- the program
int  UserMain();                            // the program itself (yours, or the player in program/); its result is the exit status

// ---------------------------------------------------------------- frame step and timing
void   PresentFrame();                      // show the frame, pace it, poll keys, prepare the next
double SwapAndWait();                       // swap, clear, dispatch, spin to the next slot; ms after the swap + 1
void   SetFrameRate(double framesPerSecond);// frame interval 1000/n ms, 2 ms for n <= 0
double ElapsedMilliseconds();               // ms since the end of start-up
double FrameDuration();                     // ms since the previous frame, never <= 0
void   AllowEscape(double flag);            // Escape ends the program while flag != 0

// ---------------------------------------------------------------- program end (the error log: runtime/engine/engine.h)
[[noreturn]] void EndProgram();             // the one way out: releases everything, exits 0
[[noreturn]] void QuitProgram();            // SetErrorCode(0), then EndProgram
// A stop: an error the program cannot go on from. SetErrorCode(code), the stop line on
// standard error and in the log (whatever the mode), then the end with exit status 1.
[[noreturn]] void StopProgram(double code, const char* reason);
RtString ProgramDirectory();                // the executable's directory, without the last separator

// ---------------------------------------------------------------- window modes, dialogs, video
RtString FileDialog(double openFlag, const RtString& filter); // chosen path with "/" separators, or "NO_FILE"
void PlayVideo(const RtString& fileName);           // full-window video (AVI, MP4/MOV, MKV/WebM, OGG, MPEG), looped until a key or button
void PlayVideoOnce(const RtString& fileName);       // full-window video until its end, a key or a button
void DebugBreakpoint(double value);                 // with a tracer attached: "BP<hex>" on standard error


} // namespace corvane
