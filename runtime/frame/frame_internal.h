// The frame's plumbing: the entry, start-up, the end's releases, the renderer's window
// modes and the pieces of the frame step tests reach directly. Not commands (those
// are in frame.h) and not installed.
#pragma once

#include <string>

#include "runtime/engine/engine_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame.h"

namespace corvane {

// The entry, start-up and the end's releases.
void UseSettings(const Settings& settings); // the entry hands the hook's settings to RuntimeMain
int  RuntimeMain(void* instance, void* previousInstance, const char* commandLineText, int showCommand); // run the program; never returns
int  StartEngine(void* instance, void* previousInstance, const char* commandLineText, int showCommand, const char* applicationName); // window, context, subsystems, "Loading..."
std::string JoinCommandLine(int argc, const char* const* argv); // the arguments after the program name as one line, quoted the Windows way
void SetRuntimeDefaults();                  // 640 x 480, 60 fps, windowed, debug off, virtual mouse
void   ProcessExitTeardown();               // the releases after exit(), in order
[[noreturn]] void EndAfterDisplayLost();    // "Display lost" in the log, then the end with status 1
int  RestoreStartupWindowMode();                    // full screen when `fullscreen` is set, else windowed
std::string BreakpointText(double value);           // "BP" + the value's 32 bits in lower-case hex
void CloseFileDialog();                             // the program end: an open file dialog is ended
void StopVideoPlayback();                           // the program end: a playing video stops, its sound too, the video libraries close

// The renderer's start-up and its window modes: the frame's own plumbing.
int  InitRenderer(int width, int height, int colorBits, int framesPerSecond); // context, frame interval, extensions
void SetFrameInterval(int framesPerSecond);         // frame interval 1000/n ms, 2 ms for n <= 0
int  EnterWindowedMode();                           // captioned window of the surface's size; desktop mode back first; 1
int  EnterFullscreenMode();                         // exact display mode, window at 0,0; 0 when it fell back to a window
int  HideForDialog();                               // desktop mode back, window hidden; 1
void SetupPixelFormat();                            // logs hardware or software OpenGL (warning box on software)

[[noreturn]] void EndProgramWithStatus(int status); // the end EndProgram makes, exiting with status (UserMain's result)
double AdvanceFrameSlot(double nextFrameTime, double frameInterval, double now); // next slot after a release at now

} // namespace corvane
