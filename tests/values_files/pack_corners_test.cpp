// Media packs at their limits: longest entry names, stated sizes that lie, and
// names that extract cannot write as stored; and the tools' command-line manners.
#include <dirent.h>

#include <string>
#include <vector>

#include "runtime/values/values.h"
#include "tests/values_files/files_test_support.h"

namespace corvane {
namespace {

using files_test::PackBlock;
using files_test::PutLe32;
using files_test::ScratchDirTest;
using files_test::WritePack;

class PackCornersTest : public ScratchDirTest {
protected:
    corvane::testing::ProcessResult Run(const std::string& tool, const std::vector<std::string>& args,
                                        const char* keep = nullptr) {
        // keep: "1" to see standard output only, "2" standard error only.
        std::string command = corvane::testing::BuiltProgram(tool);
        for (const std::string& a : args) command += " '" + a + "'";
        if (keep) command += std::string(keep[0] == '1' ? " 2>/dev/null" : " >/dev/null");
        return corvane::testing::RunProcess({"/bin/sh", "-c", command}, {}, 60.0);
    }
    // One entry whose block states `stated` unpacked bytes over the stream of `data`.
    void WriteLyingPack(const std::string& path, const std::string& name, const std::string& data,
                        std::uint32_t stated) {
        std::string block = PackBlock(data);
        for (int i = 0; i < 4; ++i) block[i] = static_cast<char>((stated >> (8 * i)) & 0xFF);
        std::string out = block;
        out += files_test::Directory({{name, 0, static_cast<std::uint32_t>(block.size())}});
        PutLe32(out, static_cast<std::uint32_t>(block.size()));
        Write(path, out);
    }
};

TEST_F(PackCornersTest, LongestNamesUnpackUnderAShortenedTemporaryName) {
    // Entry names are at most 255 bytes, so the longest last parts have no folder.
    const std::string a249(249, 'a'), c250(250, 'c'), b255 = std::string(251, 'b') + ".bmp";
    const std::string b255other = std::string(250, 'b') + "c.bmp";     // differs near the end only
    Write("long.pak", WritePack({{a249, "249"}, {c250, "250"}, {b255, "255"}, {b255other, "other"}}));
    CreateMediaContexts("long.pak");
    const struct {
        std::string request, data;
        bool shortened;
    } cases[] = {{a249, "249", false}, {c250, "250", true}, {"DIR\\" + b255, "255", true}, {b255other, "other", true}};
    std::vector<std::string> seen;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.size());
        char out[kMediaPathCapacity];
        ASSERT_EQ(ResolveMedia(engine.mediaSources[c.request.size() % 2], c.request.c_str(), out), 1);
        const std::string path = out, base = path.substr(path.rfind('/') + 1);
        EXPECT_EQ(Read(path), c.data);
        EXPECT_LE(base.size(), 255u);
        const std::string last = c.request.substr(c.request.rfind('\\') + 1);
        EXPECT_EQ(base.substr(0, 10), "~sbx" + base.substr(4, 2) + last.substr(0, 4));
        EXPECT_EQ(base.substr(6) != last, c.shortened);
        if (c.request.find(".bmp") != std::string::npos) {
            EXPECT_EQ(base.substr(base.size() - 4), ".bmp");
        }
        for (const std::string& other : seen) {
            EXPECT_NE(other, base);
        }
        seen.push_back(base);
    }
    auto extracted = Run("corvane-pack", {"extract", "long.pak", "-C", "out"});
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.output;
    EXPECT_EQ(Read("out/" + b255), "255");
}

TEST_F(PackCornersTest, StatedSizeZeroOverRealDataIsDamageNotAnEmptyEntry) {
    const struct {
        const char* name;
        std::string data;
        std::uint32_t stated;
        bool good;
    } cases[] = {
        {"empty stream", "", 0, true},
        {"real data", std::string(3000, 'z'), 0, false},
        {"one byte", "x", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteLyingPack("z.pak", "z.txt", c.data, c.stated);
        CreateMediaContexts("z.pak");
        char out[kMediaPathCapacity];
        EXPECT_EQ(ResolveMedia(engine.mediaSources[1], "z.txt", out), c.good ? 1 : 0);
        if (c.good) {
            EXPECT_EQ(Read(out), "");
        }
        ReleaseMediaContexts();
        auto verified = Run("corvane-pack", {"verify", "z.pak"});
        EXPECT_EQ(verified.exitStatus, c.good ? 0 : 1) << verified.output;
        if (!c.good) {
            EXPECT_NE(verified.output.find("stated size 0"), std::string::npos) << verified.output;
        }
        auto extracted = Run("corvane-pack", {"extract", "z.pak", "-C", "zout"});
        EXPECT_EQ(extracted.exitStatus, c.good ? 0 : 1) << extracted.output;
        EXPECT_EQ(Exists("zout/z.txt"), c.good);
        std::remove("zout/z.txt");
    }
}

TEST_F(PackCornersTest, VerifyAndExtractNameEveryEntryTheyCannotWriteAsStored) {
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
    std::vector<files_test::TestEntry> entries;
    for (const auto& c : cases) entries.push_back({c.name, "data of " + c.name});
    Write("names.pak", WritePack(entries));
    auto verified = Run("corvane-pack", {"verify", "names.pak"});
    auto extracted = Run("corvane-pack", {"extract", "names.pak", "-C", "out"});
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

TEST_F(PackCornersTest, ToolsFollowCommandLineConventions) {
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
    };
    for (const auto& c : cases) {
        std::string call = c.tool;
        for (const std::string& a : c.args) call += " " + a;
        SCOPED_TRACE(call);
        auto only = Run(c.tool, c.args, c.stream);
        EXPECT_EQ(only.exitStatus, c.status);
        EXPECT_NE(only.output.find(c.text), std::string::npos) << only.output;
        auto other = Run(c.tool, c.args, c.stream[0] == '1' ? "2" : "1");
        EXPECT_EQ(other.output, "");
    }
    EXPECT_FALSE(Exists("--bogus"));
}

} // namespace
} // namespace corvane
