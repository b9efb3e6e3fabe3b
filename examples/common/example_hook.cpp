// The examples' test hook: scripted input, screenshots and a bounded run (see the header).
// Input is put into the system's event queue, so the program reads it exactly as it
// reads a real keyboard and mouse.
#include "example_hook.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <corvane/corvane.h>

namespace example {
namespace {

struct Event {
    int frame = 0;
    std::string action;
    std::string argument;              // key name, text or file
    int x = 0, y = 0;
};

std::vector<std::string> words;        // the command line split at spaces
std::vector<Event> script;
int framesShown = 0;
int frameLimit = -1;                   // no limit
std::string lastShot;
int mouseX = 100, mouseY = 100;        // where the engine's mouse starts

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
// becomes one key per few frames, a click becomes move, down and up).
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
        Event e;
        if (!(fields >> e.frame >> e.action)) continue;
        std::string rest;
        std::getline(fields >> std::ws, rest);
        while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ')) rest.pop_back();
        if (e.action == "key") {
            script.push_back({e.frame, "down", rest});
            script.push_back({e.frame + 1, "up", rest});
        } else if (e.action == "down" || e.action == "up" || e.action == "shot") {
            script.push_back({e.frame, e.action, rest});
        } else if (e.action == "type") {
            // Four frames a key: a press reads as held for a while, so the same key
            // twice in a row needs the gap to count twice.
            for (std::size_t i = 0; i < rest.size(); ++i) {
                const std::string key = rest[i] == ' ' ? "Space" : std::string(1, rest[i]);
                script.push_back({e.frame + 4 * int(i), "down", key});
                script.push_back({e.frame + 4 * int(i) + 1, "up", key});
            }
        } else if ((e.action == "move" || e.action == "click") && std::istringstream(rest) >> e.x >> e.y) {
            script.push_back({e.frame, "move", "", e.x, e.y});
            if (e.action == "click") {
                script.push_back({e.frame + 1, "press", "", e.x, e.y});
                script.push_back({e.frame + 2, "release", "", e.x, e.y});
            }
        } else {
            std::fprintf(stderr, "hook: %s:%d: cannot read \"%s\"\n", file.c_str(), number, line.c_str());
            return false;
        }
    }
    return true;
}

void PlayEvents(int frame) {
    for (const Event& e : script) {
        if (e.frame != frame) continue;
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
        corvane::SetErrorCode(1);  // a test that cannot play its script must not pass
        corvane::EndProgram();
    }
}

void ShowFrame() {
    PlayEvents(framesShown);
    const bool last = frameLimit >= 0 && framesShown + 1 >= frameLimit;
    if (last && !lastShot.empty()) WritePpm(lastShot);
    corvane::PresentFrame();
    ++framesShown;
    if (last) corvane::QuitProgram();
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
    const int width = corvane::engine.renderer.width, height = corvane::engine.renderer.height;
    if (width <= 0 || height <= 0) return false;
    std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
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
