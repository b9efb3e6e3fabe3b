// Engine plumbing every subsystem may use: the engine record as subsystems read it,
// the error log's writers, the window procedure and the table of calls up a layer.
// It sits just above the platform seam; nothing here includes a subsystem's header.
// Not installed: programs see engine.h.
#pragma once

#include <string>

#include "runtime/engine/engine.h"
#include "runtime/engine/error_codes.h"

namespace corvane {

// ---------------------------------------------------------------- the engine record, as subsystems read it
void   SetSurfaceSize(int width, int height); // the drawing size 2D projects onto
int    ScreenSettingWidth();                // the client size start-up asks for
int    ScreenSettingHeight();
bool   ContextReady();                      // the GL context exists: GL names may be deleted
bool   DebugMode();                         // debug build: debug drawing, stop record
bool   EscapeEndsProgram();                 // AllowEscape's flag

// ---------------------------------------------------------------- error log
void   SetErrorLogProgram(const char* programName); // the program the log is named after (start-up: the executable's name)
void   AppendErrorLog(const char* text);    // one line with CR LF; lost silently when the file cannot open
void   DeleteErrorLog();                    // start-up empties the log
// A load or save that failed: "<command> "<file>": <reason>" appended to the log and
// printed on standard error (unless PrintFailures(0) or CORVANE_QUIET_FAILURES=1).
void   ReportFailure(const char* command, const char* fileName, const std::string& reason);
std::string StopLine(double code, const char* reason); // "stopped: <reason> (error N)", then the source position when one is set

// ---------------------------------------------------------------- window messages
void   HandleWindowEvent(int event);        // the window procedure (platform::WindowEvent)

// ---------------------------------------------------------------- calls up a layer
// A lower layer that must end the program, show a frame or end the stencil shadow
// pass calls through this table; frame/ and gfx3d/ fill it in at start-up, so no
// lower header declares what a higher layer defines. Until then the calls do the
// least they can: the end exits with status 0, the others do nothing.
struct UpwardCalls {
    void (*endProgram)() = nullptr;         // EndProgram: releases everything, exits 0
    void (*stopProgram)(double code, const char* reason) = nullptr; // StopProgram: the stop line, then the end with status 1
    void (*presentFrame)() = nullptr;       // PresentFrame: show, pace, poll keys, prepare the next
    double (*swapAndWait)() = nullptr;      // SwapAndWait: swap, clear, dispatch, spin to the next slot
    void (*setShadowPass)(bool on) = nullptr; // SetShadowPass: opens or closes the pass
};
UpwardCalls& Upward();                      // the one table
[[noreturn]] void UpEndProgram();           // the end, from a subsystem (the close box, Escape)
// A stop: an error the program cannot go on from. SetErrorCode(code), the stop line on
// standard error and in the log (whatever the mode), then the end with exit status 1.
[[noreturn]] void UpStopProgram(ErrorCode code, const char* reason);
void   UpPresentFrame();                    // a frame of a modal command
double UpSwapAndWait();                     // a frame shown without the frame step; 1 before start-up
void   UpSetShadowPass(bool on);            // 2D ends a pending pass before the viewport changes

} // namespace corvane
