// packed as a player meets it: the executable alone in an empty folder, its media
// read from the pack at its end; a real file beside it still comes first.
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/examples/example_run.h"

using namespace example_test;
using corvane::testing::WriteFile;

namespace {

struct PackedCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> besideIt;  // files placed beside the executable
    std::vector<std::string> lines;                               // text at y = 8, 24, 40, 56
};

TEST(PackedExample, RunsFromThePackAtTheEndOfItsExecutable) {
    if (!ExampleBuilt("packed")) GTEST_SKIP() << "examples not built";
    const PackedCase cases[] = {
        {"alone in an empty folder", {},
         {"Everything on this screen came out of the executable.", "settings.ini: Hello from settings.ini",
          "ball.bmp: loaded", "beep.wav: loaded"}},
        {"a real file of the same name comes first",
         {{"media/message.txt", "A file beside it.\r\n"}, {"media/settings.ini", "[packed]\r\ngreeting=Mine\r\n"}},
         {"A file beside it.", "settings.ini: Mine", "ball.bmp: loaded", "beep.wav: loaded"}},
    };
    for (const PackedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = NewRunDir("packed-home");
        ASSERT_FALSE(dir.empty());
        // The executable alone (on Windows with the libraries' DLLs it needs beside it).
        const std::filesystem::path built = ExamplePath("packed");
        const std::string copied = dir + built.filename().string();
        std::filesystem::copy_file(built, copied);
        for (const auto& file : std::filesystem::directory_iterator(built.parent_path()))
            if (file.path().extension() == ".dll") std::filesystem::copy_file(file.path(), dir + file.path().filename().string());
        std::filesystem::create_directories(dir + "media");
        for (const auto& [name, text] : c.besideIt) ASSERT_TRUE(WriteFile(dir + name, text));
        ExampleRun run = RunExampleAt(copied, {}, "", 10);
        ASSERT_FALSE(run.process.timedOut) << run.process.output;
        ASSERT_EQ(0, run.process.exitStatus) << run.process.output;
        for (size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(c.lines[i], ScreenText(run.shotPath, 8, 8 + 16 * int(i))) << "line " << i;
        // The ball from the pack: yellow in the middle, its key colour left out at the corner.
        EXPECT_EQ(0xFFDC00u, run.screen.Pixel(304 + 16, 224 + 16));
        EXPECT_EQ(0u, run.screen.Pixel(304, 224));
    }
}

} // namespace
