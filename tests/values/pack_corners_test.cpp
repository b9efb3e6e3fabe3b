// Media packs at their limits: longest entry names and stated sizes that lie, read
// by the resolver and by corvane-pack.
#include <dirent.h>

#include <string>
#include <vector>

#include "runtime/values/values.h"
#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::PackBlock;
using files_test::PutLe32;
using files_test::ScratchDirTest;
using files_test::WritePack;

class PackCornersTest : public ScratchDirTest {
protected:
    corvane::testing::ProcessResult Run(const std::string& tool, const std::vector<std::string>& args) {
        std::vector<std::string> command = {corvane::testing::BuiltProgram(tool)};
        command.insert(command.end(), args.begin(), args.end());
        return corvane::testing::RunProcess(command, {}, 60.0);
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
#ifdef _WIN32
    GTEST_SKIP() << "a 255-byte name in the temporary folder passes Windows' 260-character path limit (MAX_PATH)";
#endif
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
        ASSERT_EQ(ResolveMedia(MediaSource(int(c.request.size() % 2)), c.request.c_str(), out), 1);
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
        EXPECT_EQ(ResolveMedia(MediaSource(1), "z.txt", out), c.good ? 1 : 0);
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

} // namespace
} // namespace corvane
