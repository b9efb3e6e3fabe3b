// EngineState: what the start-up sequence and the frame step own (the window and its
// context, the screen settings, frame timing, the stop position and error code, the
// flags of the program's run). Each subsystem keeps its own record in its folder;
// subsystems read this one through runtime/engine/engine.h, so only engine/ and
// frame/ include this header.
#pragma once

#include <string>

#include "runtime/engine/surface.h"

namespace corvane {

struct EngineState {
    EngineState();                        // reads the performance counter's frequency
    ~EngineState();                       // a window no teardown closed goes, the desktop's mode back

    // ---- screen settings (start-up defaults)
    int screenWidth = 640;                // client width handed to the renderer
    int screenHeight = 480;               // client height
    int frameRate = 60;                   // frames per second (frame-rate limit)
    int fullscreen = 0;                   // start in full-screen mode
    int virtualMouse = 1;                 // the mouse drives a virtual pointer from relative motion

    // ---- window and context
    bool windowCreated = false;           // the main window exists
    std::string appName;                  // window title; " <pause>" appended while inactive
    Surface surface;                      // drawing size, colour depth, full screen, GL context

    // ---- the program's run
    int debugMode = 0;                    // debug build: stop record, no pause on focus loss
    unsigned char paused = 0;             // set while the window is inactive
    unsigned char escapeEndsProgram = 1;  // Escape ends the program while non-zero

    // ---- stop position
    double currentSourceFile = 0.0;
    double currentLine = 0.0;
    double errorCode = 0.0;
    double endLine = 0.0;

    // ---- timing, ms of NowMilliseconds()
    double frameTime = 0.0;
    double previousFrameTime = 0.0;
    double startTime = 0.0;
    double nextFrameTime = 0.0;           // time of the next frame slot
    double frameInterval = 0.0;           // length of one frame slot
    double perfFrequency = 0.0;           // performance-counter ticks per second
    int hasPerfCounter = 0;               // the performance counter is usable
};

extern EngineState engine;                // the engine record

} // namespace corvane
