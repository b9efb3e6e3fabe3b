// The program end: temporary media files go, the INI store and the line file are
// written at process exit. The end runs in a forked child of the test.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "runtime/frame/frame.h"
#include "tests/values/files_test_support.h"

namespace {
// Set only in the forked child that ends the program: the GL driver it started is
// unloaded at exit, so the leak checker can neither name nor suppress what the
// driver keeps. Every other test of this binary is still checked.
bool endingChild = false;
} // namespace

extern "C" int __lsan_is_turned_off() { return endingChild ? 1 : 0; }

namespace corvane {
namespace {

using files_test::ScratchDirTest;

class ProgramEndTest : public ScratchDirTest {};

void RunAndEnd(const std::string& dir) {
    endingChild = true;
    if (!corvane::testing::StartHeadlessEngine()) std::_Exit(2);
    if (!MediaSource(0) || !MediaSource(1)) std::_Exit(3);  // start-up made both contexts
    if (chdir(dir.c_str()) != 0) std::_Exit(4);                             // start-up moved to the program folder
    SetMediaPacks(RtString("end.pak"), RtString("end.pak"));
    char path[kMediaPathCapacity];
    if (!ResolveMedia(MediaSource(0), "song.mod", path)) std::_Exit(5);
    corvane::testing::WriteFile("temp-path.txt", path);
    IniOpen("end.ini");
    IniPut("S", "k", "v");
    WriteLineText("end.txt", 1, "second");
    EndProgram();
}

TEST_F(ProgramEndTest, EndDeletesTemporaryFilesAndExitSavesTheStores) {
    // Where a death test's child is this program started again (Windows), it works
    // in the parent's folder, named in the environment.
    std::string where = dir;
    if (const char* inherited = std::getenv("PROGRAM_END_TEST_DIR")) where = inherited;
    else setenv("PROGRAM_END_TEST_DIR", dir.c_str(), 1);
    Write(where + "end.pak", files_test::WritePack({{"song.mod", "music"}}));
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(RunAndEnd(where), ::testing::ExitedWithCode(0), "");
    unsetenv("PROGRAM_END_TEST_DIR");
    std::string tempPath = Read("temp-path.txt");
    ASSERT_FALSE(tempPath.empty());
    EXPECT_FALSE(Exists(tempPath)) << tempPath;
    EXPECT_EQ(Read("end.ini"), "[S]\r\nk=v\r\n");
    EXPECT_EQ(Read("end.txt"), "\r\nsecond\r\n");
}

} // namespace
} // namespace corvane
