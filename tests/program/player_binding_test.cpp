// The player's song functions against the real stand-in library beside this test:
// each load binds the five calls anew and restarts the library.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "program/player.h"
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

} // namespace
} // namespace corvane
