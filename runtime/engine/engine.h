// The engine layer: the time source, number helpers, the error log, what subsystems
// read of the engine record and the ways out that every subsystem may take. It sits
// just above the platform seam; nothing here includes a subsystem's header.
#pragma once

#include <string>

#include "runtime/engine/error_codes.h"

namespace corvane {

// ---------------------------------------------------------------- time and numbers
double NowMilliseconds();                   // the one time source, ms

// A number of the language as an integer argument: truncated toward zero,
// saturated at the int range, NaN as 0.
inline int ToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(value);
}

// ---------------------------------------------------------------- the engine record, as subsystems read it
int    SurfaceWidth();                      // drawing size in pixels (0 before start-up)
int    SurfaceHeight();
void   SetSurfaceSize(int width, int height); // the drawing size 2D projects onto
int    ScreenSettingWidth();                // the client size start-up asks for
int    ScreenSettingHeight();
bool   ContextReady();                      // the GL context exists: GL names may be deleted
bool   DebugMode();                         // debug build: debug drawing, stop record
bool   EscapeEndsProgram();                 // AllowEscape's flag

// ---------------------------------------------------------------- error log and stop position
std::string ErrorLogPath();                 // temporary directory + "<program name>.log"
void   SetErrorLogProgram(const char* programName); // the program the log is named after (start-up: the executable's name)
void   AppendErrorLog(const char* text);    // one line with CR LF; lost silently when the file cannot open
void   DeleteErrorLog();                    // start-up empties the log
// A load or save that failed: "<command> "<file>": <reason>" appended to the log and
// printed on standard error (unless PrintFailures(0) or CORVANE_QUIET_FAILURES=1).
void   ReportFailure(const char* command, const char* fileName, const std::string& reason);
void   PrintFailures(double on);            // the standard-error copy of failed loads and saves: on (1, the default) or off (0)
double SetErrorCode(double code);           // errorCode = code, endLine = currentLine
inline double SetErrorCode(ErrorCode code) { return SetErrorCode(ErrorNumber(code)); }
std::string StopLine(double code, const char* reason); // "stopped: <reason> (error N)", then the source position when one is set
void   SetSourcePosition(double file, double line); // record the executing position

// ---------------------------------------------------------------- window messages
int    PumpMessages();                      // dispatch every pending window message; returns 1
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
