// InputText in the real window under Xvfb: xdotool types, a screenshot shows the line.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>

#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

using namespace corvane::testing;

TEST(TextInputUnderXvfb, TypedLineShowsOverThePictureAndReachesTheProgram) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb, xwininfo or xdotool missing";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({BuiltProgram("text_input_probe")},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                           "TMPDIR=" + TestTempDir()},
                          60.0, &stop);
    });
    std::string id = x.FindProgramWindow("text_input_probe");
    if (id.empty()) {
        stop = true;
        FAIL() << "no window\nprogram output:\n" << run.get().output;
    }
    // A doubled letter needs a frame to see its key up in between; 250 ms leaves room on a loaded machine.
    x.Shell("xdotool windowfocus --sync " + id + " && sleep 0.5 && xdotool type --delay 250 \"Hello 42\" && sleep 0.5");
    const std::string shot = TestTempDir() + "text_input.ppm";
    x.Shell("import -window " + id + " -depth 8 ppm:" + shot);
    const std::string line = x.Shell(BuiltProgram("screen-text") + " " + shot + " 100 200");
    const std::string prompt = x.Shell(BuiltProgram("screen-text") + " " + shot + " 100 180");
    const std::string picture = x.Shell("convert " + shot + " -format '%[pixel:p{600,400}]' info:");
    x.Shell("xdotool key Return");

    ProcessResult result = run.get();
    EXPECT_EQ(line.rfind("Hello 42", 0), 0u) << "screen line: " << line;   // a cursor may follow
    EXPECT_EQ(prompt.rfind("Name?", 0), 0u) << "prompt: " << prompt;
    EXPECT_NE(picture.find("(0,0,128)"), std::string::npos) << "picture pixel: " << picture;
    EXPECT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("text:[Hello 42]"), std::string::npos) << result.output;
}
