// The engine layer: the record, the time source, the error log and the ways out that
// every subsystem may take. It sits just above the platform seam; nothing here
// includes a subsystem's header.
#pragma once

#include <string>

#include "runtime/engine/engine_state.h"

namespace corvane {

// ---------------------------------------------------------------- error log and stop position
std::string ErrorLogPath();                 // temporary directory + "<program name>.log"
void   SetErrorLogProgram(const char* programName); // the program the log is named after (start-up: the executable's name)
void   AppendErrorLog(const char* text);    // one line with CR LF; lost silently when the file cannot open
void   DeleteErrorLog();                    // start-up empties the log
double SetErrorCode(double code);           // errorCode = code, endLine = currentLine
std::string StopLine(double code, const char* reason); // "stopped: <reason> (error N)", then the source position when one is set
void   SetSourcePosition(double file, double line); // record the executing position

// ---------------------------------------------------------------- window messages
int    PumpMessages();                      // dispatch every pending window message; returns 1
void   HandleWindowEvent(int event);        // the window procedure (platform::WindowEvent)

// ---------------------------------------------------------------- ways out and the frame (defined by runtime/frame/)
// A subsystem stops the program, or runs a modal loop of frames, through these; the
// top layer defines them, so no subsystem includes it.
[[noreturn]] void EndProgram();             // the one way out: releases everything, exits 0
[[noreturn]] void QuitProgram();            // SetErrorCode(0), then EndProgram
// A stop: an error the program cannot go on from. SetErrorCode(code), the stop line on
// standard error and in the log (whatever the mode), then the end with exit status 1.
[[noreturn]] void StopProgram(double code, const char* reason);
void   PresentFrame();                      // show the frame, pace it, poll keys, prepare the next
double SwapAndWait(OpenGLRainbows& renderer); // swap, clear, dispatch, spin to the next slot; ms after the swap + 1

// ---------------------------------------------------------------- the stencil shadow pass (defined by runtime/gfx3d/)
// The 2D viewport commands end a pending pass before the viewport changes; the
// 3D scene defines it so that 2D need not include the 3D subsystem.
void   SetShadowPass(bool on);              // opens or closes the pass; nothing when unchanged

} // namespace corvane
