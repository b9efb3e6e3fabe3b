// Plain file and directory commands, and the system commands.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "runtime/platform/platform.h"
#include "runtime/platform/platform_files.h"
#include "runtime/values/values.h"
#include "tests/support/engine_fixture.h"
#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::ScratchDirTest;

class FilesTest : public ScratchDirTest {};

TEST_F(FilesTest, ExistsRemoveAndCopy) {
    Write("a.txt", "alpha");
    ASSERT_EQ(mkdir("folder", 0755), 0);
    EXPECT_EQ(FileExists("a.txt"), 1.0);
    EXPECT_EQ(FileExists("b.txt"), 0.0);
    EXPECT_EQ(FileExists("folder"), 0.0);            // a directory is no file
    EXPECT_EQ(FileExists(""), 0.0);

    std::string big;
    for (int i = 0; i < 30000; ++i) big += static_cast<char>(i * 7);
    Write("big.bin", big);
    CopyFile("big.bin", "copy.bin");
    EXPECT_EQ(Read("copy.bin"), big);
    Write("copy.bin", "old");
    CopyFile("a.txt", "copy.bin");                   // replaces the target
    EXPECT_EQ(Read("copy.bin"), "alpha");
    CopyFile("missing.bin", "never.bin");
    EXPECT_FALSE(Exists("never.bin"));
    CopyFile("a.txt", "a.txt");                      // onto itself: the data survives
    EXPECT_EQ(Read("a.txt"), "alpha");
    CopyFile("a.txt", "./folder/../a.txt");
    EXPECT_EQ(Read("a.txt"), "alpha");
    CopyFile("a.txt", "no-such-dir/x.txt");
    EXPECT_FALSE(Exists("no-such-dir/x.txt"));

    EXPECT_NE(RemoveFile("copy.bin"), 0.0);
    EXPECT_FALSE(Exists("copy.bin"));
    EXPECT_EQ(RemoveFile("copy.bin"), 0.0);
    EXPECT_EQ(RemoveFile("folder"), 0.0);
    EXPECT_TRUE(Exists("folder"));
}

TEST_F(FilesTest, CopyFromAnUnreadableSourceLeavesNoTarget) {
    // A directory opens on POSIX but cannot be read as a file.
    ASSERT_EQ(mkdir("src", 0755), 0);
    CopyFile("src", "target.bin");
    EXPECT_FALSE(Exists("target.bin"));
}

TEST_F(FilesTest, AFifoWithoutWriterBlocksNoCommand) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file systems have no FIFOs";
#else
    ASSERT_EQ(mkfifo("pipe.txt", 0644), 0);
    auto probe = std::async(std::launch::async, [] {
        RtString text;
        return FileExists("pipe.txt") * 10 + ReadLineText("pipe.txt", 0, text);
    });
    if (probe.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // A writer that comes and goes lets each blocked open through, so the test can end.
        for (int i = 0; i < 200 && probe.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready; ++i) {
            int writer = open("pipe.txt", O_WRONLY | O_NONBLOCK);
            if (writer >= 0) close(writer);
        }
        ADD_FAILURE() << "opening a FIFO without a writer blocked";
    }
    EXPECT_EQ(probe.get(), 10.0);                    // exists; reads as an empty file
#endif
}

TEST_F(FilesTest, CurrentDirectoryHasForwardSlashesAndOneTrailingSlash) {
    std::string current = GetCurrentDir().Buffer();
    EXPECT_EQ(current, dir);
    ASSERT_EQ(mkdir("sub", 0755), 0);
    EXPECT_EQ(SetCurrentDir("sub"), 1.0);
    EXPECT_EQ(std::string(GetCurrentDir().Buffer()), dir + "sub/");
    EXPECT_EQ(SetCurrentDir("does-not-exist"), 0.0);
    EXPECT_EQ(SetCurrentDir("/"), 1.0);
    // The root keeps its single slash (on Windows a drive's: "C:/").
    const std::string root = GetCurrentDir().Buffer();
#ifdef _WIN32
    EXPECT_TRUE(root.size() == 3 && std::isalpha(static_cast<unsigned char>(root[0])) && root.substr(1) == ":/") << root;
#else
    EXPECT_EQ(root, "/");
#endif
    EXPECT_EQ(SetCurrentDir(dir.c_str()), 1.0);
}

TEST_F(FilesTest, ListFilesPutsDirectoriesFirstAndCountsThemHigh) {
    Write("a.txt", "");
    Write("b.png", "");
    Write("C.TXT", "");
    Write("txt", "");
    ASSERT_EQ(mkdir("d", 0755), 0);
    ASSERT_EQ(mkdir("e.txt", 0755), 0);
    RtStringArray names;
    double result = ListFiles("*.txt", names);
    EXPECT_EQ(result, 2.0 + 65536.0 * 4.0);         // ".", "..", d, e.txt; a.txt and C.TXT
    ASSERT_EQ(names.sizes[0], 6);
    std::vector<std::string> dirs, files;
    for (int i = 0; i < 4; ++i) dirs.push_back(ArrayElement(names, i, 0, 0, 0, 0, 0, 0, 0).Buffer());
    for (int i = 4; i < 6; ++i) files.push_back(ArrayElement(names, i, 0, 0, 0, 0, 0, 0, 0).Buffer());
    std::sort(dirs.begin(), dirs.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(dirs, (std::vector<std::string>{".", "..", "d", "e.txt"}));
    EXPECT_EQ(files, (std::vector<std::string>{"C.TXT", "a.txt"}));

    EXPECT_EQ(ListFiles("?.png", names), 1.0 + 65536.0 * 4.0);
    EXPECT_EQ(ListFiles("nothing", names), 65536.0 * 4.0);
    EXPECT_EQ(names.sizes[0], 4);
}

TEST(SystemTest, PlatformInfoQueries) {
    RtString query("");
#ifdef _WIN32
    EXPECT_STREQ(PlatformInfo(query).Buffer(), "WIN32");
#else
    EXPECT_STREQ(PlatformInfo(query).Buffer(), "LINUX");
#endif
    RtString device("device");
    EXPECT_STREQ(PlatformInfo(device).Buffer(), "DESKTOP");
    EXPECT_STREQ(device.Buffer(), "DEVICE");         // the query is upper-cased in place
    RtString other("version");
    EXPECT_STREQ(PlatformInfo(other).Buffer(), "NO_DATA");
    RtString id("Id");
    std::string first = PlatformInfo(id).Buffer();
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), std::string::npos) << first;
    EXPECT_EQ(first, std::string(PlatformInfo(id).Buffer()));  // stable
}

// A program that carries a pack at its end names itself as on Linux, without ".exe".
TEST(SystemTest, TheRunningProgramReadsItselfByItsNameWithoutTheSuffix) {
    const std::string self = platform::ModulePath();
    const std::string bare = self.substr(0, self.size() - std::strlen(testing::kProgramSuffix));
    EXPECT_TRUE(platform::IsReadableFile(bare.c_str())) << bare;
    EXPECT_EQ(platform::ReadProblem(bare.c_str()), "") << bare;
#ifdef _WIN32
    // Only the running program: any other is named in full.
    const std::string other = ::testing::TempDir() + "other_program";
    ASSERT_TRUE(testing::WriteFile(other + ".exe", "MZ"));
    EXPECT_FALSE(platform::IsReadableFile(other.c_str())) << other;
    EXPECT_EQ(platform::ReadProblem(other.c_str()), "not found") << other;
#endif
}

// Commands of the system's own command interpreter (sh here, cmd on Windows).
#ifdef _WIN32
const char* const kExit300 = "cmd /c exit 300";
const double kExit300Status = 300.0;                 // exit codes are 32 bits there
const char* const kSucceed = "cd .";
#else
const char* const kExit300 = "sh -c 'exit 300'";
const double kExit300Status = 44.0;                  // exit statuses are 8 bits here
const char* const kSucceed = "true";
#endif

TEST(SystemTest, RunProgramWaitsForTheExitCode) {
    double code = -1;
    EXPECT_EQ(RunProgram("exit 3", 1, 1, code), 1.0);
    EXPECT_EQ(code, 3.0);
    EXPECT_EQ(RunProgram(kExit300, 1, 0, code), 1.0);
    EXPECT_EQ(code, kExit300Status);
    EXPECT_EQ(RunProgram(kSucceed, 1, 0, code), 1.0);
    EXPECT_EQ(code, 0.0);
    code = -1;
    EXPECT_EQ(RunProgram("no-such-program-corvane --x", 1, 1, code), 0.0);
    EXPECT_EQ(code, 0.0);
    EXPECT_EQ(RunProgram("/no/such/program", 0, 1, code), 0.0);
    EXPECT_EQ(RunProgram("", 1, 1, code), 0.0);
}

TEST(SystemTest, RunProgramWithoutWaitReturnsAtOnce) {
    std::string marker = corvane::testing::TestTempDir() + "ran-marker";
    std::remove(marker.c_str());
    double code = -1;
    auto start = std::chrono::steady_clock::now();
#ifdef _WIN32
    // ping waits a second between its two tries: cmd has no sleep.
    const std::string slow = "ping -n 2 127.0.0.1 > NUL & echo done> \"" + marker + "\"";
    const std::string check = "ping -n 3 127.0.0.1 > NUL & findstr /x done \"" + marker + "\" > NUL";
#else
    const std::string slow = "sleep 0.5; echo done > " + marker;
    const std::string check = "sleep 0.8; test \"$(cat " + marker + ")\" = done";
#endif
    EXPECT_EQ(RunProgram(slow.c_str(), 0, 1, code), 1.0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(400));
    EXPECT_EQ(code, 0.0);
    // Waiting for a later program does not depend on the earlier one.
    EXPECT_EQ(RunProgram(check.c_str(), 1, 1, code), 1.0);
    EXPECT_EQ(code, 0.0);
}

TEST(SystemTest, StartedProgramsInheritNoOpenFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "no descriptor numbers nor /proc to look for an inherited file from the child on Windows "
                    "(programs are started there without handle inheritance)";
#endif
    // A descriptor of this program, open without close-on-exec.
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, 77), 77);
    close(fd);
    double code = -1;
    EXPECT_EQ(RunProgram("test -e /proc/self/fd/77", 1, 0, code), 1.0);
    EXPECT_EQ(code, 1.0) << "the started shell holds descriptor 77";
    EXPECT_EQ(RunProgram("test -e /proc/self/fd/2", 1, 0, code), 1.0);
    EXPECT_EQ(code, 0.0);                            // the standard streams stay
    close(77);
}

TEST(SystemTest, CommandLineTextIsACopy) {
    commandLine = "-level 3 \"my file\"";
    RtString text = CommandLineText();
    EXPECT_STREQ(text.Buffer(), "-level 3 \"my file\"");
    text += "x";
    EXPECT_STREQ(commandLine.Buffer(), "-level 3 \"my file\"");
}

} // namespace
} // namespace corvane
