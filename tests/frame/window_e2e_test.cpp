// The real window under Xvfb: it appears with its title and client size, and the
// close box ends the program with status 0.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

using namespace corvane::testing;

TEST(WindowUnderXvfb, AppearsTitledAndClosesWithStatusZero) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb, xwininfo or xdotool missing";
    XvfbServer x;
    ASSERT_TRUE(x.running());

    std::string probe = BuiltProgram("frame_probe");
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({probe, "wait", "fmod_player"},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                           "TMPDIR=" + TestTempDir()},
                          60.0, &stop);
    });

    // Mesa's software renderer brings up the driver warning first; a user answers it.
    x.AnswerSoftwareWarning(8.0);
    // Without a window manager the window may have lost focus to the warning box and
    // be paused; focusing it resumes the program and restores the title.
    std::string id = x.FindWindow("fmod_player <pause>", 5.0);
    if (!id.empty()) x.Shell("xdotool windowfocus " + id);
    id = x.FindWindow("fmod_player", 20.0);
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\n" << x.Shell("xwininfo -root -tree") << "program output:\n" << run.get().output;
    }

    std::string info = x.Shell("xwininfo -id " + id);
    EXPECT_NE(info.find("Width: 640"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 480"), std::string::npos) << info;

    std::string closer = BuiltProgram("x11_close");
    x.Shell(closer + " " + id);
    ProcessResult result = run.get();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.output;
}
