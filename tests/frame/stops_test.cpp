// Stops and exit statuses, seen from outside: a program run as a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"

namespace {

using corvane::testing::BuiltProgram;
using corvane::testing::ErrorLogLines;
using corvane::testing::RunProcess;
using corvane::testing::TestTempDir;
using corvane::testing::WriteFile;

TEST(Stops, SayWhyOnStandardErrorAndInTheLogAndExitWithTheirStatus) {
    const std::string broken = TestTempDir() + "broken.bmp";
    ASSERT_TRUE(WriteFile(broken, "this is text, not a picture\n"));
    const struct {
        const char* scenario;
        int status;
        std::string stopLine;   // empty: no stop is said anywhere
    } cases[] = {
        {"index", 1, "stopped: array index out of range (error 9) at line 42 of source file 1"},
        {"undimensioned", 1, "stopped: an array with no elements was read or written (error 8) at line 42 of source file 1"},
        {"font", 1, "stopped: LoadFont \"" + broken + "\": not a picture (BMP, PNG, JPEG or TGA) (error 3)"},
        {"background", 1, "stopped: LoadBackground \"" + broken + "\": not a picture (BMP, PNG, JPEG or TGA) (error 3)"},
        {"fade", 1, "stopped: FadeToBackground \"" + broken + "\": not a picture (BMP, PNG, JPEG or TGA) (error 3)"},
        // A missing background changes nothing; the program goes on to its normal end.
        {"background-missing", 0, ""},
        {"return3", 3, ""},
        {"end", 0, ""},
        {"normal", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        const std::string dir = TestTempDir() + "stop-" + c.scenario;
        std::error_code made;
        std::filesystem::create_directories(dir, made);
        ASSERT_FALSE(made) << made.message();
        const auto run = RunProcess({BuiltProgram("stop_probe"), c.scenario},
                                    {"TMPDIR=" + dir, "STOP_PROBE_FILE=" + broken}, 60.0);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        const std::vector<std::string> log = ErrorLogLines(dir + "/", "stop_probe");
        const bool logged = std::find(log.begin(), log.end(), c.stopLine) != log.end();
        if (c.stopLine.empty()) {
            EXPECT_EQ(run.output.find("stopped:"), std::string::npos) << run.output;
            for (const std::string& line : log) EXPECT_EQ(line.find("stopped:"), std::string::npos) << line;
        } else {
            EXPECT_NE(run.output.find(c.stopLine + "\n"), std::string::npos) << run.output;
            EXPECT_TRUE(logged) << "not in the log: " << c.stopLine;
        }
    }
}

TEST(ErrorLog, TwoProgramsOneAfterTheOtherKeepSeparateLogs) {
    // The second program's start must not empty the first one's account of its stop.
    const std::string dir = TestTempDir() + "two-programs";
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    ASSERT_FALSE(made) << made.message();
    const std::vector<std::string> env = {"TMPDIR=" + dir};
    EXPECT_EQ(RunProcess({BuiltProgram("stop_probe"), "index"}, env, 60.0).exitStatus, 1);
    EXPECT_EQ(RunProcess({BuiltProgram("frame_probe"), "normal"}, env, 60.0).exitStatus, 0);
    const auto first = ErrorLogLines(dir + "/", "stop_probe"), second = ErrorLogLines(dir + "/", "frame_probe");
    const std::string stop = "stopped: array index out of range (error 9) at line 42 of source file 1";
    EXPECT_NE(std::find(first.begin(), first.end(), stop), first.end());
    EXPECT_EQ(std::find(second.begin(), second.end(), stop), second.end());
    for (const auto* log : {&first, &second})
        EXPECT_NE(std::find(log->begin(), log->end(), "Current Dir"), log->end());
}

} // namespace
