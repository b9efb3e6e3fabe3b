// Runtime frame, the top layer: entry, the start-up order, the frame step, timing and
// the program end. It includes the subsystems; no subsystem includes it.
#pragma once

#include <string>

#include "runtime/engine/engine.h"

namespace corvane {

// ---------------------------------------------------------------- entry and start-up
int  RuntimeMain(void* instance, void* previousInstance, const char* commandLineText, int showCommand); // run the program; never returns
int  StartEngine(void* instance, void* previousInstance, const char* commandLineText, int showCommand, const char* applicationName); // window, context, subsystems, "Loading..."
int  InitRenderer(OpenGLRainbows& renderer, int width, int height, int colorBits, int framesPerSecond); // context, frame interval, extensions
std::string JoinCommandLine(int argc, const char* const* argv); // the arguments after the program name as one line, quoted the Windows way
void SetRuntimeDefaults();                  // 640 x 480, 60 fps, windowed, debug off, virtual mouse
int  UserMain();                            // the embedded user program (program/)

// ---------------------------------------------------------------- frame step and timing
// PresentFrame and SwapAndWait are declared in runtime/engine/engine.h, for modal commands.
void   SetFrameRate(double framesPerSecond);// frame interval 1000/n ms, 2 ms for n <= 0
void   SetFrameInterval(OpenGLRainbows& renderer, int framesPerSecond); // the renderer's form
double ElapsedMilliseconds();               // ms since the end of start-up
double FrameDuration();                     // ms since the previous frame, never <= 0
void   AllowEscape(double flag);            // Escape ends the program while flag != 0

// ---------------------------------------------------------------- program end (EndProgram, QuitProgram and the error log: runtime/engine/engine.h)
void   ProcessExitTeardown();               // the releases after exit(), in order
[[noreturn]] void EndAfterDisplayLost();    // "Display lost" in the log, then the end with status 1
std::string ProgramDirectory();             // the executable's directory, without the last separator

} // namespace corvane
