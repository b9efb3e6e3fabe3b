// EngineState: the one global record of the runtime, and NowMilliseconds, the one
// time source. Each subsystem keeps its own record, pointed to from here. This layer
// sits just above the platform seam and includes no subsystem's header.
#pragma once

#include <string>

#include "runtime/engine/renderer.h"
#include "runtime/engine/scene3d.h"

namespace corvane {

struct InputDevices;   // keyboard, mouse, joysticks
struct SoundDevice;    // the sound output
struct SoundSlot;      // one of 128 loaded sounds
struct MediaContext;   // a media resolver context

struct EngineState {
    // ---- start-up defaults
    int screenWidth = 640;                // client width handed to the renderer
    int screenHeight = 480;               // client height
    int frameRate = 60;                   // frames per second (frame-rate limit)
    int fullscreen = 0;                   // start in full-screen mode
    int debugMode = 0;                    // debug build: stop record, no pause on focus loss
    int useDirectInputMouse = 1;          // the virtual (relative) mouse

    // ---- window
    bool windowCreated = false;           // the main window exists
    std::string appName;                  // window title; " <pause>" appended while inactive
    unsigned char paused = 0;             // set while the window is inactive
    int currentFont = 0;                  // current font number

    // ---- subsystem records (null until start-up creates them)
    InputDevices* input = nullptr;
    SoundDevice* soundDevice = nullptr;
    SoundSlot* soundSlots = nullptr;      // 128 slots; the count stands in the word ahead of the array
    MediaContext* mediaSources[2] = {nullptr, nullptr}; // [0] music and video, [1] everything else
    bool mediaWindow = false;             // music is open through PlayMusic; the frame step restarts it at its end

    // ---- stop position
    double currentSourceFile = 0.0;
    double currentLine = 0.0;
    double errorCode = 0.0;
    double endLine = 0.0;

    // ---- timing, ms of NowMilliseconds()
    double frameTime = 0.0;
    double previousFrameTime = 0.0;
    double startTime = 0.0;

    OpenGLRainbows renderer;              // constructed at process start, destroyed at exit
    Rainbows3D scene{renderer};           // the 3D scene and its object slots, built with the record
};

extern EngineState engine;                // the engine record
extern unsigned char escapeEndsProgram;   // Escape ends the program while non-zero

double NowMilliseconds();                 // the one time source, ms

// A number of the language as an integer argument: truncated toward zero,
// saturated at the int range, NaN as 0.
inline int ToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(value);
}

} // namespace corvane
