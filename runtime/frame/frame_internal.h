// Pieces of the frame step that tests reach directly; not commands (frame.h).
#pragma once

#include "runtime/engine/engine_state.h"

namespace corvane {

// The renderer's start-up and its window modes: the frame's own plumbing.
int  InitRenderer(OpenGLRainbows& renderer, int width, int height, int colorBits, int framesPerSecond); // context, frame interval, extensions
void   SetFrameInterval(OpenGLRainbows& renderer, int framesPerSecond); // the renderer's form
int  EnterWindowedMode(OpenGLRainbows& renderer);   // captioned window of the renderer's size; desktop mode back first; 1
int  EnterFullscreenMode(OpenGLRainbows& renderer); // exact display mode, window at 0,0; 0 when it fell back to a window
int  HideForDialog(OpenGLRainbows& renderer);       // desktop mode back, window hidden; 1
void SetupPixelFormat(OpenGLRainbows& renderer);    // logs hardware or software OpenGL (warning box on software)

[[noreturn]] void EndProgramWithStatus(int status); // the end EndProgram makes, exiting with status (UserMain's result)
double AdvanceFrameSlot(double nextFrameTime, double frameInterval, double now); // next slot after a release at now

} // namespace corvane
