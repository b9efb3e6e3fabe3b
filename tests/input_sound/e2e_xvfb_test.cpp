// The real window under Xvfb: xdotool types and clicks into it as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>

#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

using namespace corvane::testing;

TEST(InputUnderXvfb, TypedLineAndClickReachTheProgram) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb, xwininfo or xdotool missing";
    XvfbServer x;
    ASSERT_TRUE(x.running());

    std::string probe = BuiltProgram("input_probe");
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({probe},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                           "TMPDIR=" + TestTempDir()},
                          60.0, &stop);
    });

    std::string id = x.FindProgramWindow("input_probe");
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\n" << x.Shell("xwininfo -root -tree") << "program output:\n" << run.get().output;
    }

    // Shift for the capital and the "!" comes from the X keyboard layout.
    x.Shell("xdotool windowfocus --sync " + id + " && sleep 0.5 && xdotool type --delay 150 \"Hi! 5\" "
            "&& xdotool key --delay 150 Return");
    x.Shell("sleep 0.5 && xdotool mousemove --window " + id + " 200 150 && xdotool mousedown 1 "
            "&& sleep 0.1 && xdotool mouseup 1");

    ProcessResult result = run.get();
    EXPECT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    // On a real X server the virtual mouse is the held, hidden relative mouse.
    EXPECT_NE(result.output.find("ready relative:1"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("typed:[Hi! 5]"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("clicked:1"), std::string::npos) << result.output;
}
