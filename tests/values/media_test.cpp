// The media resolver and media packs, written by the tests' own writer and by
// corvane-pack, and read back by the resolver and the tool.
#include <dirent.h>

#include <string>
#include <vector>

#include "runtime/platform/platform.h"
#include "tests/values/files_test_support.h"

namespace corvane {
namespace {

using files_test::PackBlock;
using files_test::PutLe32;
using files_test::RawEntry;
using files_test::ScratchDirTest;
using files_test::WritePack;

class MediaTest : public ScratchDirTest {
protected:
    // 1 with the resolved file's contents, or 0.
    int Resolve(int context, const char* name, std::string* contents = nullptr, std::string* path = nullptr) {
        char out[kMediaPathCapacity];
        int r = ResolveMedia(MediaSource(context), name, out);
        if (r && contents) *contents = Read(out);
        if (r && path) *path = out;
        return r;
    }
    std::vector<std::string> TempFiles() {
        std::vector<std::string> names;
        DIR* d = opendir(temp.c_str());
        while (dirent* e = d ? readdir(d) : nullptr) {
            if (std::string(e->d_name).rfind("~sbx", 0) == 0) names.push_back(e->d_name);
        }
        if (d) closedir(d);
        return names;
    }
    corvane::testing::ProcessResult Tool(const std::vector<std::string>& args) {
        std::vector<std::string> full = {corvane::testing::BuiltProgram("corvane-pack")};
        full.insert(full.end(), args.begin(), args.end());
        return corvane::testing::RunProcess(full, {}, 60.0);
    }
};

TEST_F(MediaTest, RealFilesWinAndPacksFillTheGaps) {
    Write("pack.dat", WritePack({{"pic.bmp", "packed picture"}, {"sound.wav", "packed sound"}}));
    Write("pic.bmp", "real picture");
    CreateMediaContexts("pack.dat");
    std::string contents, path;
    ASSERT_EQ(Resolve(1, "pic.bmp", &contents, &path), 1);
    EXPECT_EQ(path, "pic.bmp");
    EXPECT_EQ(contents, "real picture");
    ASSERT_EQ(Resolve(1, "sound.wav", &contents, &path), 1);
    EXPECT_EQ(contents, "packed sound");
    EXPECT_EQ(path.rfind(temp, 0), 0u) << path;
    EXPECT_EQ(Resolve(1, "absent.bmp"), 0);
    EXPECT_EQ(Resolve(1, ""), 0);
}

TEST_F(MediaTest, TemporaryNameCarriesTwoLettersFromPositionAndSize) {
    // Entry at data position 100 with packed size 30 gives letters W and E.
    std::string block = PackBlock("x");
    ASSERT_LE(block.size(), 30u);
    block.resize(30, '\0');                          // trailing bytes after the stream do no harm
    std::string pack(100, '#');
    pack += block;
    std::int32_t d = static_cast<std::int32_t>(pack.size());
    pack += files_test::Directory({{"pic.bmp", 100, 30}});
    PutLe32(pack, static_cast<std::uint32_t>(d));
    Write("p.pak", pack);
    CreateMediaContexts("p.pak");
    std::string path, contents;
    ASSERT_EQ(Resolve(1, "pic.bmp", &contents, &path), 1);
    EXPECT_EQ(path, temp + "~sbxWEpic.bmp");
    EXPECT_EQ(contents, "x");
}

TEST_F(MediaTest, NegativeDirectoryPositionCountsFromTheEnd) {
    std::string host(5000, '\x7f');
    Write("game.bin", WritePack({{"a.txt", "from the end"}, {"b.txt", std::string(3000, 'b')}}, true, host));
    CreateMediaContexts("game.bin");
    std::string contents;
    ASSERT_EQ(Resolve(0, "b.txt", &contents), 1);
    EXPECT_EQ(contents, std::string(3000, 'b'));
    ASSERT_EQ(Resolve(0, "a.txt", &contents), 1);
    EXPECT_EQ(contents, "from the end");
    // The same pack appended after a different host still resolves.
    Write("game2.bin", WritePack({{"a.txt", "from the end"}}, true, "short host"));
    SetMediaPacks(RtString("game2.bin"), RtString("game2.bin"));
    ASSERT_EQ(Resolve(1, "a.txt", &contents), 1);
    EXPECT_EQ(contents, "from the end");
}

TEST_F(MediaTest, MatchingIsACaseInsensitiveNameEndingAndTheFirstEntryWins) {
    Write("m.pak", WritePack({{"level1.txt", "level one"}, {"c.bmp", "c"}, {"pic.bmp", "pic"}}));
    CreateMediaContexts("m.pak");
    std::string contents;
    ASSERT_EQ(Resolve(1, "DATA\\LEVEL1.TXT", &contents), 1);
    EXPECT_EQ(contents, "level one");
    ASSERT_EQ(Resolve(1, "media/pic.bmp", &contents), 1);
    EXPECT_EQ(contents, "c");                        // c.bmp comes first and ends the request too
    EXPECT_EQ(Resolve(1, "1.txt"), 0);               // an entry longer than the request never matches
    EXPECT_TRUE(NameMatchesPackEntry("A/B.Txt", "b.TXT", 5));
    EXPECT_FALSE(NameMatchesPackEntry("b.txt", "ab.txt", 6));
}

TEST_F(MediaTest, EachContextKeepsOneTemporaryFile) {
    Write("t.pak", WritePack({{"one.bin", "1"}, {"two.bin", "2"}, {"music.ogg", "m"}}));
    CreateMediaContexts("t.pak");
    std::string musicPath, firstPath, secondPath;
    ASSERT_EQ(Resolve(0, "music.ogg", nullptr, &musicPath), 1);
    ASSERT_EQ(Resolve(1, "one.bin", nullptr, &firstPath), 1);
    ASSERT_EQ(Resolve(1, "two.bin", nullptr, &secondPath), 1);
    EXPECT_FALSE(Exists(firstPath));
    EXPECT_TRUE(Exists(secondPath));
    EXPECT_TRUE(Exists(musicPath));                  // the other context was not touched
    EXPECT_EQ(TempFiles().size(), 2u);
    // A real file resolved next still removes the context's last unpacked file.
    Write("real.txt", "r");
    ASSERT_EQ(Resolve(1, "real.txt"), 1);
    EXPECT_FALSE(Exists(secondPath));
    // Setting the packs again and the program end clear the rest.
    ASSERT_EQ(Resolve(1, "two.bin", nullptr, &secondPath), 1);
    SetMediaPacks(RtString("t.pak"), RtString("t.pak"));
    EXPECT_FALSE(Exists(secondPath));
    EXPECT_FALSE(Exists(musicPath));
    ASSERT_EQ(Resolve(0, "music.ogg", nullptr, &musicPath), 1);
    ReleaseMediaContexts();
    EXPECT_FALSE(Exists(musicPath));
    EXPECT_EQ(MediaSource(0), nullptr);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MediaTest, DirectoryOrEmptyPackPathResolvesPlainFilesOnly) {
    CreateMediaContexts(dir.c_str());                // what start-up does
    Write("plain.txt", "p");
    EXPECT_EQ(Resolve(1, "plain.txt"), 1);
    EXPECT_EQ(Resolve(1, "packed.txt"), 0);
    ASSERT_EQ(mkdir("folder", 0755), 0);
    EXPECT_EQ(Resolve(1, "folder"), 0);              // a directory is not a file to open
    SetMediaPacks(RtString(""), RtString(""));
    EXPECT_EQ(Resolve(0, "packed.txt"), 0);
}

TEST_F(MediaTest, InPlaceResolutionOfAnRtString) {
    Write("p.pak", WritePack({{"x.dat", "xx"}}));
    CreateMediaContexts("p.pak");
    RtString name("sub/x.dat");
    ASSERT_EQ(ResolveMedia(MediaSource(1), name), 1);
    const std::string resolved = name.Buffer();
    EXPECT_EQ(resolved.substr(0, temp.size() + 4), temp + "~sbx");
    EXPECT_EQ(resolved.substr(temp.size() + 6), "x.dat");
    EXPECT_EQ(name.length, resolved.size());
    EXPECT_EQ(Read(name.Buffer()), "xx");
    RtString missing("nothing.dat");
    EXPECT_EQ(ResolveMedia(MediaSource(1), missing), 0);
    EXPECT_EQ(missing.length, 0u);                   // the directory was searched: empty output
}

TEST_F(MediaTest, BrokenPacksFindNothing) {
    CreateMediaContexts("bad.pak");
    auto resolves = [&](const std::string& pack) {
        Write("bad.pak", pack);
        return Resolve(1, "a.txt");
    };
    std::string good = PackBlock("abc");
    // The directory's first entry has name length 0.
    std::string p = good + std::string(1, '\0');
    PutLe32(p, 0x7FFFFFF0u);
    std::string first0 = good;
    std::int32_t d = static_cast<std::int32_t>(first0.size());
    first0 += '\0';
    first0 += files_test::Directory({{"a.txt", 0, static_cast<std::uint32_t>(good.size())}});
    PutLe32(first0, static_cast<std::uint32_t>(d));
    EXPECT_EQ(resolves(first0), 0);
    EXPECT_EQ(resolves("abc"), 0);                   // shorter than D
    EXPECT_EQ(resolves(p), 0);                       // D beyond the end
    // A directory cut short inside an entry.
    std::string cut = good;
    std::string dirBytes = files_test::Directory({{"a.txt", 0, static_cast<std::uint32_t>(good.size())}});
    cut += dirBytes.substr(0, 7);
    PutLe32(cut, static_cast<std::uint32_t>(good.size()));
    EXPECT_EQ(resolves(cut), 0);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MediaTest, BadEntriesFailInsteadOfLeavingShortFiles) {
    CreateMediaContexts("bad.pak");
    const std::string data(5000, 'q');
    const std::string block = PackBlock(data);
    const auto size = static_cast<std::uint32_t>(block.size());
    auto pack = [&](const std::string& blockBytes, std::int32_t position, std::uint32_t packedSize) {
        std::string out = blockBytes;
        std::int32_t d = static_cast<std::int32_t>(out.size());
        out += files_test::Directory({{"a.txt", position, packedSize}});
        PutLe32(out, static_cast<std::uint32_t>(d));
        Write("bad.pak", out);
        return Resolve(1, "a.txt");
    };
    ASSERT_EQ(pack(block, 0, size), 1);              // the sound block resolves
    EXPECT_EQ(pack(block, -5, size), 0);             // position before the file
    EXPECT_EQ(pack(block, 0, 1u << 30), 0);          // size beyond the file
    EXPECT_EQ(pack(block, 0x7FFFFFFF, 8), 0);        // position beyond the file
    EXPECT_EQ(pack(block, 0, 3), 0);                 // no room for the size header
    std::string damaged = block;
    damaged[10] = static_cast<char>(damaged[10] ^ 0x5A);
    damaged[11] = static_cast<char>(0xFF);
    EXPECT_EQ(pack(damaged, 0, size), 0);            // damaged stream
    std::string liar = block;
    liar[0] = static_cast<char>(0x89);               // states 5001 bytes (5000 is 0x1388)
    EXPECT_EQ(pack(liar, 0, size), 0);               // stated size differs from what unpacks
    std::string huge = block;
    huge[0] = huge[1] = huge[2] = huge[3] = static_cast<char>(0xFF);
    EXPECT_EQ(pack(huge, 0, size), 0);               // 4 GiB stated: no memory is asked for
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MediaTest, EntryNamesWithPathsStayInsideTheTemporaryDirectory) {
    Write("evil.pak", WritePack({{"../../escape.txt", "e"}, {"sub\\dir\\inner.txt", "i"}}));
    CreateMediaContexts("evil.pak");
    std::string path;
    ASSERT_EQ(Resolve(1, "x/../../escape.txt", nullptr, &path), 1);
    EXPECT_EQ(path.substr(0, temp.size()), temp);
    EXPECT_EQ(path.find('/', temp.size()), std::string::npos) << path;
    EXPECT_EQ(path.substr(path.size() - 10), "escape.txt");
    ASSERT_EQ(Resolve(1, "SUB\\DIR\\INNER.TXT", nullptr, &path), 1);
    EXPECT_EQ(path.substr(path.size() - 9), "inner.txt");
    EXPECT_EQ(path.find('\\'), std::string::npos);
}

TEST_F(MediaTest, EmptyEntryUnpacksToAnEmptyFile) {
    Write("e.pak", WritePack({{"empty.txt", ""}}));
    CreateMediaContexts("e.pak");
    std::string contents = "not empty";
    ASSERT_EQ(Resolve(1, "empty.txt", &contents), 1);
    EXPECT_EQ(contents, "");
}

TEST_F(MediaTest, PacksFromTheToolResolveAndTheToolReadsTestPacks) {
    ASSERT_EQ(mkdir("media", 0755), 0);
    ASSERT_EQ(mkdir("media/levels", 0755), 0);
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i) + "\n";
    Write("media/c.bmp", "short c");
    Write("media/pic.bmp", "picture");
    Write("media/levels/Level1.TXT", big);
    auto created = Tool({"create", "game.pak", "media"});
    ASSERT_EQ(created.exitStatus, 0) << created.output;
    CreateMediaContexts("game.pak");
    std::string contents;
    // Longer names are listed first, so pic.bmp is not hidden behind c.bmp.
    ASSERT_EQ(Resolve(1, "pic.bmp", &contents), 1);
    EXPECT_EQ(contents, "picture");
    ASSERT_EQ(Resolve(1, "c.bmp", &contents), 1);
    EXPECT_EQ(contents, "short c");
    ASSERT_EQ(Resolve(1, "game/LEVELS/level1.txt", &contents), 1);
    EXPECT_EQ(contents, big);
    EXPECT_EQ(Resolve(1, "level1.txt"), 0);          // the entry is named with its folder

    // Appended to a host file, with positions from the end.
    Write("host.bin", std::string(777, 'h'));
    auto appended = Tool({"append", "host.bin", "game.pak", "-o", "game.bin"});
    ASSERT_EQ(appended.exitStatus, 0) << appended.output;
    EXPECT_EQ(Read("game.bin").substr(0, 777), std::string(777, 'h'));
    SetMediaPacks(RtString("game.bin"), RtString("game.bin"));
    ASSERT_EQ(Resolve(1, "levels/level1.txt", &contents), 1);
    EXPECT_EQ(contents, big);
    std::string tail = Read("game.bin").substr(Read("game.bin").size() - 4);
    EXPECT_LT(static_cast<std::int32_t>(static_cast<unsigned char>(tail[0]) | static_cast<unsigned char>(tail[1]) << 8 |
                                        static_cast<unsigned char>(tail[2]) << 16 | static_cast<unsigned char>(tail[3]) << 24),
              0);

    // The tool lists, verifies and extracts a pack the tests wrote themselves.
    Write("mine.pak", WritePack({{"x/one.txt", "first"}, {"two.txt", big}}, true, "HOST"));
    auto listed = Tool({"list", "mine.pak"});
    EXPECT_EQ(listed.exitStatus, 0) << listed.output;
    EXPECT_NE(listed.output.find(std::to_string(big.size())), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("x/one.txt"), std::string::npos);
    EXPECT_EQ(Tool({"verify", "mine.pak"}).exitStatus, 0);
    auto extracted = Tool({"extract", "mine.pak", "-C", "out"});
    ASSERT_EQ(extracted.exitStatus, 0) << extracted.output;
    EXPECT_EQ(Read("out/x/one.txt"), "first");
    EXPECT_EQ(Read("out/two.txt"), big);
    auto one = Tool({"extract", "mine.pak", "-C", "only", "SOME/TWO.TXT"});
    ASSERT_EQ(one.exitStatus, 0) << one.output;
    EXPECT_EQ(Read("only/two.txt"), big);
    EXPECT_FALSE(Exists("only/x"));
}

TEST_F(MediaTest, ToolNamesLinkedFilesByTheirPlaceInTheFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows file layer opens no reparse points (links), so linked inputs are not read there";
#endif
    ASSERT_EQ(mkdir("shared", 0755), 0);
    ASSERT_EQ(mkdir("media", 0755), 0);
    ASSERT_EQ(mkdir("media/sub", 0755), 0);
    Write("shared/art.bmp", "shared art");
    ASSERT_EQ(symlink("../shared/art.bmp", "media/pic.bmp"), 0);
    ASSERT_EQ(symlink("../../shared/art.bmp", "media/sub/other.bmp"), 0);
    ASSERT_EQ(symlink("../shared", "media/linked"), 0);   // a linked folder
    auto created = Tool({"create", "links.pak", "./media/"});
    ASSERT_EQ(created.exitStatus, 0) << created.output;
    auto listed = Tool({"list", "links.pak"});
    EXPECT_NE(listed.output.find(" pic.bmp\n"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find(" sub/other.bmp\n"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find(" linked/art.bmp\n"), std::string::npos) << listed.output;
    EXPECT_EQ(listed.output.find(".."), std::string::npos) << listed.output;
    CreateMediaContexts("links.pak");
    std::string contents;
    ASSERT_EQ(Resolve(1, "gfx/sub/other.bmp", &contents), 1);
    EXPECT_EQ(contents, "shared art");

    // A linked folder that leads back up is refused, and the old pack stays.
    ASSERT_EQ(symlink("../media", "shared/back"), 0);
    const std::string before = Read("links.pak");
    auto looped = Tool({"create", "links.pak", "media"});
    EXPECT_NE(looped.exitStatus, 0);
    EXPECT_NE(looped.output.find("media/linked/back"), std::string::npos) << looped.output;
    EXPECT_EQ(Read("links.pak"), before);
}

} // namespace
} // namespace corvane
