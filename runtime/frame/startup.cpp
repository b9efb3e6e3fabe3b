// Runtime entry and engine start-up: the whole start-up order in one place.
#include <GL/gl.h>

#include <cstdlib>
#include <string>

#include "runtime/engine/engine_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/engine/engine_state.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/input_sound/input_internal.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/net/net_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"

namespace corvane {

namespace {

// Shown on a software rasteriser; the text is in the Windows-1252 code page.
const char kSoftwareCaption[] = "!!OpenGL Software Emulation!!";
const char kSoftwareText[] =
    "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
    "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE unterst\xfctzt!";

// Set (to anything but "" or "0"), the software-rendering box is not shown.
const char kNoSoftwareBoxVariable[] = "CORVANE_NO_SOFTWARE_GL_BOX";

bool HasExtension(const char* extensions, const char* name) {
    if (!extensions) return false;
    std::string all(extensions);
    std::string want(name);
    for (size_t pos = all.find(want); pos != std::string::npos; pos = all.find(want, pos + 1)) {
        size_t end = pos + want.size();
        if ((pos == 0 || all[pos - 1] == ' ') && (end == all.size() || all[end] == ' ')) return true;
    }
    return false;
}

void BindExtensions() {
    engine.surface.ext = GLExtensions{};
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!HasExtension(extensions, "GL_ARB_multitexture")) return;
    GLExtensions& e = engine.surface.ext;
    e.activeTexture = platform::GetGLProcAddress("glActiveTextureARB");
    e.multiTexCoord2f = platform::GetGLProcAddress("glMultiTexCoord2fARB");
    e.clientActiveTexture = platform::GetGLProcAddress("glClientActiveTextureARB");
    e.genBuffers = platform::GetGLProcAddress("glGenBuffersARB");
    e.bindBuffer = platform::GetGLProcAddress("glBindBufferARB");
    e.bufferData = platform::GetGLProcAddress("glBufferDataARB");
    e.deleteBuffers = platform::GetGLProcAddress("glDeleteBuffersARB");
    e.mapBuffer = platform::GetGLProcAddress("glMapBufferARB");
    e.unmapBuffer = platform::GetGLProcAddress("glUnmapBufferARB");
}

void SetFrameTimes() {
    double now = NowMilliseconds();
    engine.frameTime = now;
    engine.previousFrameTime = now;
    engine.startTime = now;
}

} // namespace

void SetupPixelFormat() {
    const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (platform::IsSoftwareRenderer(name)) {
        // Containers, virtual machines and CI have no GPU driver: there the box only
        // holds the start up, so it can be switched off.
        if (!platform::EnvironmentFlag(kNoSoftwareBoxVariable) &&
            platform::ShowMessageBox(kSoftwareCaption, kSoftwareText, true)) {
            // The box took the focus; without it the program would start paused.
            platform::ShowAndRaiseWindow();
        }
        AppendErrorLog("OpenGL Software Emulation");
    } else {
        AppendErrorLog("OpenGL Hardware Support");
    }
}

void SetRuntimeDefaults() {
    engine.screenWidth = 640;
    engine.screenHeight = 480;
    engine.fullscreen = 0;
    engine.frameRate = 60;
    engine.debugMode = 0;
    engine.virtualMouse = 1;
}

RtString ProgramDirectory() {
    std::string path = platform::ModulePath();
    // The last separator past index 0 ends the directory; a path without one stays whole.
    for (size_t i = path.size(); i >= 1; --i) {
        if (path[i] == '/' || path[i] == '\\') {
            path.resize(i);
            break;
        }
    }
    return RtString(path);
}

void SetFrameInterval(int framesPerSecond) {
    engine.frameInterval = framesPerSecond <= 0 ? 2.0 : 1000.0 / framesPerSecond;
}

int InitRenderer(int width, int height, int colorBits, int framesPerSecond) {
    SetFrameInterval(framesPerSecond);
    int clientWidth = 0, clientHeight = 0;
    platform::GetClientSize(&clientWidth, &clientHeight);
    if (colorBits == 0) colorBits = platform::GetDesktopColorBits();
    if (width == 0) width = clientWidth;
    if (height == 0) height = clientHeight;
    engine.surface.isFullscreen = 0;
    engine.surface.width = width;
    engine.surface.height = height;
    engine.surface.colorBits = colorBits;
    // The context was created with the window (depth 16, stencil 8, double buffer).
    SetupPixelFormat();
    engine.nextFrameTime = NowMilliseconds();
    BindExtensions();
    ResetViewport(0, 0, 0, 0);
    engine.surface.glReady = 1;
    return 1;
}

int StartEngine(void* instance, void* previousInstance, const char* commandLineText, int showCommand,
                const char* applicationName) {
    (void)instance;
    (void)previousInstance;
    (void)commandLineText;
    (void)showCommand;
    static bool teardownRegistered = false;
    if (!teardownRegistered) {
        std::atexit(ProcessExitTeardown);
        platform::SetDisplayLostHandler(EndAfterDisplayLost);
        teardownRegistered = true;
    }
    // Subsystems end the program and show frames through the upward table.
    UpwardCalls& up = Upward();
    up.endProgram = EndProgram;
    up.presentFrame = PresentFrame;
    up.swapAndWait = SwapAndWait;
    InitScene3D();

    // Every line of this run, a failed start's included, goes to this program's own log.
    SetErrorLogProgram(applicationName);

    // The window, centred, with its GL context. Without a window nothing else
    // can work, so start-up stops here (the caller then ends the program).
    if (!platform::InitVideo()) return 0;
    platform::WindowDesc desc;
    desc.title = "Corvane";
    desc.clientWidth = engine.screenWidth;
    desc.clientHeight = engine.screenHeight;
    if (!platform::CreateMainWindow(desc)) return 0;
    engine.windowCreated = true;

    // Shown, then titled with the application name.
    platform::ShowMainWindow(true);
    engine.appName = applicationName ? applicationName : "";
    platform::SetWindowTitle(engine.appName.c_str());

    // Each run starts a fresh error log.
    DeleteErrorLog();

    // Input, sound device and sound slot records.
    CreateInputRecord();
    CreateSoundRecords();

    // The network record, idle.
    InitNetwork();

    // Renderer: frame interval, pixel-format report, extensions.
    InitRenderer(engine.screenWidth, engine.screenHeight, 0, engine.frameRate);

    // Random seed from the time in whole milliseconds.
    SeedRandom(static_cast<std::uint32_t>(static_cast<std::int64_t>(NowMilliseconds())));

    // Windowed or full-screen mode.
    RestoreStartupWindowMode();

    // Input devices open.
    InitInput(*TheInput(), nullptr, instance, engine.virtualMouse != 0);

    // Font 0 is the current font.
    SetFont(0);

    // The program's directory becomes current.
    const RtString directory = ProgramDirectory();
    platform::SetCurrentDirectory(directory.Str());
    AppendErrorLog("Current Dir");
    AppendErrorLog(directory.c_str());

    // The two media contexts, both packing from the program directory.
    CreateMediaContexts(directory.c_str());

    // A first cleared frame.
    glClear(GL_COLOR_BUFFER_BIT);
    SwapAndWait();
    ResetViewport(0, 0, 0, 0);

    // The sound output opens once the window shows: loading the mixer library and
    // opening the device would hold up the first frame, and nothing before the
    // program's own code plays a sound.
    InitSound(TheSoundDevice());

    // The frame clock starts after the first frame.
    SetFrameTimes();

    // The built-in font, then "smalfont.bmp" when present, and the loading screen.
    LoadFont(RtString(""), 0);
    // Optional: its absence is no failure of the program's.
    RtString fontPath;
    if (ResolveImagePath("smalfont.bmp", fontPath)) LoadFont(RtString("smalfont.bmp"), 0);
    DrawLoadingScreen();
    PresentFrame();

    // The program starts running, not paused.
    engine.paused = 0;

    // The arrow cursor over the window.
    platform::SetCursorVisible(true);

    // Elapsed time counts from the end of start-up.
    SetFrameTimes();
    return 0;
}

} // namespace corvane
