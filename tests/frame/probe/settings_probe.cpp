// A program of one's own that sets its window through ProgramSettings and is linked
// as corvane_add_program links one (the process entry included). It draws a 3D cube,
// a sprite and a line of text at 1280 x 720, reads the back buffer itself and prints
// what it found; then it paces 30 frames. "wait" keeps it up for a look from outside.
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <corvane/corvane.h>

#include "runtime/gfx2d/quad_batch.h"

namespace corvane {

void ProgramSettings(Settings& s) {
    s.width = 1280;
    s.height = 720;
    s.title = "Settings probe";
    s.frameRate = 30;
}

namespace {

struct Box {
    int count = 0, left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

// Pixels of the back buffer inside the rectangle that pass the test, with their bounds
// (y downward, as the 2D commands count).
template <typename Test>
Box Find(int x0, int y0, int x1, int y1, Test test) {
    const int w = x1 - x0, h = y1 - y0;
    std::vector<unsigned char> rgba(std::size_t(w) * h * 4);
    FlushQuads(); // the runtime's pending 2D quads join the picture before a read of our own
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, SurfaceHeight() - y1, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    Box b;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const unsigned char* p = &rgba[(std::size_t(row) * w + col) * 4];
            if (!test(p[0], p[1], p[2])) continue;
            const int x = x0 + col, y = y1 - 1 - row;
            ++b.count;
            b.left = std::min(b.left, x);
            b.right = std::max(b.right, x);
            b.top = std::min(b.top, y);
            b.bottom = std::max(b.bottom, y);
        }
    }
    return b;
}

void Print(const char* name, const Box& b) {
    std::printf("%s=%d %d %d %d %d\n", name, b.count, b.left, b.top, b.right, b.bottom);
}

} // namespace

int UserMain() {
    const std::string mode = CommandLineText().Buffer();
    std::printf("size=%d %d\n", SurfaceWidth(), SurfaceHeight());

    DrawRect(0, 0, 31, 31, 0x00FF00);   // a green block becomes sprite 1
    GrabSprite(1, 0, 0, 32, 32);
    CreateCube(1, 2);

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Start3DMode(1, 100, 60);
    PlaceCamera(0, 0, 8, 0, 0, 0);
    DrawObjectFrame(1, 0);
    SetViewport(0, 0, 0, 0);
    DrawSprite(1, 1200, 650);
    PrintText(RtString("SETTINGS"), 1000, 40);

    const auto green = [](int r, int g, int b) { return g > 200 && r < 60 && b < 60; };
    const auto lit = [](int r, int g, int b) { return r + g + b > 90; };
    Print("sprite", Find(0, 0, 1280, 720, green));
    Print("text", Find(900, 0, 1280, 100, lit));
    Print("cube", Find(200, 120, 1080, 600, lit));
    std::fflush(stdout);
    PresentFrame();   // late after the read-back: released at once
    PresentFrame();   // released on the grid: the clock stands at the start of a slot

    const int frames = mode == "wait" ? 600 : 30;
    const double start = NowMilliseconds();
    for (int i = 0; i < frames; ++i) PresentFrame();
    std::printf("frame_ms=%.2f\n", (NowMilliseconds() - start) / frames);
    return 0;
}

} // namespace corvane
