// A program on the runtime that plays one window-mode scenario named on its
// command line and prints what it saw, one "key=value" per line, on standard
// output. "fs-" in front of a scenario starts it full-screen; "bits16-" asks for
// a 16-bit display.
#include <GL/gl.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_display.h"
#include "runtime/values/values.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

namespace {

void Report(const char* key, double value) { std::printf("%s=%g\n", key, value); }
void Report(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }

// Red rectangle from (100, 50) to (119, 59); prints the colour at its inside and outside.
void DrawAndProbe() {
    glClear(GL_COLOR_BUFFER_BIT);
    DrawRect(100, 50, 119, 59, 0x0000FF);
    FlushQuads(); // read back below by the probe itself, not through the runtime
    glFinish();
    unsigned char px[4] = {};
    int h = SurfaceHeight();
    glReadPixels(105, h - 1 - 55, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    Report("inside_red", px[0]);
    glReadPixels(95, h - 1 - 55, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    Report("outside_red", px[0]);
}

void ReportWindow() {
    int w = 0, h = 0, x = 0, y = 0;
    platform::GetClientSize(&w, &h);
    platform::GetWindowPosition(&x, &y);
    Report("isFullscreen", engine.surface.isFullscreen);
    Report("drawable", std::to_string(w) + "x" + std::to_string(h));
    Report("position", std::to_string(x) + "," + std::to_string(y));
    Report("colorBits", engine.surface.colorBits);
    Report("paused", engine.paused);
}

// The display mode as xrandr reports it ("640 x 480"), under a real display only.
void ReportMode(const char* key) {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (!driver || std::strcmp(driver, "x11") != 0) return;
    std::string line;
    if (FILE* p = popen("xrandr 2>/dev/null | head -n 1", "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) line += buf;
        pclose(p);
    }
    size_t at = line.find("current ");
    if (at == std::string::npos) return;
    size_t end = line.find(',', at);
    Report(key, line.substr(at + 8, end - at - 8));
}

} // namespace

int main(int argc, char** argv) {
    std::string scenario = argc > 1 ? argv[1] : "normal";
    SetRuntimeDefaults();
    if (scenario.rfind("fs-", 0) == 0) {
        engine.fullscreen = 1;
        scenario.erase(0, 3);
    }
    commandLine = scenario.c_str();
    StartEngine(nullptr, nullptr, commandLine.Buffer(), 1, "window_probe");
    if (!engine.windowCreated) return 2;
    ReportWindow();
    ReportMode("mode_during");
    std::fflush(stdout);

    if (scenario == "draw") {
        DrawAndProbe();
        double t0 = NowMilliseconds();
        EnterWindowedMode();
        Report("leave_ms", NowMilliseconds() - t0);
        ReportWindow();
        DrawAndProbe();
    } else if (scenario == "bits16") {
        engine.surface.colorBits = 16;
        Report("result", EnterFullscreenMode());
        ReportWindow();
    } else if (scenario == "dialog") {
        // FileDialog(open flag, filter), then the window as the program finds it.
        double open = argc > 2 ? std::atof(argv[2]) : 1.0;
        RtString filter(argc > 3 ? argv[3] : "");
        std::string before = platform::CurrentDirectory();
        double t0 = NowMilliseconds();
        RtString answer = FileDialog(open, filter);
        Report("dialog_ms", NowMilliseconds() - t0);
        Report("answer", std::string(answer.Buffer(), answer.length));
        Report("cwd_kept", before == platform::CurrentDirectory() ? 1 : 0);
        ReportWindow();
        ReportMode("mode_after");
    } else if (scenario == "breakpoint") {
        for (int i = 2; i < argc; ++i) DebugBreakpoint(std::atof(argv[i]));
        PresentFrame();
        ReportWindow();
    } else if (scenario == "wait") {
        // Driven from outside; ends by the close box, a signal, or after 30 s.
        double until = NowMilliseconds() + 30000.0;
        while (NowMilliseconds() < until) PresentFrame();
        return 4;
    } else if (scenario == "term") {
        // SDL turns the signal into a close request, which the frame step ends on.
        std::fflush(stdout);
        raise(SIGTERM);
        for (int i = 0; i < 300; ++i) PresentFrame();
        return 5;
    } else if (scenario == "video-close") {
        // The close box while a video loops: the program ends from inside it.
        platform::PostWindowEvent(platform::WindowEvent::CloseRequested);
        PlayVideo(RtString(argc > 2 ? argv[2] : ""));
        return 6;
    } else if (scenario == "quit") {
        QuitProgram();
    } else if (scenario == "segv") {
        std::fflush(stdout);
        raise(SIGSEGV);
    } else if (scenario == "abort") {
        std::fflush(stdout);
        std::abort();
    } else if (scenario == "exit") {
        std::fflush(stdout);
        std::exit(0);  // no EndProgram: only the exit teardown restores the mode
    }
    std::fflush(stdout);
    EndProgram();
}
