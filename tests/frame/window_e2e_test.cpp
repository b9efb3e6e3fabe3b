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

    std::string id = x.FindProgramWindow("fmod_player");
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

TEST(WindowUnderXvfb, SoftwareBoxCanBeTurnedOffAndNeverLeavesTheProgramPaused) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb, xwininfo or xdotool missing";
    // Xvfb's GL is Mesa's software rasteriser, so the box is due unless turned off.
    const struct {
        const char* name;
        const char* setting;
        bool boxExpected;
    } cases[] = {
        {"turned off", "CORVANE_NO_SOFTWARE_GL_BOX=1", false},
        {"shown and answered", "CORVANE_NO_SOFTWARE_GL_BOX=", true},
        {"0 keeps it", "CORVANE_NO_SOFTWARE_GL_BOX=0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XvfbServer x;
        ASSERT_TRUE(x.running());
        auto run = std::async(std::launch::async, [&] {
            return RunProcess({BuiltProgram("frame_probe"), "frames", "box_probe"},
                              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                               "TMPDIR=" + TestTempDir(), c.setting},
                              30.0);
        });
        // Nobody gives the window the focus back here: no window manager, and the
        // test only presses Return in the box.
        EXPECT_EQ(x.AnswerSoftwareWarning(c.boxExpected ? 10.0 : 3.0), c.boxExpected);
        // A Return typed before the box took it leaves the box up: answer again.
        for (int again = 0; c.boxExpected && again < 3 && x.AnswerSoftwareWarning(1.0); ++again) {
        }
        const ProcessResult result = run.get();
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        const size_t at = result.output.find("frames=");
        ASSERT_NE(at, std::string::npos) << result.output;
        // 60 frames a second for 1.5 s; a paused program would show none.
        EXPECT_GE(std::atoi(result.output.c_str() + at + 7), 45) << result.output;
    }
}
