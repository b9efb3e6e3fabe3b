// The examples' test hook: scripted input, screenshots and a bounded run (see the header).
// Input is put into the system's event queue, so the program reads it exactly as it
// reads a real keyboard and mouse.
#include "example_hook.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <corvane/corvane.h>

namespace example {
namespace {

struct Event {
    int when = 0;                      // frame number, or milliseconds for clock input
    std::string action;
    std::string argument;              // key name or file
    int x = 0, y = 0;
};

std::vector<std::string> words;        // the command line split at spaces
std::vector<Event> frameScript;        // played by ShowFrame, by frame number
std::vector<Event> clockScript;        // played by the clock thread, by time
std::size_t nextFrameEvent = 0;
int framesShown = 0;
int frameLimit = -1;                   // no limit
std::string lastShot;
int mouseX = 100, mouseY = 100;        // where the engine's mouse starts
std::thread clockPlayer;
std::atomic<bool> stopClock{false};
std::atomic<bool> clockDone{true};
int graceFrames = 2;                   // frames shown after the clock input is out

void PushKey(SDL_Scancode code, bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = code;
    e.key.keysym.sym = SDL_GetKeyFromScancode(code);
    SDL_PushEvent(&e);
}

void PushMotion(int x, int y) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = x - mouseX;
    e.motion.yrel = y - mouseY;
    mouseX = x;
    mouseY = y;
    SDL_PushEvent(&e);
}

void PushButton(bool down) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = mouseX;
    e.button.y = mouseY;
    SDL_PushEvent(&e);
}

SDL_Scancode KeyCode(const std::string& name) {
    SDL_Scancode code = SDL_GetScancodeFromName(name.c_str());
    if (code == SDL_SCANCODE_UNKNOWN) std::fprintf(stderr, "hook: no key named \"%s\"\n", name.c_str());
    return code;
}

// Turns the script's lines into single events (a key press becomes down and up, text
// one key after another, a click becomes move, down and up). One step is a frame for
// frame input and 1/60 s for clock input.
bool LoadScript(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "hook: cannot read the script %s\n", file.c_str());
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string when, action, rest;
        if (!(fields >> when >> action)) continue;
        std::getline(fields >> std::ws, rest);
        while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ')) rest.pop_back();
        const bool clock = when[0] == '@';
        char* end = nullptr;
        const long at = std::strtol(when.c_str() + (clock ? 1 : 0), &end, 10);
        std::vector<Event>& into = clock ? clockScript : frameScript;
        const int t = int(at), step = clock ? 17 : 1;
        Event e;
        bool ok = *end == '\0' && at >= 0;
        if (!ok) {
        } else if (action == "key") {
            into.push_back({t, "down", rest});
            into.push_back({t + step, "up", rest});
        } else if (action == "down" || action == "up" || (action == "shot" && !clock)) {
            into.push_back({t, action, rest});
        } else if (action == "type") {
            // Six steps a key: a press reads as held for a while, so the same key twice
            // in a row needs the gap to count twice.
            for (std::size_t i = 0; i < rest.size(); ++i) {
                const std::string key = rest[i] == ' ' ? "Space" : std::string(1, rest[i]);
                into.push_back({t + 6 * step * int(i), "down", key});
                into.push_back({t + 6 * step * int(i) + step, "up", key});
            }
        } else if ((action == "move" || action == "click") && std::istringstream(rest) >> e.x >> e.y) {
            into.push_back({t, "move", "", e.x, e.y});
            if (action == "click") {
                into.push_back({t + step, "press", "", e.x, e.y});
                into.push_back({t + 2 * step, "release", "", e.x, e.y});
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "hook: %s:%d: cannot read \"%s\"\n", file.c_str(), number, line.c_str());
            return false;
        }
    }
    for (std::vector<Event>* events : {&frameScript, &clockScript})
        std::stable_sort(events->begin(), events->end(), [](const Event& a, const Event& b) { return a.when < b.when; });
    return true;
}

void Play(const Event& e) {
    if (e.action == "down" || e.action == "up") {
        if (SDL_Scancode code = KeyCode(e.argument); code != SDL_SCANCODE_UNKNOWN) PushKey(code, e.action == "down");
    } else if (e.action == "move") {
        PushMotion(e.x, e.y);
    } else if (e.action == "press" || e.action == "release") {
        PushButton(e.action == "press");
    } else if (e.action == "shot") {
        WritePpm(e.argument);
    }
}

// The clock input, each event at its time from the start. The mouse position it
// tracks is its own while it runs (frame input moves the mouse only before or after).
void PlayClock() {
    const auto start = std::chrono::steady_clock::now();
    for (const Event& e : clockScript) {
        const auto due = start + std::chrono::milliseconds(e.when);
        while (std::chrono::steady_clock::now() < due) {
            if (stopClock) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (stopClock) return;
        Play(e);
    }
    clockDone = true;
}

void StopClock() {
    stopClock = true;
    if (clockPlayer.joinable()) clockPlayer.join();
}

bool IsHookOption(const std::string& word) {
    return word == "--frames" || word == "--script" || word == "--shot";
}

} // namespace

void StartHook() {
    words.clear();
    std::istringstream line(corvane::CommandLineText().Buffer());
    for (std::string word; line >> word;) words.push_back(word);
    if (const std::string n = Option("frames"); !n.empty()) frameLimit = std::atoi(n.c_str());
    lastShot = Option("shot");
    if (const std::string file = Option("script"); !file.empty() && !LoadScript(file)) {
        // A test that cannot play its script must not pass: the runtime's own end
        // always exits with 0, so this one says otherwise.
        std::exit(2);
    }
    if (!clockScript.empty()) {
        clockDone = false;
        clockPlayer = std::thread(PlayClock);
        std::atexit(StopClock);  // an end by Escape or the close box stops it too
    }
}

void ShowFrame() {
    while (nextFrameEvent < frameScript.size() && frameScript[nextFrameEvent].when <= framesShown)
        Play(frameScript[nextFrameEvent++]);
    bool last = false;
    if (frameLimit >= 0 && framesShown + 1 >= frameLimit) {
        if (!clockDone) graceFrames = 2;
        else if (graceFrames > 0) --graceFrames;
        else last = true;
    }
    if (last && !lastShot.empty()) WritePpm(lastShot);
    corvane::PresentFrame();
    ++framesShown;
    if (last) {
        StopClock();
        corvane::QuitProgram();
    }
}

int FrameNumber() { return framesShown; }

std::string Option(const std::string& name) {
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "--" + name) return words[i + 1];
    return "";
}

std::string Argument(int n) {
    int seen = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (IsHookOption(words[i])) {
            ++i;
            continue;
        }
        if (seen++ == n) return words[i];
    }
    return "";
}

bool WritePpm(const std::string& file) {
    const int width = corvane::SurfaceWidth(), height = corvane::SurfaceHeight();
    if (width <= 0 || height <= 0) return false;
    std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
    corvane::FlushDrawing(); // the runtime batches 2D quads: they must reach the back buffer first
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int row = height - 1; row >= 0; --row)  // GL rows run bottom-up
        std::fwrite(&pixels[std::size_t(row) * width * 3], 1, std::size_t(width) * 3, out);
    return std::fclose(out) == 0;
}

} // namespace example
