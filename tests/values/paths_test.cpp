// Names as programs write them ('\' separators, any letter case) reach the real
// files through every command that takes a file name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/platform/platform.h"
#include "runtime/platform/platform_files_internal.h"
#include "runtime/values/files_internal.h"
#include "runtime/values/values.h"
#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::ScratchDirTest;

class PathsTest : public ScratchDirTest {
protected:
    // Every row's files, each holding a line "k=<its own tag>".
    void MakeTree() {
        for (const char* folder : {"data", "gfx", "Both", "both", "deep", "deep/Inner"}) {
            ASSERT_EQ(mkdir(folder, 0755), 0) << folder;
        }
        for (const char* file : {"data/level1.txt", "gfx/ship.bmp", "Both/Same.txt", "Both/same.txt",
                                 "both/same.txt", "deep/Inner/x.txt"}) {
            Write(file, std::string("k=") + file + "\r\n");
        }
    }
};

struct NameCase {
    const char* written;   // the name as a program writes it
    const char* onDisk;    // the file it must reach; null when none
    const char* folder;    // the folder part as written (for SetCurrentDir); null when none
};

const NameCase kNames[] = {
    {"DATA\\LEVEL1.TXT", "data/level1.txt", "DATA"},
    {"Gfx\\Ship.BMP", "gfx/ship.bmp", "Gfx"},
    {"both/same.txt", "both/same.txt", "both"},           // the exact path wins over folded ones
    {"BOTH\\SAME.TXT", "Both/Same.txt", "BOTH"},          // first by byte order among folded matches
    {"both\\SAME.txt", "both/same.txt", "both"},          // exact folder, folded file
    {"Deep/inner\\X.TXT", "deep/Inner/x.txt", "Deep/inner"},
    {"MISSING\\level1.txt", nullptr, nullptr},            // no such folder
    {"data\\level2.txt", nullptr, "data"},                // no such file
    {"data/level1.txt/x", nullptr, nullptr},              // a file used as a folder
};

TEST_F(PathsTest, EveryFileCommandFindsTheFileAsWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "one Windows folder cannot hold names differing only in letter case (the file system folds case "
                    "itself there; this checks the POSIX build's folding)";
#endif
    MakeTree();
    for (const NameCase& c : kNames) {
        SCOPED_TRACE(c.written);
        const bool found = c.onDisk != nullptr;
        const std::string tag = found ? std::string("k=") + c.onDisk : "";
        if (found) {
            EXPECT_EQ(platform::SystemPath(c.written), c.onDisk);
        }
        EXPECT_EQ(FileExists(c.written), found ? 1.0 : 0.0);

        std::vector<unsigned char> bytes;
        EXPECT_EQ(platform::ReadFileBytes(c.written, bytes), found);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), found ? tag + "\r\n" : "");
        platform::FileInfo info;
        EXPECT_EQ(platform::GetFileInfo(c.written, &info), found);

        RtString line;
        EXPECT_EQ(ReadLineText(c.written, 0, line), found ? 0.0 : 3.0);
        EXPECT_STREQ(line.Buffer(), found ? tag.c_str() : "NO_FILE");
        ResetLineFileStore();

        IniOpen(c.written);
        EXPECT_STREQ(IniGet("", "K").Buffer(), found ? c.onDisk : "NO_DATA");
        ResetIniStore();

        char resolved[kMediaPathCapacity];
        EXPECT_EQ(ResolveMedia(nullptr, c.written, resolved), found ? 1 : 0);

        CopyFile(c.written, "Copy.out");
        EXPECT_EQ(Read("Copy.out"), found ? tag + "\r\n" : "");
        std::remove("Copy.out");

        if (c.folder) {
            EXPECT_EQ(SetCurrentDir(c.folder), 1.0);
            EXPECT_EQ(SetCurrentDir(".."), 1.0);
            if (std::string(c.folder) == "Deep/inner") {
                EXPECT_EQ(SetCurrentDir(".."), 1.0);
            }
        }
    }
    // Removing last, so that each row still finds its file above.
    std::vector<std::string> removed;
    for (const NameCase& c : kNames) {
        SCOPED_TRACE(c.written);
        const bool present = c.onDisk && std::find(removed.begin(), removed.end(), c.onDisk) == removed.end();
        EXPECT_EQ(RemoveFile(c.written) != 0.0, present);
        if (c.onDisk) {
            EXPECT_FALSE(Exists(c.onDisk));
        }
        if (present) removed.push_back(c.onDisk);
    }
    EXPECT_TRUE(Exists("Both/same.txt"));                 // never a folded match of another row
}

TEST_F(PathsTest, CreatedFilesKeepTheirNameInFoldersFoundIgnoringCase) {
#ifdef _WIN32
    GTEST_SKIP() << "one Windows folder cannot hold names differing only in letter case (the file system folds case "
                    "itself there; this checks the POSIX build's folding)";
#endif
    MakeTree();
    // A new file: the last part as written. An existing one (found ignoring case)
    // is replaced in place, never doubled.
    const struct {
        const char* written;
        const char* created;
    } cases[] = {
        {"DATA\\New.TXT", "data/New.TXT"},
        {"DATA\\LEVEL1.TXT", "data/level1.txt"},
        {"Deep\\INNER\\Save.ini", "deep/Inner/Save.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        WriteLineText(c.written, 1, "two");
        FlushLineFile();
        ResetLineFileStore();
        const std::string before = std::string(c.created) == "data/level1.txt" ? "k=data/level1.txt\r\n" : "\r\n";
        EXPECT_EQ(Read(c.created), before + "two\r\n");
        IniOpen(c.written);
        IniPut("S", "a", "b");
        IniSaveAtExit();
        const std::string kept = before == "\r\n" ? "" : "[]\r\n" + before;
        EXPECT_EQ(Read(c.created), kept + "[S]\r\na=b\r\n") << "the INI save";
    }
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory("DATA", entries));
    EXPECT_EQ(entries.size(), 4u);                        // ".", "..", level1.txt, New.TXT
    CopyFile("Gfx\\SHIP.bmp", "GFX\\Copy.BMP");
    EXPECT_EQ(Read("gfx/Copy.BMP"), "k=gfx/ship.bmp\r\n");
    EXPECT_TRUE(platform::RenameFile("GFX\\COPY.bmp", "Data\\Moved.bmp"));
    EXPECT_EQ(Read("data/Moved.bmp"), "k=gfx/ship.bmp\r\n");
    EXPECT_TRUE(platform::MakeDirectory("DATA\\Sub"));
    EXPECT_TRUE(platform::MakeDirectory("data\\SUB"));    // there already, found ignoring case
    struct stat st;
    EXPECT_EQ(stat("data/Sub", &st), 0);
}

TEST_F(PathsTest, FoldedLookupsSeeEveryChangeOfTheFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "names differing only in case cannot share a Windows folder, and no folded listing is kept there";
#else
    // The folder looks long unchanged, so its listing may be kept between look-ups;
    // each change below must still be seen by the very next look-up.
    ASSERT_EQ(mkdir("old", 0755), 0);
    Write("old/Zed.txt", "z");
    const auto age = [] {
        struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
        clock_gettime(CLOCK_REALTIME, &times[1]);
        times[1].tv_sec -= 30;
        ASSERT_EQ(utimensat(AT_FDCWD, "old", times, 0), 0);
    };
    age();
    const struct {
        const char* change;    // a shell-free step: "+name" makes, "-name" removes
        const char* found;     // what "OLD\\ZED.TXT" finds; null for nothing
    } steps[] = {{"", "old/Zed.txt"}, {"+zed.TXT", "old/Zed.txt"}, {"+ZED.txt", "old/ZED.txt"},
                 {"-ZED.txt", "old/Zed.txt"}, {"-Zed.txt", "old/zed.TXT"}, {"-zed.TXT", nullptr}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        const std::string name = std::string("old/") + (step.change[0] ? step.change + 1 : "");
        if (step.change[0] == '+') Write(name, step.change + 1);
        if (step.change[0] == '-') {
            ASSERT_EQ(std::remove(name.c_str()), 0);
        }
        EXPECT_EQ(FileExists("OLD\\ZED.TXT"), step.found ? 1.0 : 0.0);
        if (step.found) {
            EXPECT_EQ(platform::SystemPath("OLD\\ZED.TXT"), step.found);
        }
        age();
        EXPECT_EQ(FileExists("OLD\\ZED.TXT"), step.found ? 1.0 : 0.0);   // now from a kept listing
    }
#endif
}

TEST_F(PathsTest, PackedNamesStillResolveWithoutRealFiles) {
    Write("pack.dat", files_test::WritePack({{"level1.txt", "k=packed\r\n"}, {"ship.bmp", "BM"}}));
    CreateMediaContexts("PACK.DAT");
    for (const char* name : {"DATA\\LEVEL1.TXT", "data/level1.txt"}) {
        RtString line;
        ResetLineFileStore();
        EXPECT_EQ(ReadLineText(name, 0, line), 0.0) << name;
        EXPECT_STREQ(line.Buffer(), "k=packed");
    }
    char resolved[kMediaPathCapacity];
    ASSERT_EQ(ResolveMedia(MediaSource(1), "Gfx\\Ship.BMP", resolved), 1);
    EXPECT_EQ(Read(resolved), "BM");
}

TEST_F(PathsTest, ProgramsStartedByPathAreFoundIgnoringCase) {
    ASSERT_EQ(mkdir("tools", 0755), 0);
#ifdef _WIN32
    // The command interpreter runs a batch file by its name, in any letter case.
    Write("tools/helper.cmd", "@exit 7\r\n");
    const char* run = "TOOLS\\Helper.CMD arg";
    const char* missing = "Tools\\missing.cmd";
#else
    Write("tools/helper.sh", "#!/bin/sh\nexit 7\n");
    ASSERT_EQ(chmod("tools/helper.sh", 0755), 0);
    const char* run = "TOOLS\\Helper.SH arg";
    const char* missing = "Tools\\missing.sh";
#endif
    double code = 0;
    EXPECT_EQ(RunProgram(run, 1, 0, code), 1.0);
    EXPECT_EQ(code, 7.0);
    EXPECT_EQ(RunProgram(missing, 1, 0, code), 0.0);
}

TEST_F(PathsTest, ListFilesIsSortedWhateverTheCreationOrder) {
    // Created in reverse of the expected order; folders first, each group by
    // name ignoring case, bytes breaking ties.
    for (const char* folder : {"zeta", "Alpha"}) ASSERT_EQ(mkdir(folder, 0755), 0);
#ifdef _WIN32
    // Names differing only in case are one file there.
    const std::vector<const char*> files = {"c.txt", "b.TXT", "a10.txt", "a1.txt", "_x.txt"};
    const std::vector<const char*> expected = {".", "..", "Alpha", "zeta", "_x.txt", "a1.txt", "a10.txt", "b.TXT", "c.txt"};
#else
    const std::vector<const char*> files = {"c.txt", "b.TXT", "B.txt", "a10.txt", "a1.txt", "_x.txt"};
    const std::vector<const char*> expected = {".", "..", "Alpha", "zeta", "_x.txt", "a1.txt", "a10.txt", "B.txt", "b.TXT", "c.txt"};
#endif
    for (const char* file : files) Write(file, "x");
    RtStringArray names;
    EXPECT_EQ(ListFiles("*.txt", names), double(files.size()) + 65536.0 * 4.0);
    for (int i = 0; i < int(expected.size()); ++i) EXPECT_STREQ(ArrayElement(names, i, 0, 0, 0, 0, 0, 0, 0).Buffer(), expected[i]) << i;
}

TEST_F(PathsTest, PrivateTemporaryDirectoryIsRefusedWhenOthersCanReachIt) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows gives each user's temporary folder an access list of its own: no mode bits or owners to refuse";
#else
    // A folder made fresh, one open to others, a link to a private folder, and
    // (when the tests run as root) one owned by another user.
    ASSERT_EQ(mkdir("open", 0777), 0);
    ASSERT_EQ(chmod("open", 0777), 0);
    ASSERT_EQ(mkdir("real", 0700), 0);
    ASSERT_EQ(symlink("real", "link"), 0);
    ASSERT_EQ(mkdir("fallback", 0755), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(mkdir("theirs", 0700), 0);
        ASSERT_EQ(chown("theirs", 65534, 65534), 0);
    }
    const struct {
        const char* folder;
        bool used;
    } cases[] = {{"fresh", true}, {"real", true}, {"open", false}, {"link", false}, {"theirs", !root}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        if (std::string(c.folder) == "theirs" && !root) continue;
        std::string chosen = platform::internal::PrivateDirectory(dir + c.folder, dir + "fallback");
        ASSERT_FALSE(chosen.empty());
        EXPECT_EQ(chosen == dir + c.folder + "/", c.used) << chosen;
        EXPECT_TRUE(platform::internal::IsPrivateDirectory(chosen.substr(0, chosen.size() - 1)));
        if (!c.used) {
            EXPECT_EQ(chosen.rfind(dir + "fallback/corvane-", 0), 0u) << chosen;
        }
    }
#endif
}

TEST_F(PathsTest, RuntimeDirectoryIsUsedOnlyWhenItIsTheUsersOwnAndClosed) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no runtime directory: the temporary folder is the system's own per-user one";
#else
    const bool root = geteuid() == 0;
    const struct {
        const char* folder;
        int mode;           // -1: not there
        bool theirs;        // owned by another user (root only)
        bool used;
    } cases[] = {
        {"own", 0700, false, true},
        {"readable", 0755, false, false},
        {"open", 01777, false, false},
        {"theirs", 0700, true, false},
        {"theirs-open", 01777, true, false},
        {"missing", -1, false, false},
    };
    const std::string savedTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntimeText = savedRuntime ? savedRuntime : "";
    unsetenv("TMPDIR");
    const std::string fallback = "/tmp/corvane-" + std::to_string(geteuid());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        if (c.theirs && !root) continue;
        const std::string runtime = dir + c.folder;
        if (c.mode >= 0) {
            ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
            ASSERT_EQ(chmod(runtime.c_str(), static_cast<mode_t>(c.mode)), 0);
            if (c.theirs) {
                ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0);
            }
        }
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        const std::string chosen = platform::TempDirectory();
        EXPECT_EQ(chosen == runtime + "/corvane/", c.used) << chosen;
        if (!c.used) {
            EXPECT_EQ(chosen.rfind(fallback, 0), 0u) << chosen;
            struct stat st;
            EXPECT_NE(stat((runtime + "/corvane").c_str(), &st), 0) << "nothing is made inside it";
        }
    }
    setenv("TMPDIR", savedTmp.c_str(), 1);
    if (savedRuntime) setenv("XDG_RUNTIME_DIR", savedRuntimeText.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
#endif
}

TEST_F(PathsTest, TemporaryFilesReplacePlantedLinksInsteadOfFollowingThem) {
    Write("victim.txt", "keep");
    const std::string log = dir + "program.log", unpacked = dir + "~sbxAAx.bmp";
    for (const std::string& path : {log, unpacked}) {
#ifdef _WIN32
        if (symlink((dir + "victim.txt").c_str(), path.c_str()) != 0) GTEST_SKIP() << "the system refuses symbolic links here";
        continue;
#endif
        ASSERT_EQ(symlink((dir + "victim.txt").c_str(), path.c_str()), 0);
    }
    EXPECT_TRUE(platform::AppendLineToFile(log, "line"));
    std::FILE* f = platform::CreateTemporaryFile(unpacked);
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    std::fclose(f);
    EXPECT_EQ(Read("victim.txt"), "keep");
    EXPECT_EQ(Read(log), "line\r\n");
    EXPECT_EQ(Read(unpacked), "new");
#ifndef _WIN32
    struct stat st;
    ASSERT_EQ(lstat(unpacked.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
#endif
}

} // namespace
} // namespace corvane
