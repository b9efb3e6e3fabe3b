// Pieces of the frame step that tests reach directly; not commands (frame.h).
#pragma once

#include "runtime/engine/engine_state.h"

namespace corvane {

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
