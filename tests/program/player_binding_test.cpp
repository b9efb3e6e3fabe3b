// The player's song functions against the real stand-in library beside this test:
// each load binds the five calls anew and restarts the library.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "program/player.h"
#include "tests/support/engine_fixture.h"
#include "runtime/frame/dll_binding.h"

namespace corvane {
namespace {

const std::string kSong = std::string(CORVANE_BINARY_DIR) + "/bin/yoshi1.it";

class PlayerBinding : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
    void TearDown() override { StopSong(); }
};

TEST_F(PlayerBinding, EveryLoadBindsFiveCallsAndReplacesTheSong) {
    std::uint32_t before = loadedModules.count;
    EXPECT_EQ(LoadSong(RtString(kSong.c_str())), 1.0);
    EXPECT_EQ(loadedModules.count, before + 5);
    EXPECT_NE(fmusicLoadSong, nullptr);
    EXPECT_NE(fmusicPlaySong, nullptr);
    EXPECT_NE(fmusicFreeSong, nullptr);
    EXPECT_NE(fsoundInit, nullptr);
    EXPECT_NE(fsoundClose, nullptr);
    // The load closed its own earlier use, so the flag is down again.
    EXPECT_EQ(fmodBound, 0.0);
    std::int32_t first = songHandle;
    EXPECT_NE(first, 0);
    EXPECT_EQ(PlaySong(), 0.0);
    EXPECT_EQ(fmusicPlaySong(first), 1);   // really playing: the output is open

    EXPECT_EQ(LoadSong(RtString(kSong.c_str())), 1.0);
    EXPECT_EQ(loadedModules.count, before + 10);
    EXPECT_NE(songHandle, 0);
    EXPECT_NE(songHandle, first);
    EXPECT_EQ(fmusicFreeSong(first), 0);   // the first song was freed by the second load

    std::int32_t second = songHandle;
    EXPECT_EQ(StopSong(), 0.0);
    EXPECT_EQ(songHandle, 0);
    EXPECT_EQ(fmodBound, 0.0);
    EXPECT_EQ(fmusicFreeSong(second), 0);  // stopping freed it
    EXPECT_EQ(PlaySong(), 0.0);            // nothing to play: skipped
    EXPECT_EQ(StopSong(), 0.0);
}

TEST_F(PlayerBinding, MissingSongFileLoadsNothing) {
    EXPECT_EQ(LoadSong(RtString("no_such_song.it")), 0.0);
    EXPECT_EQ(songHandle, 0);
    EXPECT_EQ(PlaySong(), 0.0);
}

// The whole way out with the song still playing: the program end, then the
// process-exit teardown unloading every library load the program made.
TEST(PlayerExit, EndsCleanlyWithTheSongPlaying) {
    std::string dir = testing::TestTempDir() + "exit_probe/";
    std::filesystem::create_directories(dir);
    testing::ProcessResult run = testing::RunProcess(
        {testing::BuiltProgram("player_exit_probe")},
        {"TMPDIR=" + dir, testing::kHeadlessVideo, "SDL_AUDIODRIVER=disk",
         "SDL_DISKAUDIOFILE=" + dir + "runtime.raw", "FMOD_DISKAUDIOFILE=" + dir + "music.raw"},
        60.0);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0) << run.output;
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find("returns: 1"), std::string::npos) << run.output;

    std::string music = testing::ReadFile(dir + "music.raw");
    std::vector<std::int16_t> samples(music.size() / 2);
    std::memcpy(samples.data(), music.data(), samples.size() * 2);
    size_t loud = 0;
    for (size_t at = 0; at + 882 <= samples.size(); at += 882) {
        double sum = 0.0;
        for (size_t i = at; i < at + 882; ++i) sum += double(samples[i]) * samples[i];
        loud += std::sqrt(sum / 882) > 300.0;
    }
    EXPECT_GE(loud, 30u) << "at least 0.3 s of the song was heard";
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace corvane
