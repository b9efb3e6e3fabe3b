// A program's own settings: 1280 x 720, its title and 30 frames a second, set by its
// ProgramSettings hook through the real process entry.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

namespace {

using namespace corvane::testing;

// "name=1 2 3" lines of the probe's output as name -> numbers.
std::map<std::string, std::vector<double>> Readings(const std::string& output) {
    std::map<std::string, std::vector<double>> seen;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::istringstream numbers(line.substr(eq + 1));
        double v;
        while (numbers >> v) seen[line.substr(0, eq)].push_back(v);
    }
    return seen;
}

TEST(ProgramSettings, WindowOfTheProgramsSizeWithEveryKindOfDrawingInItsPlace) {
    const auto run = RunProcess({BuiltProgram("settings_probe")}, {"TMPDIR=" + TestTempDir()}, 60.0);
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    auto seen = Readings(run.output);
    // count, left, top, right, bottom of what was found
    const struct {
        const char* name;
        std::vector<double> want;
        double margin;
    } cases[] = {
        {"size", {1280, 720}, 0},
        {"sprite", {32 * 32, 1200, 650, 1231, 681}, 0},                    // wholly at its place near the far corner
        {"text", {-1, 1000, 40, -1, -1}, 2},                               // "SETTINGS" from (1000, 40)
        {"cube", {-1, 640 - 89, 360 - 89, 640 + 88, 360 + 88}, 4},         // centred, square: the aspect is 16:9's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(seen[c.name].size(), c.want.size()) << run.output;
        for (size_t i = 0; i < c.want.size(); ++i) {
            if (c.want[i] >= 0) {
                EXPECT_NEAR(seen[c.name][i], c.want[i], c.margin) << "value " << i;
            }
        }
    }
    EXPECT_GT(seen["text"][0], 40) << "no text drawn";
    // "SETTINGS" in the built-in font's cells, on one line.
    EXPECT_GT(seen["text"][3], 1040);
    EXPECT_LT(seen["text"][4], 40 + 16);
    // 30 frames a second: never faster; slower only as far as a loaded machine makes it.
    ASSERT_EQ(seen["frame_ms"].size(), 1u) << run.output;
    EXPECT_GE(seen["frame_ms"][0], 33.2);
    EXPECT_LT(seen["frame_ms"][0], 45.0);
}

TEST(ProgramSettings, TheWindowCarriesTheProgramsTitleAndSize) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb, xwininfo or xdotool missing";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({BuiltProgram("settings_probe"), "wait"},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                           "TMPDIR=" + TestTempDir(), "CORVANE_NO_SOFTWARE_GL_BOX=1"},
                          60.0, &stop);
    });
    const std::string id = x.FindWindow("Settings probe", 20.0);
    const std::string info = id.empty() ? x.Shell("xwininfo -root -tree") : x.Shell("xwininfo -id " + id);
    stop = true;
    run.get();
    ASSERT_FALSE(id.empty()) << info;
    EXPECT_NE(info.find("Width: 1280"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 720"), std::string::npos) << info;
}

} // namespace
