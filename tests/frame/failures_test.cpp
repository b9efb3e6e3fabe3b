// Failed loads and saves say what failed: one line in the log and on standard error,
// naming the command, the file as given and the reason; return values as before.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "examples/common/media_writer.h"
#include "runtime/engine/engine_state.h"
#include "runtime/engine/engine.h"
#include "runtime/frame/frame.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/input_sound/sound_internal.h"
#include "runtime/values/media.h"
#include "runtime/values/values.h"
#include "tests/support/engine_fixture.h"

namespace corvane {
namespace {

using testing::CaptureStandardError;
using testing::ErrorLogLines;
using testing::ReadFile;
using testing::TestTempDir;
using testing::WriteFile;

constexpr double kNoResult = -1000;  // the command has no result to compare

// Files every case names, made once: good ones, cut ones, ones of another kind.
std::map<std::string, std::string> MakeFiles() {
    const std::string dir = TestTempDir() + "failures/";
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "a-folder.png").c_str(), 0700);
    std::map<std::string, std::string> f = {
        {"missing", dir + "no-such-file.png"}, {"folder", dir + "a-folder.png"}, {"text", dir + "notes.png"},
        {"bmp", dir + "good.bmp"}, {"cut bmp", dir + "cut.bmp"}, {"wav", dir + "good.wav"},
        {"cut wav", dir + "cut.wav"}, {"model", dir + "good.model"}, {"cut model", dir + "cut.model"},
        {"no folder", dir + "no-such-folder/out.bmp"}, {"empty", dir + "empty.mp4"},
    };
    WriteFile(f["empty"], "");
    WriteFile(f["text"], "just some text, named like a picture\n");
    media_writer::WriteBmp(f["bmp"], 64, 64, [](int x, int) -> std::uint32_t { return x < 32 ? 0x2080FF : 0x102030; });
    WriteFile(f["cut bmp"], ReadFile(f["bmp"]).substr(0, 600));
    media_writer::WriteWav(f["wav"], 22050, 4000, [](int i) { return std::sin(i * 0.1) * 0.5; });
    WriteFile(f["cut wav"], ReadFile(f["wav"]).substr(0, 3000));
    CreateCube(4000, 2);
    SaveObject(RtString(f["model"].c_str()), 4000);
    const std::string model = ReadFile(f["model"]);
    WriteFile(f["cut model"], model.substr(0, model.size() / 2));
    return f;
}

TEST(Failures, EveryLoaderNamesTheCommandTheFileAndTheReason) {
    ASSERT_TRUE(testing::StartHeadlessEngine());
    auto f = MakeFiles();
    using Load = std::function<double(const std::string&)>;
    const std::map<std::string, Load> loaders = {
        {"LoadSprite", [](const std::string& n) { return LoadSprite(RtString(n.c_str()), 7); }},
        {"LoadBumpTexture", [](const std::string& n) { return LoadBumpTexture(RtString(n.c_str()), 7); }},
        {"LoadFont", [](const std::string& n) { LoadFont(RtString(n.c_str()), 3); return kNoResult; }},
        {"LoadBackground", [](const std::string& n) { LoadBackground(RtString(n.c_str())); return kNoResult; }},
        {"FadeToBackground", [](const std::string& n) { FadeToBackground(RtString(n.c_str())); return kNoResult; }},
        {"LoadSound", [](const std::string& n) { return double(LoadSound(n.c_str(), 5, 1)); }},
        {"PlayMusic", [](const std::string& n) { const double r = PlayMusic(n.c_str()); StopMusic(); return r; }},
        {"LoadObject", [](const std::string& n) { return LoadObject(RtString(n.c_str()), 9); }},
        // Once, not looped: a file the decoder took after all would end instead of hanging.
        {"PlayVideoOnce", [](const std::string& n) { PlayVideoOnce(RtString(n.c_str())); return kNoResult; }},
        {"IniOpen", [](const std::string& n) { IniOpen(n.c_str()); return kNoResult; }},
        {"ReadLineText", [](const std::string& n) { RtString t; return ReadLineText(n.c_str(), 0, t); }},
        {"SetMediaPacks",
         [](const std::string& n) { SetMediaPacks(RtString(n.c_str()), RtString(n.c_str())); return kNoResult; }},
        {"SaveScreen", [](const std::string& n) { return SaveScreen(RtString(n.c_str())); }},
        {"SaveObject", [](const std::string& n) { return SaveObject(RtString(n.c_str()), 4000); }},
    };
    const std::string notPicture = "not a picture (BMP, PNG, JPEG or TGA)";
    const struct {
        const char* command;
        const char* file;
        double result;
        std::string reason;   // empty: a success, which says nothing
    } cases[] = {
        {"LoadSprite", "missing", 0, "not found"},
        {"LoadSprite", "folder", 0, "a folder, not a file"},
        {"LoadSprite", "text", 0, notPicture},
        {"LoadSprite", "cut bmp", 0, "truncated BMP"},
        {"LoadSprite", "wav", 0, notPicture},
        {"LoadSprite", "bmp", 1, ""},
        {"LoadBumpTexture", "cut bmp", 0, "truncated BMP"},
        {"LoadBumpTexture", "text", 0, notPicture},
        {"LoadFont", "missing", kNoResult, "not found (the built-in font is used)"},
        {"LoadFont", "folder", kNoResult, "a folder, not a file (the built-in font is used)"},
        {"LoadBackground", "missing", kNoResult, "not found (nothing changes)"},
        {"FadeToBackground", "folder", kNoResult, "a folder, not a file (nothing changes)"},
        {"LoadSound", "missing", 0, "not found"},
        {"LoadSound", "folder", 0, "a folder, not a file"},
        {"LoadSound", "text", 0, "not a WAV sound"},
        {"LoadSound", "cut wav", 0, "truncated WAV"},
        {"LoadSound", "bmp", 0, "not a WAV sound"},
        {"LoadSound", "wav", 1, ""},
        {"PlayMusic", "missing", 0, "not found"},
        {"PlayMusic", "folder", 0, "a folder, not a file"},
        {"PlayMusic", "text", 0, "not music the mixer reads (unsupported format or damaged)"},
        {"LoadObject", "missing", 0, "not found"},
        {"LoadObject", "folder", 0, "a folder, not a file"},
        {"LoadObject", "text", 0, "not a model file (the binary model or MSHA text)"},
        {"LoadObject", "cut model", 0, "truncated or damaged binary model"},
        {"LoadObject", "model", 1, ""},
        {"PlayVideoOnce", "missing", kNoResult, "not found"},
        {"PlayVideoOnce", "folder", kNoResult, "a folder, not a file"},
        {"PlayVideoOnce", "empty", kNoResult, "not a video the decoder reads (unsupported format or damaged)"},
        {"IniOpen", "missing", kNoResult, "not found (starts empty; IniPut makes it)"},
        {"IniOpen", "folder", kNoResult, "a folder, not a file"},
        {"ReadLineText", "missing", 3, "not found"},
        {"ReadLineText", "folder", 3, "a folder, not a file"},
        {"SetMediaPacks", "missing", kNoResult, "not found"},
        {"SetMediaPacks", "folder", kNoResult, "a folder, not a file"},
        {"SaveScreen", "no folder", 0, "folder not found"},
        {"SaveScreen", "folder", 0, "a folder, not a file"},
        {"SaveObject", "no folder", 0, "folder not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " of " + c.file);
        const std::string name = f.at(c.file);
        const size_t logged = ErrorLogLines().size();
        double result = 0;
        const std::string printed = CaptureStandardError([&] { result = loaders.at(c.command)(name); });
        if (c.result != kNoResult) {
            EXPECT_EQ(result, c.result);
        }
        const std::vector<std::string> log = ErrorLogLines();
        const std::vector<std::string> added(log.begin() + std::min(logged, log.size()), log.end());
        if (c.reason.empty()) {
            EXPECT_EQ(printed, "");
            EXPECT_TRUE(added.empty()) << added.front();
            continue;
        }
        const std::string line = std::string(c.command) + " \"" + name + "\": " + c.reason;
        // The model loader's own two lines ("# read error" and the file) may come first.
        ASSERT_FALSE(added.empty());
        EXPECT_EQ(added.back(), line);
        EXPECT_EQ(added.size(), std::string(c.command) == "LoadObject" ? added.size() : 1u);
        EXPECT_LE(added.size(), 3u);
        EXPECT_EQ(printed, line + "\n");
    }
    SetMediaPacks(RtString(""), RtString(""));
}

TEST(Failures, TheStandardErrorCopyCanBeSilencedTheLogKeepsTheLine) {
    ASSERT_TRUE(testing::StartHeadlessEngine());
    const std::string name = TestTempDir() + "silenced.png";
    PrintFailures(0);
    const std::string printed = CaptureStandardError([&] { EXPECT_EQ(LoadSprite(RtString(name.c_str()), 7), 0.0); });
    PrintFailures(1);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(ErrorLogLines().back(), "LoadSprite \"" + name + "\": not found");
    // The environment variable does the same for a whole run.
    const std::string dir = TestTempDir() + "quiet";
    mkdir(dir.c_str(), 0700);
    for (const char* quiet : {"1", "0"}) {
        const auto run = testing::RunProcess({testing::BuiltProgram("stop_probe"), "background-missing"},
                                             {"TMPDIR=" + dir, std::string("CORVANE_QUIET_FAILURES=") + quiet}, 60.0);
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        const std::string line = "LoadBackground \"no-such-background.bmp\": not found (nothing changes)";
        EXPECT_EQ(run.output.find(line) == std::string::npos, *quiet == '1') << run.output;
        const auto log = ErrorLogLines(dir + "/", "stop_probe");
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end());
    }
}

} // namespace
} // namespace corvane
