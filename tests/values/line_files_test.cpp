// The line-file store: selection, reading rules, write-back and the cut rule.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "runtime/platform/platform_files.h"
#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::ScratchDirTest;

class LineFileTest : public ScratchDirTest {
protected:
    std::string Line(const char* file, double index, double* result = nullptr) {
        RtString text;
        double r = ReadLineText(file, index, text);
        if (result) *result = r;
        return text.Buffer();
    }
};

TEST_F(LineFileTest, ReadsCrLfAndLfLinesWithoutLineEnds) {
    Write("mixed.txt", "first\r\nsecond\nthird\r\n\nlast");
    double r = -1;
    EXPECT_EQ(Line("mixed.txt", 0, &r), "first");
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(Line("mixed.txt", 1), "second");
    EXPECT_EQ(Line("mixed.txt", 2), "third");
    EXPECT_EQ(Line("mixed.txt", 3), "NO_DATA");   // the empty line
    EXPECT_EQ(Line("mixed.txt", 4), "last");      // no line feed at the end
    EXPECT_EQ(Line("mixed.txt", 5), "NO_DATA");   // beyond the last line
}

TEST_F(LineFileTest, TrailingControlAndHighBytesAreTrimmedOnRead) {
    Write("t.txt", "\t\nvalue\t\na\tb\ncaf\xe9\n\x01\x02 x\x1f\n");
    EXPECT_EQ(Line("t.txt", 0), "NO_DATA");        // a tab only
    EXPECT_EQ(Line("t.txt", 1), "value");          // a tab at the end
    EXPECT_EQ(Line("t.txt", 2), "a\tb");           // inner tab kept
    EXPECT_EQ(Line("t.txt", 3), "caf");            // byte 233 is negative as a signed byte
    EXPECT_EQ(Line("t.txt", 4), "\x01\x02 x");     // leading control bytes stay
    double number = -1;
    Write("n.txt", "12.5\n");
    EXPECT_EQ(ReadLineNumber("n.txt", 0, number), 0.0);
    EXPECT_EQ(number, 12.5);
}

TEST_F(LineFileTest, MissingFileGivesNoFileOnceThenNoData) {
    double r = -1;
    EXPECT_EQ(Line("absent.txt", 0, &r), "NO_FILE");
    EXPECT_EQ(r, 3.0);
    EXPECT_EQ(engine.errorCode, 3.0);
    // The empty store is now selected under that name.
    EXPECT_EQ(Line("absent.txt", 0, &r), "NO_DATA");
    EXPECT_EQ(r, 0.0);
    double number = -1;
    EXPECT_EQ(ReadLineNumber("other-absent.txt", 2, number), 3.0);
    EXPECT_EQ(number, 0.0);                         // atof of "NO_FILE"
}

TEST_F(LineFileTest, WritingLineTenWritesElevenCrLfLinesOnSwitch) {
    EXPECT_EQ(WriteLineText("new.txt", 10, "ten"), 0.0);
    EXPECT_FALSE(Exists("new.txt"));                // a write never touches the disk by itself
    EXPECT_EQ(Line("new.txt", 10), "ten");          // same name: no re-read, the write is visible
    Write("other.txt", "x\n");
    EXPECT_EQ(Line("other.txt", 0), "x");
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += "\r\n";
    EXPECT_EQ(Read("new.txt"), expected + "ten\r\n");
}

TEST_F(LineFileTest, SelectingTheSameNameKeepsUnsavedWrites) {
    Write("a.txt", "one\ntwo\n");
    EXPECT_EQ(Line("a.txt", 0), "one");
    WriteLineNumber("a.txt", 1, 2.5);
    Write("a.txt", "changed on disk\n");            // not re-read while selected
    EXPECT_EQ(Line("a.txt", 1), "2.5");
    EXPECT_EQ(Line("a.txt", 0), "one");
    FlushLineFile();
    EXPECT_EQ(Read("a.txt"), "one\r\n2.5\r\n");
}

TEST_F(LineFileTest, UnchangedFileIsNotWrittenBack) {
    Write("keep.txt", "a\nb\n");
    EXPECT_EQ(Line("keep.txt", 0), "a");
    EXPECT_EQ(Line("missing.txt", 0), "NO_FILE");
    FlushLineFile();
    EXPECT_EQ(Read("keep.txt"), "a\nb\n");
    EXPECT_FALSE(Exists("missing.txt"));
}

TEST_F(LineFileTest, BadIndicesRecordSevenAndTouchNothing) {
    Write("i.txt", "zero\n");
    double r = -1;
    EXPECT_EQ(Line("i.txt", 256, &r), "NO_DATA");
    EXPECT_EQ(r, 7.0);
    EXPECT_EQ(engine.errorCode, 7.0);
    engine.errorCode = 0;
    EXPECT_EQ(Line("i.txt", -1, &r), "NO_DATA");     // negative slots are refused too
    EXPECT_EQ(r, 7.0);
    EXPECT_EQ(WriteLineText("i.txt", 300, "x"), 7.0);
    EXPECT_EQ(WriteLineText("i.txt", -2, "x"), 7.0);
    EXPECT_EQ(Line("i.txt", -0.5), "zero");          // truncated toward zero
    EXPECT_EQ(Line("i.txt", 255.9), "NO_DATA");
    FlushLineFile();
    EXPECT_EQ(Read("i.txt"), "zero\n");              // nothing was written
}

TEST_F(LineFileTest, OnlyTheFirst256LinesAreKept) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += std::to_string(i) + "\n";
    Write("long.txt", text);
    EXPECT_EQ(Line("long.txt", 255), "255");
    WriteLineText("long.txt", 0, "first");
    FlushLineFile();
    std::string back = Read("long.txt");
    EXPECT_EQ(back.substr(0, 9), "first\r\n1\r");
    EXPECT_NE(back.find("\r\n255\r\n"), std::string::npos);
    EXPECT_EQ(back.find("256"), std::string::npos);
}

TEST_F(LineFileTest, LongLinesAreCutAt1023BytesAndTheirRestSkipped) {
    std::string exact(1023, 'a'), longer(1500, 'b'), crCut(1023, 'c');
    Write("cut.txt", exact + "\n" + longer + "\r\nnext\n" + crCut + "\r\nafter\n");
    EXPECT_EQ(Line("cut.txt", 0), exact);
    EXPECT_EQ(Line("cut.txt", 1), std::string(1023, 'b'));
    EXPECT_EQ(Line("cut.txt", 2), "next");           // the rest of line 1 did not become a line
    EXPECT_EQ(Line("cut.txt", 3), crCut);            // CR beyond the cut is dropped with the rest
    EXPECT_EQ(Line("cut.txt", 4), "after");

    EXPECT_EQ(WriteLineText("w.txt", 0, std::string(2000, 'z').c_str()), 0.0);
    EXPECT_EQ(Line("w.txt", 0), std::string(1023, 'z'));
    FlushLineFile();
    EXPECT_EQ(Read("w.txt"), std::string(1023, 'z') + "\r\n");
}

TEST_F(LineFileTest, LineFilesComeFromAPackWhenNoRealFileExists) {
    Write("data.pak", files_test::WritePack({{"level.txt", "alpha\r\nbeta\r\n"}}));
    CreateMediaContexts("data.pak");
    EXPECT_EQ(Line("levels/LEVEL.TXT", 1), "beta");
    // The written-back file goes under the requested name, not the temporary one.
    WriteLineText("levels/LEVEL.TXT", 2, "gamma");
    ASSERT_EQ(mkdir("levels", 0755), 0);
    FlushLineFile();
    EXPECT_EQ(Read("levels/LEVEL.TXT"), "alpha\r\nbeta\r\ngamma\r\n");
}

// A write-back or an INI save never truncates the old file: on a full disk (or any
// failed write) the old file stays whole, error 3 is recorded, the log says why.
TEST_F(LineFileTest, SavesReplaceTheOldFileOnlyWhenComplete) {
    std::string lines, ini = "[s]\r\n";
    for (int i = 0; i < 100; ++i) {
        lines += "line " + std::to_string(i) + "\r\n";
        ini += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
    }
    const struct {
        const char* what;
        bool iniFile;
        long long room;         // bytes the disk takes; < 0: all
    } cases[] = {
        {"line file, disk full at once", false, 0},
        {"line file, disk full midway", false, 500},
        {"line file, one byte short", false, 989},
        {"INI, disk full midway", true, 500},
        {"line file, room enough", false, -1},
        {"INI, room enough", true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = c.iniFile ? "cfg.ini" : "data.txt", before = c.iniFile ? ini : lines;
        Write(name, before);
        chmod(name.c_str(), 0640);
        engine.errorCode = 0;
        const std::size_t logBefore = Read(ErrorLogPath()).size();
        // Grown from 100 to 120 entries, then saved.
        if (c.iniFile) {
            IniOpen(name.c_str());
            for (int i = 100; i < 120; ++i) IniPut("s", ("k" + std::to_string(i)).c_str(), "new");
        } else {
            ASSERT_EQ(Line(name.c_str(), 0), "line 0");
            for (int i = 100; i < 120; ++i) WriteLineText(name.c_str(), i, "new");
        }
        platform::LimitReplaceWritesForTesting(c.room, ENOSPC);
        if (c.iniFile) IniSaveAtExit();
        else FlushLineFile();
        platform::LimitReplaceWritesForTesting(-1, 0);
        ResetLineFileStore();

        const std::string after = Read(name);
        const std::string logged = Read(ErrorLogPath()).substr(logBefore);
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
#ifndef _WIN32  // (Windows files have no such permission bits)
        EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permissions";
#endif
        EXPECT_FALSE(Exists(".corvane-")) << "nothing left beside it";
        if (c.room < 0) {
            EXPECT_EQ(after.size(), before.size() + 20 * (c.iniFile ? std::string("k100=new\r\n").size() : 5));
            EXPECT_EQ(engine.errorCode, 0.0);
            EXPECT_EQ(logged, "");
            continue;
        }
        EXPECT_EQ(after, before);
        EXPECT_EQ(engine.errorCode, 3.0);
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
        EXPECT_NE(logged.find(name), std::string::npos) << logged;
        EXPECT_NE(logged.find("No space left on device"), std::string::npos) << logged;
    }
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(".", entries));
    EXPECT_EQ(entries.size(), 4u) << "., .., cfg.ini and data.txt alone";
}

} // namespace
} // namespace corvane
