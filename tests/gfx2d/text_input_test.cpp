// InputText and InputNumber driven frame by frame: a hook called before each frame
// is presented reads the back buffer and plays a script of key presses.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gfx2d_testing.h"
#include "tests/gfx2d/sprites_test_support.h"
#include "tests/input_sound/input_events.h"

using namespace corvane;
using namespace input_test;

namespace {

struct Key {
    SDL_Scancode code;
    Uint16 mod = KMOD_NONE;
};

// One key press every 8 frames, held for 6 (100 ms at 60 fps: past the shortest press).
constexpr int kStepFrames = 8, kHoldFrames = 6;

struct Script {
    std::vector<Key> keys;                      // played from frame 1 on
    int frame = 0;
    std::vector<gfx2d_test::Screen> shots;      // what each frame showed in the watched block
    int shotX = 0, shotY = 0, shotW = 0, shotH = 0;
};
Script* g_run = nullptr;

void OnFrame() {
    Script& r = *g_run;
    if (r.shotW > 0) r.shots.push_back(gfx2d_test::ReadScreen(r.shotX, r.shotY, r.shotW, r.shotH));
    const int f = r.frame++ - 1;
    if (f < 0) return;
    const int step = f / kStepFrames, phase = f % kStepFrames;
    if (step >= int(r.keys.size())) return;
    const Key& k = r.keys[step];
    if (phase == 0) {
        if (k.mod & KMOD_SHIFT) PushKey(SDL_SCANCODE_LSHIFT, true, k.mod);
        PushKey(k.code, true, k.mod);
    } else if (phase == kHoldFrames) {
        PushKey(k.code, false);
        if (k.mod & KMOD_SHIFT) PushKey(SDL_SCANCODE_LSHIFT, false);
    }
}

// Keys for a text of digits, lower-case letters, blanks, '-' and '.'; '\n' is Enter,
// '\b' Backspace, 'A'..'Z' shifted letters, '\r' the keypad's Enter.
std::vector<Key> KeysFor(const std::string& text) {
    std::vector<Key> keys;
    for (char c : text) {
        if (c >= 'a' && c <= 'z') keys.push_back({SDL_Scancode(SDL_SCANCODE_A + (c - 'a'))});
        else if (c >= 'A' && c <= 'Z') keys.push_back({SDL_Scancode(SDL_SCANCODE_A + (c - 'A')), KMOD_LSHIFT});
        else if (c >= '1' && c <= '9') keys.push_back({SDL_Scancode(SDL_SCANCODE_1 + (c - '1'))});
        else if (c == '0') keys.push_back({SDL_SCANCODE_0});
        else if (c == ' ') keys.push_back({SDL_SCANCODE_SPACE});
        else if (c == '-') keys.push_back({SDL_SCANCODE_MINUS});
        else if (c == '.') keys.push_back({SDL_SCANCODE_PERIOD});
        else if (c == '\n') keys.push_back({SDL_SCANCODE_RETURN});
        else if (c == '\r') keys.push_back({SDL_SCANCODE_KP_ENTER});
        else if (c == '\b') keys.push_back({SDL_SCANCODE_BACKSPACE});
        else ADD_FAILURE() << "no key for " << int(c);
    }
    return keys;
}

// A command that never returns fails the process instead of hanging it.
class Watchdog {
public:
    Watchdog() : thread_([this] {
        for (int i = 0; i < 2000 && !done_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done_) { std::fprintf(stderr, "text input did not return\n"); std::_Exit(3); }
    }) {}
    ~Watchdog() { done_ = true; thread_.join(); }
private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class TextInput : public gfx2d_test::Gfx2dTest {
protected:
    void SetUp() override {
        Gfx2dTest::SetUp();
        ReleaseEverything();
        InKey();
        SetTextInputFrameHookForTesting(OnFrame);
        g_run = &run;
    }
    void TearDown() override {
        SetTextInputFrameHookForTesting(nullptr);
        g_run = nullptr;
        ReleaseEverything();
    }
    RtString Type(const char* initial, const std::string& typed, double x = 100, double y = 100) {
        ReleaseEverything();   // the last case's Enter is still down
        run.frame = 0;
        run.shots.clear();
        run.keys = KeysFor(typed);
        RtString text(initial);
        Watchdog w;
        InputText(text, x, y);
        return text;
    }
    Script run;
};

TEST_F(TextInput, TypedKeysEditTheVariable) {
    const struct { const char* initial; std::string typed; const char* result; } cases[] = {
        {"Hi", " there\n", "Hi there"},
        {"", "\b\bA\n", "A"},          // Backspace on nothing keeps the loop going
        {"abc", "\b\bx\n", "ax"},
        {"", "ok\r", "ok"},             // the keypad's Enter ends as Enter does
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(Type(c.initial, c.typed).Buffer(), c.result) << c.initial << " + " << c.typed.size() << " keys";
    }
}

TEST_F(TextInput, InputNumberReadsTheLeadingNumber) {
    const struct { std::string typed; double value; } cases[] = {
        {"12abc\n", 12}, {"abc\n", 0}, {"-3.5\n", -3.5}, {"\n", 0},
    };
    for (const auto& c : cases) {
        ReleaseEverything();
        run = Script{};
        run.keys = KeysFor(c.typed);
        double n = 99;
        Watchdog w;
        InputNumber(n, 10, 10);
        EXPECT_EQ(n, c.value) << c.typed;
    }
}

TEST_F(TextInput, CursorBlinksEvery21IdleFramesAndNeverOnTheFirstFrame) {
    double cw = 0, ch = 0;
    GetFontSize(cw, ch);
    // The block watched is the cell after "Hi", where the cursor goes.
    run.shotX = 100 + 2 * int(cw), run.shotY = 100, run.shotW = int(cw), run.shotH = int(ch);
    std::vector<Key> keys(9, Key{SDL_SCANCODE_UNKNOWN});   // 9 idle steps = 72 frames
    keys.push_back({SDL_SCANCODE_RETURN});
    run.keys = keys;
    RtString text("Hi");
    { Watchdog w; InputText(text, 100, 100); }
    ASSERT_GE(run.shots.size(), 70u);
    for (int f = 0; f < 70; ++f) {
        const bool expected = (f >= 21 && f <= 41) || f >= 63;
        EXPECT_EQ(sprites_test::LitPixels(run.shots[f]).count > 0, expected) << "frame " << f;
    }
}

TEST_F(TextInput, ThePictureUnderTheLineStaysAndErasedCellsShowItAgain) {
    DrawRect(0, 0, 639, 479, 0x00FF00);        // the picture: all green
    const int bg0Columns = TheRenderer().backgrounds[0].columns;
    double cw = 0, ch = 0;
    GetFontSize(cw, ch);
    run.shotX = 100, run.shotY = 100, run.shotW = 4 * int(cw), run.shotH = int(ch);
    RtString text = Type("", "ab\b\b\n");
    EXPECT_STREQ(text.Buffer(), "");
    ASSERT_GE(run.shots.size(), 30u);
    const gfx2d_test::Rgba green{0, 255, 0, 255};
    int inkFrames = 0;
    for (size_t f = 0; f < run.shots.size(); ++f) {
        const auto& s = run.shots[f];
        EXPECT_EQ(s.at(s.x0 + s.width - 1, s.y0 + s.height - 1), green) << "frame " << f; // beyond the text
        // The first cell may hold the cursor; the second held "b" until it was erased.
        bool ink = false, secondCell = false;
        for (int y = s.y0; y < s.y0 + s.height; ++y)
            for (int x = s.x0; x < s.x0 + s.width; ++x) {
                const bool here = !(s.at(x, y) == green);
                ink |= here;
                secondCell |= here && x >= s.x0 + int(cw) && x < s.x0 + 2 * int(cw);
            }
        inkFrames += ink;
        if (f + 1 == run.shots.size()) {
            EXPECT_FALSE(secondCell) << "erased characters left a trace";
        }
    }
    EXPECT_GT(inkFrames, 0) << "the typed characters were never drawn";
    EXPECT_EQ(TheRenderer().backgrounds[3].columns, 0) << "buffer 3 is freed at the end";
    EXPECT_EQ(TheRenderer().backgrounds[0].columns, bg0Columns) << "background 0 untouched";
}

// Ending the program during input: each case runs in a child process.
TEST_F(TextInput, EscapeAltF4AndTheCloseBoxEndTheProgram) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const struct { const char* name; double allowEscape; std::vector<Key> keys; bool ends; } cases[] = {
        {"Escape", 1, {{SDL_SCANCODE_ESCAPE}}, true},
        {"Escape not allowed", 0, {{SDL_SCANCODE_ESCAPE}, {SDL_SCANCODE_RETURN}}, false},
        {"left Alt + F4", 0, {{SDL_SCANCODE_F4, KMOD_LALT}}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT({
            AllowEscape(c.allowEscape);
            run.keys = c.keys;
            if (c.keys[0].mod & KMOD_LALT) PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
            RtString text("x");
            InputText(text, 10, 10);
            std::fprintf(stderr, "returned [%s]\n", text.Buffer());
            std::exit(7);
        }, ::testing::ExitedWithCode(c.ends ? 0 : 7), c.ends ? "" : "returned \\[x\\]") << c.name;
    }
    EXPECT_EXIT({
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        RtString text;
        InputText(text, 10, 10);
        std::exit(7);
    }, ::testing::ExitedWithCode(0), "") << "close request";
}

} // namespace
