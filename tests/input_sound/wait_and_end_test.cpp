// The wait commands and the keys that end the program.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "runtime/platform/platform.h"
#include "tests/input_sound/input_events.h"

using namespace corvane;
using namespace input_test;

namespace {

using Clock = std::chrono::steady_clock;

// Plays a script of events from another thread (SDL_PushEvent is thread-safe); if
// the waiting command never returns, the process fails instead of hanging.
class Script {
public:
    template <typename F>
    explicit Script(F body) : thread_([this, body] {
        body();
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!done_ && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done_) {
            std::fprintf(stderr, "wait command did not return\n");
            std::_Exit(3);
        }
    }) {}
    ~Script() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class Waits : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(corvane::testing::StartHeadlessEngine());
        ReleaseEverything();
        InKey();
    }
    void TearDown() override { ReleaseEverything(); }
};

TEST_F(Waits, WaitForMouseWaitsOutAHeldButtonThenForANewPress) {
    PushButton(SDL_BUTTON_LEFT, true);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    std::atomic<bool> released{false}, pressedAgain{false};
    auto start = Clock::now();
    {
        Script script([&] {
            Sleep(150);
            released = true;
            PushButton(SDL_BUTTON_LEFT, false);
            Sleep(250);
            pressedAgain = true;
            PushButton(SDL_BUTTON_RIGHT, true);
        });
        WaitForMouse();
        EXPECT_TRUE(released);
        EXPECT_TRUE(pressedAgain);
    }
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(390));
}

TEST_F(Waits, WaitForMouseCatchesAClickBetweenTwoLooks) {
    std::atomic<bool> clicked{false};
    Script script([&] {
        Sleep(100);
        clicked = true;
        PushButton(SDL_BUTTON_LEFT, true);     // a touchpad tap: both at once
        PushButton(SDL_BUTTON_LEFT, false);
    });
    WaitForMouse();
    EXPECT_TRUE(clicked);
}

TEST_F(Waits, WaitForKeyReturnsOnAStrokeAndConsumesIt) {
    std::atomic<bool> typed{false};
    {
        Script script([&] {
            Sleep(100);
            PushMotion(3, 3);                  // motion and buttons are no key stroke
            PushButton(SDL_BUTTON_LEFT, true);
            Sleep(100);
            typed = true;
            PushKey(SDL_SCANCODE_K, true);
        });
        WaitForKey();
        EXPECT_TRUE(typed);
    }
    EXPECT_FALSE(AnyKeyChar(*TheInput()));  // the held key was consumed
    EXPECT_STREQ(InKey().Buffer(), "");
}

TEST_F(Waits, IdleUntilInputSleepsWithoutInputAndReturnsOnAKey) {
    // Until the idle step has seen the present keys, mouse and joysticks, it returns early.
    for (int i = 0; i < 4; ++i) IdleUntilInput();
    auto start = Clock::now();
    IdleUntilInput();
    auto idle = Clock::now() - start;
    EXPECT_GE(idle, std::chrono::milliseconds(8 * 30 - 10));   // eight passes of 30 ms
    EXPECT_LT(idle, std::chrono::milliseconds(2000));

    PushKey(SDL_SCANCODE_J, true);
    start = Clock::now();
    IdleUntilInput();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));  // well short of one idle step

    // Held on, the key is no news: the idle step sleeps again instead of spinning.
    start = Clock::now();
    IdleUntilInput();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(8 * 30 - 10));
    PushKey(SDL_SCANCODE_J, false);
    Pump();
    SDL_Delay(kPastMinimumPressMs);
    start = Clock::now();
    IdleUntilInput();                          // the release is news
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));  // well short of one idle step
}

// ---------------------------------------------------------------- program end

class EndingKeys : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(EndingKeys, EscapeEndsTheProgramWithStatusZero) {
    EXPECT_EXIT(
        {
            corvane::testing::StartHeadlessEngine();
            PushKey(SDL_SCANCODE_ESCAPE, true);
            PresentFrame();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(EndingKeys, EscapeIsIgnoredWhileNotAllowed) {
    EXPECT_EXIT(
        {
            corvane::testing::StartHeadlessEngine();
            AllowEscape(0);
            PushKey(SDL_SCANCODE_ESCAPE, true);
            for (int i = 0; i < 5; ++i) PresentFrame();
            IdleUntilInput();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST_F(EndingKeys, LeftAltWithF4EndsTheProgramEvenWithoutEscape) {
    EXPECT_EXIT(
        {
            corvane::testing::StartHeadlessEngine();
            AllowEscape(0);
            PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
            PushKey(SDL_SCANCODE_F4, true, KMOD_LALT);
            PresentFrame();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(EndingKeys, RightAltWithF4OrF4AloneDoNotEndIt) {
    EXPECT_EXIT(
        {
            corvane::testing::StartHeadlessEngine();
            PushKey(SDL_SCANCODE_F4, true);
            PresentFrame();
            PushKey(SDL_SCANCODE_RALT, true, KMOD_RALT);
            for (int i = 0; i < 3; ++i) PresentFrame();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

// A minute of mouse movement with the button held is more events than SDL's queue
// holds; the wait must still see the release, the next click or a close request.
TEST_F(EndingKeys, HeldButtonWaitSurvivesAFloodOfMotion) {
    struct Case {
        const char* name;
        bool closeWhileHeld;
        int exitCode;                          // 0: ended by the close request; 5: the wait returned
    };
    for (const Case& c : {Case{"release then click", false, 5}, Case{"close request while held", true, 0}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                corvane::testing::StartHeadlessEngine();
                PushButton(SDL_BUTTON_LEFT, true);
                Pump();
                SDL_Delay(kPastMinimumPressMs);
                std::atomic<bool> clicked{false};
                Script script([&] {
                    for (int i = 0; i < 70000; ++i) {
                        PushMotion(1, -1, 100 + i % 200, 100);
                        if (i % 1000 == 999) Sleep(1);   // a fast mouse, compressed in time
                    }
                    if (c.closeWhileHeld) {
                        corvane::platform::PostWindowEvent(corvane::platform::WindowEvent::CloseRequested);
                        return;
                    }
                    PushButton(SDL_BUTTON_LEFT, false);
                    Sleep(200);
                    clicked = true;
                    PushButton(SDL_BUTTON_LEFT, true);
                });
                WaitForMouse();
                std::_Exit(clicked ? 5 : 6);
            },
            ::testing::ExitedWithCode(c.exitCode), "");
    }
}

TEST_F(EndingKeys, EscapeEndsAWait) {
    EXPECT_EXIT(
        {
            corvane::testing::StartHeadlessEngine();
            PushKey(SDL_SCANCODE_ESCAPE, true);
            WaitForMouse();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
