// Music: played through the mixer's music stream, repeated by the frame step.
#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "runtime/frame/frame.h"
#include "runtime/input_sound/sound_internal.h"
#include "tests/input_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace corvane::soundtest;

namespace {

constexpr int kRate = 22050;

// 0.3 s of a constant level, as a WAV music file.
std::string MusicWav() {
    WavRecipe recipe;
    recipe.samples = Constant(kRate * 3 / 10, 1, 4000);
    return WriteTempFile("music.wav", BuildWav(recipe));
}

// Runs frame steps for about the given time.
void RunFrames(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) PresentFrame();
}

} // namespace

TEST(Music, UnresolvedNamesPlayNothing) {
    ASSERT_TRUE(StartCapture("music_missing"));
    EXPECT_EQ(PlayMusic("no-such-music.ogg"), 0);
    EXPECT_FALSE(MusicLoops());
    std::string notMusic = WriteTempFile("not-music.xyz", std::string(1000, 'x'));
    EXPECT_EQ(PlayMusic(notMusic.c_str()), 0);
    EXPECT_FALSE(MusicLoops());
    Capture c = FinishCapture(100);
    EXPECT_EQ(c.MaxAbs(0), 0);
}

TEST(Music, PlaysOnceWithoutFrameSteps) {
    std::string path = MusicWav();
    ASSERT_TRUE(StartCapture("music_once"));
    ASSERT_EQ(PlayMusic(path.c_str()), 1);
    EXPECT_TRUE(MusicLoops());
    Capture c = FinishCapture(900);
    EXPECT_FALSE(MusicLoops());   // released with the output
    EXPECT_EQ(c.MaxAbs(0), 4000);
    EXPECT_NEAR(double(c.CountLouder(0, 0)), kRate * 0.3, kRate * 0.03);
}

TEST(Music, TheFrameStepStartsFinishedMusicAgain) {
    if (!corvane::testing::StartHeadlessEngine()) GTEST_SKIP() << "no headless window";
    std::string path = MusicWav();
    ASSERT_TRUE(StartCapture("music_loop"));
    ASSERT_EQ(PlayMusic(path.c_str()), 1);
    RunFrames(1200);
    StopMusic();
    EXPECT_FALSE(MusicLoops());
    RunFrames(200);                     // stopped music stays stopped
    Capture c = FinishCapture(200);
    EXPECT_EQ(c.MaxAbs(1), 4000);
    // Plays of 0.3 s back to back for as long as the frames ran (a busy machine
    // may mix a little less than the 1.2 s), never overlapping.
    EXPECT_GT(double(c.CountLouder(1, 0)), kRate * 0.65);
    EXPECT_LT(double(c.CountLouder(1, 0)), kRate * 1.3);
}

TEST(Music, OggFromSoxIsHeard) {
    if (!corvane::testing::ShellToolsAvailable() || std::system("sox --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed (" << corvane::testing::kNoShellTools << ")";
    std::string path = corvane::testing::TestTempDir() + "music.ogg";
    std::string cmd = "sox -q -n -r 22050 -c 2 '" + path + "' synth 0.3 sine 441 gain -6.02";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "sox cannot write Ogg Vorbis here";
    ASSERT_TRUE(StartCapture("music_ogg"));
    ASSERT_EQ(PlayMusic(path.c_str()), 1);
    // Playing another file first stops the one before.
    ASSERT_EQ(PlayMusic(path.c_str()), 1);
    Capture c = FinishCapture(600);
    long start = c.First(1000);
    ASSERT_GE(start, 0);
    EXPECT_NEAR(c.Rms(0, start + 500, kRate / 10), 0.5 * 32767 / 1.41421, 0.5 * 32767 / 1.41421 * 0.1);
}

// The program end stops the music, tears the slots down from their stored count
// while voices still sound, then releases the output: the process exits cleanly.
TEST(SoundEnd, EndProgramReleasesPlayingSoundsAndMusic) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!corvane::testing::StartHeadlessEngine()) std::exit(3);
            if (!TheSoundDevice() || !SoundSlots() || !TheSoundDevice()->created) std::exit(4);
            WavRecipe recipe;
            recipe.samples = Constant(kRate, 1, 1000);
            std::string path = WriteTempFile("end.wav", BuildWav(recipe));
            for (int slot = 0; slot < 128; slot += 9) {
                if (LoadSound(path.c_str(), slot, 4) != 1 || PlaySound(slot, 0.5, 0.7) != 1) std::exit(5);
            }
            if (PlayMusic(MusicWav().c_str()) != 1) std::exit(6);
            std::fprintf(stderr, "sounds playing\n");
            EndProgram();
        },
        ::testing::ExitedWithCode(0), "sounds playing");
}

TEST(Music, SoundAndMusicNamesAreFoundAsProgramsWriteThem) {
    // The folder and file exist in lower case; programs write them any way.
    const std::string dir = corvane::testing::TestTempDir();
    std::error_code made;
    std::filesystem::create_directories(dir + "snd", made);
    ASSERT_FALSE(made) << made.message();
    WavRecipe recipe;
    recipe.samples = Constant(kRate / 10, 1, 4000);
    ASSERT_TRUE(corvane::testing::WriteFile(dir + "snd/beep.wav", BuildWav(recipe)));
    const struct {
        const char* written;
        int found;
    } cases[] = {{"snd/beep.wav", 1}, {"SND\\BEEP.WAV", 1}, {"Snd/Beep.Wav", 1}, {"NOSND\\beep.wav", 0}};
    ASSERT_TRUE(StartCapture("music_names"));
    for (const auto& c : cases) {
        const std::string name = dir + c.written;
        EXPECT_EQ(LoadSound(name.c_str(), 70, 1), c.found) << c.written;
        EXPECT_EQ(PlayMusic(name.c_str()), c.found) << c.written;
    }
    FinishCapture(50);
}
