// The engine layer as programs see it: the time source, number helpers, the drawing
// size, the error log's place and the error code. The plumbing subsystems share (the
// engine record as they read it, the log's writers, the calls up a layer) is in
// engine_internal.h, which is not installed.
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

// ---------------------------------------------------------------- the drawing size
int    SurfaceWidth();                      // drawing size in pixels (0 before start-up)
int    SurfaceHeight();

// ---------------------------------------------------------------- error log and stop position
std::string ErrorLogPath();                 // temporary directory + "<program name>.log"
void   PrintFailures(double on);            // the standard-error copy of failed loads and saves: on (1, the default) or off (0)
double SetErrorCode(double code);           // errorCode = code, endLine = currentLine
inline double SetErrorCode(ErrorCode code) { return SetErrorCode(ErrorNumber(code)); }
void   SetSourcePosition(double file, double line); // record the executing position

// ---------------------------------------------------------------- window messages
int    PumpMessages();                      // dispatch every pending window message; returns 1

} // namespace corvane
