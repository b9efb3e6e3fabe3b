// The INI store: parsing quirks, lookups, changes and when the file is saved.
#include <string>

#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::ScratchDirTest;

class IniTest : public ScratchDirTest {
protected:
    static std::string Get(const char* section, const char* key) { return IniGet(section, key).Buffer(); }
    // Opening another file saves the current one when it changed.
    static void SaveBySwitching() { IniOpen("unrelated-other.ini"); }
};

TEST_F(IniTest, KeysBeforeTheFirstHeaderFormTheEmptySection) {
    Write("a.ini", "a=1\r\n[S]\r\nb=2\r\n");
    IniOpen("a.ini");
    EXPECT_EQ(Get("", "a"), "1");
    EXPECT_EQ(Get("s", "B"), "2");                   // names ignore case
    EXPECT_EQ(Get("S", "a"), "NO_DATA");
    EXPECT_EQ(Get("T", "b"), "NO_DATA");
    IniPut("S", "c", "3");
    SaveBySwitching();
    EXPECT_EQ(Read("a.ini"), "[]\r\na=1\r\n[S]\r\nb=2\r\nc=3\r\n");  // the empty-named section comes first
}

TEST_F(IniTest, HeaderSpellingsAllNameTheSameSection) {
    Write("h.ini",
          "[Main]\nk1=a\n[ Main ]\nk2=b\n[Main\nk3=c\n[Main=x]\nk4=d\n[Ma in]\nk5=e\n  \t[\tMain]]\nk7=g\n");
    IniOpen("h.ini");
    EXPECT_EQ(Get("Main", "k1"), "a");
    EXPECT_EQ(Get("Ma", "k5"), "e");
    EXPECT_EQ(Get("Main]", "k7"), "g");              // only one ']' is dropped
    // Four sections named Main: only the first is searched.
    EXPECT_EQ(Get("Main", "k2"), "NO_DATA");
    IniPut("Main", "k2", "");                        // absent key with an empty value: appended
    IniPut("Main", "", "");                          // removes the first Main; the last section moves up
    EXPECT_EQ(Get("Main", "k7"), "NO_DATA");
    EXPECT_EQ(Get("Main]", "k7"), "g");
    EXPECT_EQ(Get("main", "k2"), "b");               // now the second Main is the first

    // An empty header keeps the current name; a header without keys makes no section.
    Write("h2.ini", "[A]\n[]\nk=1\n[B]\n");
    IniOpen("h2.ini");
    EXPECT_EQ(Get("A", "k"), "1");
    IniPut("A", "k", "2");
    SaveBySwitching();
    EXPECT_EQ(Read("h2.ini"), "[A]\r\nk=2\r\n");
}

TEST_F(IniTest, EntryLinesKeepTheirQuirks) {
    Write("e.ini",
          "[S]\nx = 5\ny=\nz\n;c=comment\n   w=  spaced value \t\r\nv=caf\xe9\n=novalue\nq=a=b\nt\tabc\n");
    IniOpen("e.ini");
    EXPECT_EQ(Get("S", "x"), "= 5");                 // the space ended the key; '=' stays in the value
    EXPECT_EQ(Get("S", "y"), "NO_DATA");             // empty values are dropped
    EXPECT_EQ(Get("S", "z"), "NO_DATA");             // a key alone is ignored
    EXPECT_EQ(Get("S", ";c"), "NO_DATA");
    EXPECT_EQ(Get("S", "w"), "spaced value ");       // blanks before the value skipped, control bytes trimmed
    EXPECT_EQ(Get("S", "v"), "caf");                 // byte 233 at the end is lost
    EXPECT_EQ(Get("S", ""), "novalue");
    EXPECT_EQ(Get("S", "q"), "a=b");
    EXPECT_EQ(Get("S", "t"), "abc");
}

TEST_F(IniTest, MissingFileStartsEmptyAndIsCreatedOnSave) {
    IniOpen("new.ini");
    EXPECT_EQ(Get("S", "k"), "NO_DATA");
    IniPut("S", "k", "v");
    EXPECT_FALSE(Exists("new.ini"));
    SaveBySwitching();
    EXPECT_EQ(Read("new.ini"), "[S]\r\nk=v\r\n");
    IniOpen("new.ini");
    EXPECT_EQ(Get("s", "K"), "v");
}

TEST_F(IniTest, ChangesAndRemovalsReachTheFile) {
    Write("c.ini", "[S]\na=1\nb=2\nc=3\n[T]\nd=4\n");
    IniOpen("c.ini");
    IniPut("S", "a", "");                            // removed; the last key takes its place
    IniPut("S", "b", "20");
    IniPut("New", "n", "9");
    SaveBySwitching();
    EXPECT_EQ(Read("c.ini"), "[S]\r\nc=3\r\nb=20\r\n[T]\r\nd=4\r\n[New]\r\nn=9\r\n");
}

TEST_F(IniTest, SectionRemovalAloneDoesNotSave) {
    Write("r.ini", "[S]\na=1\n[T]\nb=2\n");
    IniOpen("r.ini");
    IniPut("S", "", "");
    EXPECT_EQ(Get("S", "a"), "NO_DATA");
    SaveBySwitching();
    EXPECT_EQ(Read("r.ini"), "[S]\na=1\n[T]\nb=2\n");  // not dirty: the file keeps S
    IniOpen("r.ini");
    IniPut("S", "", "");
    IniPut("T", "b", "3");                           // another change carries the removal along
    IniSaveAtExit();
    EXPECT_EQ(Read("r.ini"), "[T]\r\nb=3\r\n");
    EXPECT_EQ(Get("T", "b"), "NO_DATA");             // the store is empty after the end
}

TEST_F(IniTest, UnchangedStoreIsNotSavedAtEnd) {
    Write("u.ini", "[S]\n a = b \n");
    IniOpen("u.ini");
    IniSaveAtExit();
    EXPECT_EQ(Read("u.ini"), "[S]\n a = b \n");
}

TEST_F(IniTest, LongLinesAreCutAt1023Bytes) {
    std::string longValue(3000, 'v');
    Write("l.ini", "[S]\nk=" + longValue + "\nnext=1\n");
    IniOpen("l.ini");
    EXPECT_EQ(Get("S", "k"), std::string(1021, 'v'));  // 1023 bytes of line, "k=" included
    EXPECT_EQ(Get("S", "next"), "1");
    // The rest of the long line did not turn into a key.
    IniPut("S", "next", "2");
    SaveBySwitching();
    EXPECT_EQ(Read("l.ini"), "[S]\r\nk=" + std::string(1021, 'v') + "\r\nnext=2\r\n");
}

TEST_F(IniTest, IniFilesComeFromAPack) {
    Write("cfg.pak", files_test::WritePack({{"settings.ini", "[Video]\nwidth=800\n"}}));
    CreateMediaContexts("cfg.pak");
    IniOpen("config/settings.ini");
    EXPECT_EQ(Get("video", "WIDTH"), "800");
}

} // namespace
} // namespace corvane
