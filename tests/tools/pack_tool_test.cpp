// corvane-pack on its own: names it cannot write as stored, links planted in the
// extraction folder, damaged packs, and the command-line manners of the tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"
#include "tests/support/pack_writer.h"

namespace {

using corvane::pack_writer::Directory;
using corvane::pack_writer::PackBlock;
using corvane::pack_writer::PutLe32;
using corvane::pack_writer::TestEntry;
using corvane::pack_writer::WritePack;
using corvane::testing::ProcessResult;

// Every test runs in a fresh folder of its own.
class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        dir = corvane::testing::TestTempDir() + "pack" + std::to_string(++counter) + "/";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldCwd = buf;
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override { (void)chdir(oldCwd.c_str()); }

    static std::string Read(const std::string& path) { return corvane::testing::ReadFile(path); }
    static void Write(const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(corvane::testing::WriteFile(path, bytes)) << path;
    }
    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    // keep: "1" to see standard output only, "2" standard error only.
    static ProcessResult Run(const std::string& tool, const std::vector<std::string>& args,
                             const char* keep = nullptr) {
        std::vector<std::string> command = {corvane::testing::BuiltProgram(tool)};
        command.insert(command.end(), args.begin(), args.end());
        return corvane::testing::RunProcess(command, {}, 60.0, nullptr, keep ? keep[0] - '0' : 0);
    }
    // Every tool is built here; the Windows build has no corvane-new (a shell script)
    // nor screen-text (the screenshot reader of the Linux test runs).
    static bool Built(const std::string& tool) {
#ifdef _WIN32
        return access(corvane::testing::BuiltProgram(tool).c_str(), F_OK) == 0;
#else
        (void)tool;
        return true;
#endif
    }
    static ProcessResult Pack(const std::vector<std::string>& args, const char* keep = nullptr) {
        return Run("corvane-pack", args, keep);
    }

    std::string dir, oldCwd;
};

TEST_F(PackTool, ExtractNeverWritesThroughALink) {
    // Links planted in the extraction folder before the pack is unpacked.
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> links;   // {link, target} under out/
        std::string entry;
        const char* outside;     // a file that must not appear (or change) outside out/
        int status;
    } cases[] = {
        {"folder link", {{"lnk", "../outside"}}, "lnk/evil.txt", "outside/evil.txt", 1},
        {"link up two levels", {{"sub/up", "../.."}}, "sub/up/evil.txt", "evil.txt", 1},
        {"link deeper down", {{"a/b", "../../outside"}}, "a/b/c/evil.txt", "outside/c/evil.txt", 1},
        {"absolute link", {{"abs", "ABS"}}, "abs/evil.txt", "outside/evil.txt", 1},
        {"dangling link", {{"gone", "../outside/new"}}, "gone/evil.txt", "outside/new/evil.txt", 1},
        // A link in the file's own place is replaced, not written through.
        {"file link", {{"f.txt", "../outside/kept.txt"}}, "f.txt", "outside/kept.txt", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code error;
        for (const char* gone : {"out", "outside", "evil.txt"}) std::filesystem::remove_all(gone, error);
        for (const char* made : {"out/sub", "out/a", "outside"}) ASSERT_TRUE(std::filesystem::create_directories(made));
        Write("outside/kept.txt", "kept");
        for (const auto& [link, target] : c.links) {
            const std::string to = std::string(target) == "ABS" ? dir + "outside" : target;
            ASSERT_EQ(symlink(to.c_str(), (std::string("out/") + link).c_str()), 0) << link;
#ifdef _WIN32
            if (!ShownAsLink((std::string("out/") + link).c_str()))
                GTEST_SKIP() << "the links made here show as plain files and folders (Wine), so there is no link to refuse";
#endif
        }
        Write("links.pak", WritePack({{c.entry, "evil"}, {"fine/ok.txt", "ok"}}));
        const ProcessResult run = Pack({"extract", "links.pak", "-C", "out"});
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        EXPECT_EQ(Read("outside/kept.txt"), "kept");
        if (std::string(c.outside) != "outside/kept.txt") {
            EXPECT_FALSE(Exists(c.outside)) << run.output;
        }
        EXPECT_EQ(Read("out/fine/ok.txt"), "ok") << "the other entries are written";
        if (c.status) {
            EXPECT_NE(run.output.find("warning: " + c.entry + ": skipped"), std::string::npos) << run.output;
            EXPECT_NE(run.output.find("link"), std::string::npos) << run.output;
        } else {
            EXPECT_EQ(Read(std::string("out/") + c.entry), "evil");
        }
    }
}

#ifdef _WIN32
constexpr int kNoControlBytesInNames = 1;
#else
constexpr int kNoControlBytesInNames = 0;
#endif

TEST_F(PackTool, ListAndExtractEscapeControlBytesInNames) {
    const std::string name = "red\\x1B[31m\\x07bell.txt";
    Write("ctl.pak", WritePack({{"red\x1b[31m\abell.txt", "x"}}));
    for (const char* command : {"list", "extract"}) {
        SCOPED_TRACE(command);
        const ProcessResult run = command == std::string("list") ? Pack({"list", "ctl.pak"})
                                                                 : Pack({"extract", "ctl.pak", "-C", "out"});
        // Windows file names cannot hold control bytes: there extract skips the entry.
        EXPECT_EQ(run.exitStatus, command == std::string("extract") ? kNoControlBytesInNames : 0) << run.output;
        EXPECT_NE(run.output.find(name), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
        EXPECT_EQ(run.output.find('\a'), std::string::npos);
    }
    if (!kNoControlBytesInNames) {
        EXPECT_EQ(Read("out/red\x1b[31m\abell.txt"), "x");
    }
}

TEST_F(PackTool, VerifyAndExtractNameEveryEntryTheyCannotWriteAsStored) {
    const struct {
        std::string name;
        const char* written;   // the file extract makes; null when refused
        const char* reason;    // a word of the reason given; null when written as stored
    } cases[] = {
        {"fine.txt", "fine.txt", nullptr},
        {"../up.txt", nullptr, "'..'"},
        {"a/../../b.txt", nullptr, "'..'"},
        {"/abs.txt", "abs.txt", "absolute"},
        {"folder/", nullptr, "separator"},
        {std::string("nul\0.txt", 8), nullptr, "NUL"},
        {"win\\path.txt", "win/path.txt", "'\\'"},
        {"./dot//x.txt", "dot/x.txt", "'.'"},
    };
    std::vector<TestEntry> entries;
    for (const auto& c : cases) entries.push_back({c.name, "data of " + c.name});
    Write("names.pak", WritePack(entries));
    auto verified = Pack({"verify", "names.pak"});
    auto extracted = Pack({"extract", "names.pak", "-C", "out"});
    EXPECT_EQ(verified.exitStatus, 1) << verified.output;      // refused names are problems
    EXPECT_EQ(extracted.exitStatus, 1) << extracted.output;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string shown = c.name.find('\0') != std::string::npos ? "nul\\x00.txt" : c.name;
        for (const auto* run : {&verified, &extracted}) {
            // The line that names the entry, and the reason on it.
            const std::string& out = run->output;
            const std::size_t at = out.find(" " + shown + ": ");
            if (!c.reason) {
                EXPECT_EQ(at, std::string::npos) << out;
                continue;
            }
            ASSERT_NE(at, std::string::npos) << out;
            const std::string line = out.substr(at, out.find('\n', at) - at);
            EXPECT_NE(line.find(c.reason), std::string::npos) << line;
        }
        if (c.written) {
            EXPECT_EQ(Read(std::string("out/") + c.written), "data of " + c.name);
        }
    }
    EXPECT_FALSE(Exists("up.txt"));
    EXPECT_FALSE(Exists("out/folder"));
}


TEST_F(PackTool, ToolsFollowCommandLineConventions) {
    const struct {
        const char* tool;
        std::vector<std::string> args;
        const char* stream;    // "1" or "2": where the text must appear
        int status;
        const char* text;
    } cases[] = {
        {"corvane-pack", {"--help"}, "1", 0, "usage:"},
        {"corvane-pack", {"-h"}, "1", 0, "usage:"},
        {"corvane-pack", {"create", "--help"}, "1", 0, "usage:"},
        {"corvane-pack", {"--version"}, "1", 0, "corvane-pack 0."},
        {"corvane-pack", {}, "2", 2, "usage:"},
        {"corvane-pack", {"frobnicate"}, "2", 2, "usage:"},
        {"itgen", {"--help"}, "1", 0, "usage: itgen"},
        {"itgen", {"-h"}, "1", 0, "usage: itgen"},
        {"itgen", {"--version"}, "1", 0, "itgen 0."},
        {"itgen", {}, "2", 2, "usage: itgen"},
        {"itgen", {"--bogus"}, "2", 2, "usage: itgen"},
        {"screen-text", {"--help"}, "1", 0, "usage: screen-text"},
        {"screen-text", {"-h"}, "1", 0, "usage: screen-text"},
        {"screen-text", {"--version"}, "1", 0, "screen-text 0."},
        {"screen-text", {"x.ppm"}, "2", 2, "usage: screen-text"},
        {"corvane-new", {"--help"}, "1", 0, "usage: corvane-new"},
        {"corvane-new", {"-h"}, "1", 0, "usage: corvane-new"},
        {"corvane-new", {"--version"}, "1", 0, "corvane-new 0."},
        {"corvane-new", {}, "2", 2, "usage: corvane-new"},
        {"corvane-new", {"--bogus"}, "2", 2, "usage: corvane-new"},
    };
    for (const auto& c : cases) {
        std::string call = c.tool;
        for (const std::string& a : c.args) call += " " + a;
        SCOPED_TRACE(call);
        if (!Built(c.tool)) continue;
        auto only = Run(c.tool, c.args, c.stream);
        EXPECT_EQ(only.exitStatus, c.status);
        EXPECT_NE(only.output.find(c.text), std::string::npos) << only.output;
        auto other = Run(c.tool, c.args, c.stream[0] == '1' ? "2" : "1");
        EXPECT_EQ(other.output, "");
    }
    EXPECT_FALSE(Exists("--bogus"));
    EXPECT_FALSE(Exists("--version"));
}

TEST_F(PackTool, EveryToolsHelpNamesItsOptions) {
    const struct {
        const char* tool;
        std::vector<std::string> options;
    } cases[] = {
        {"corvane-pack", {"create", "list", "extract", "append", "verify", "--flat", "--from-end", "-C", "-o", "--version"}},
        {"corvane-new", {"DIR", "--version"}},
        {"itgen", {"--version"}},
        {"screen-text", {"--version"}},
#ifdef CORVANE_HAVE_FONT_TOOL
        {"corvane-font", {"--size", "--chars", "--outline", "--cell", "--version"}},
#endif
#ifdef CORVANE_HAVE_MODEL_TOOL
        {"corvane-model", {"--scale", "--frames", "--rate", "--max-keyframes", "--timeout", "--memory", "--info", "--version"}},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        if (!Built(c.tool)) continue;
        const ProcessResult help = Run(c.tool, {"--help"}, "1");
        EXPECT_EQ(help.exitStatus, 0);
        for (const std::string& option : c.options) {
            EXPECT_NE(help.output.find(option), std::string::npos) << option << " in\n" << help.output;
        }
    }
}


TEST_F(PackTool, ToolRefusesBadInputAndNeverLeavesHalfAPack) {
    Write("a.txt", "a");
    ASSERT_EQ(Pack({"create", "good.pak", "a.txt"}).exitStatus, 0);
    const std::string before = Read("good.pak");
    auto missing = Pack({"create", "good.pak", "a.txt", "nothere.txt"});
    EXPECT_NE(missing.exitStatus, 0);
    EXPECT_NE(missing.output.find("nothere.txt"), std::string::npos) << missing.output;
    EXPECT_EQ(Read("good.pak"), before);
    ASSERT_EQ(mkdir("dup", 0755), 0);
    Write("dup/A.TXT", "upper");
    auto duplicate = Pack({"create", "good.pak", "a.txt", "dup"});
    EXPECT_NE(duplicate.exitStatus, 0);              // a.txt and A.TXT share a name
    EXPECT_EQ(Read("good.pak"), before);
    EXPECT_NE(Pack({"bogus"}).exitStatus, 0);
    EXPECT_NE(Pack({"list", "a.txt"}).exitStatus, 0);

    // verify reports every damaged entry.
    std::string block = PackBlock(std::string(4000, 'v'));
    std::string damaged = block;
    damaged[block.size() - 2] = static_cast<char>(0x33);
    std::string pack = block + damaged;
    std::int32_t d = static_cast<std::int32_t>(pack.size());
    pack += Directory({{"ok.txt", 0, static_cast<std::uint32_t>(block.size())},
                                   {"bad.txt", static_cast<std::int32_t>(block.size()), static_cast<std::uint32_t>(damaged.size())},
                                   {"out.txt", 1 << 20, 10}});
    PutLe32(pack, static_cast<std::uint32_t>(d));
    Write("damaged.pak", pack);
    auto verified = Pack({"verify", "damaged.pak"});
    EXPECT_NE(verified.exitStatus, 0);
    EXPECT_NE(verified.output.find("bad.txt"), std::string::npos) << verified.output;
    EXPECT_NE(verified.output.find("out.txt"), std::string::npos) << verified.output;
    EXPECT_EQ(verified.output.find("ok.txt"), std::string::npos) << verified.output;

    // A directory cut short by the end of the file is an error for every reader.
    std::string whole = WritePack({{"one.txt", "1"}, {"two.txt", "2"}});
    std::string cut = whole.substr(0, whole.size() - 4 - 9);   // into the last entry, D kept
    cut += whole.substr(whole.size() - 4);
    Write("cut.pak", cut);
    EXPECT_NE(Pack({"list", "cut.pak"}).exitStatus, 0);
    EXPECT_NE(Pack({"verify", "cut.pak"}).exitStatus, 0);
    auto cutExtract = Pack({"extract", "cut.pak", "-C", "cutout"});
    EXPECT_NE(cutExtract.exitStatus, 0) << cutExtract.output;
    EXPECT_NE(cutExtract.output.find("directory"), std::string::npos) << cutExtract.output;

    // Entry names that would leave the extraction folder are skipped.
    Write("evil.pak", WritePack({{"../evil.txt", "e"}, {"fine.txt", "f"}}));
    auto extracted = Pack({"extract", "evil.pak", "-C", "x"});
    EXPECT_NE(extracted.exitStatus, 0);
    EXPECT_FALSE(Exists("evil.txt"));
    EXPECT_EQ(Read("x/fine.txt"), "f");
}

} // namespace
