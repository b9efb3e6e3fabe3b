// Runtime frame: entry, start-up, the frame step, timing, waits and program end.
#pragma once

#include <string>

#include "runtime/frame/engine_state.h"

namespace corvane {

// ---------------------------------------------------------------- entry and start-up
int  RuntimeMain(void* instance, void* previousInstance, const char* commandLineText, int showCommand); // run the program; never returns
int  StartEngine(void* instance, void* previousInstance, const char* commandLineText, int showCommand, const char* applicationName); // window, context, subsystems, "Loading..."
int  InitRenderer(OpenGLRainbows& renderer, int width, int height, int colorBits, int framesPerSecond); // context, frame interval, extensions
void SetRuntimeDefaults();                  // 640 x 480, 60 fps, windowed, debug off, virtual mouse
int  UserMain();                            // the embedded user program (program/)

// ---------------------------------------------------------------- frame step and timing
void   PresentFrame();                      // show the frame, pace it, poll keys, prepare the next
double SwapAndWait(OpenGLRainbows& renderer); // swap, clear, dispatch, spin to the next slot; ms after the swap + 1
double AdvanceFrameSlot(double nextFrameTime, double frameInterval, double now); // next slot after a release at now
int    PumpMessages();                      // dispatch every pending window message; returns 1
void   HandleWindowEvent(int event);        // the window procedure (platform::WindowEvent)
void   SetFrameRate(double framesPerSecond);// frame interval 1000/n ms, 2 ms for n <= 0
void   SetFrameInterval(OpenGLRainbows& renderer, int framesPerSecond); // the renderer's form
double ElapsedMilliseconds();               // ms since the end of start-up
double FrameDuration();                     // ms since the previous frame, never <= 0
void   AllowEscape(double flag);            // Escape ends the program while flag != 0
void   IdleUntilInput();                    // one idle wait of the wait commands
void   WaitForKey();                        // wait for a key stroke
void   WaitForMouse();                      // wait for a new mouse-button press

// ---------------------------------------------------------------- program end and error log
std::string ErrorLogPath();                 // temporary directory + "ErrorLog.txt"
void   AppendErrorLog(const char* text);    // one line with CR LF; lost silently when the file cannot open
void   DeleteErrorLog();                    // start-up empties the log
[[noreturn]] void EndProgram();             // the one way out: releases everything, exits 0
double SetErrorCode(double code);           // errorCode = code, endLine = currentLine
void   SetSourcePosition(double file, double line); // record the executing position
[[noreturn]] void QuitProgram();            // SetErrorCode(0), then EndProgram
void   ProcessExitTeardown();               // the releases after exit(), in order
void   ReleaseRenderer(OpenGLRainbows& renderer); // texture slots freed (GL only while glReady), context released
std::string ProgramDirectory();             // the executable's directory, without the last separator

// ---------------------------------------------------------------- testing hooks
using TimeSourceFn = double (*)();
void SetTimeSourceForTesting(TimeSourceFn source); // replace NowMilliseconds' clock (null restores it)

} // namespace corvane
