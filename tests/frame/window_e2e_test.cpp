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
