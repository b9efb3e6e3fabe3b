// Music: played through the mixer's music stream, repeated by the frame step.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "runtime/frame/engine_state.h"
#include "runtime/frame/frame.h"
#include "runtime/input_sound/sound.h"
#include "tests/input_sound_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace corvane::soundtest;

namespace {

constexpr int kRate = 22050;

// 0.3 s of a constant level, as a WAV music file.
std::string MusicWav() {
    WavSpec spec;
    spec.samples = Constant(kRate * 3 / 10, 1, 4000);
    return WriteTempFile("music.wav", BuildWav(spec));
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
    EXPECT_FALSE(engine.mediaWindow);
    std::string notMusic = WriteTempFile("not-music.xyz", std::string(1000, 'x'));
    EXPECT_EQ(PlayMusic(notMusic.c_str()), 0);
    EXPECT_FALSE(engine.mediaWindow);
    Capture c = FinishCapture(100);
    EXPECT_EQ(c.MaxAbs(0), 0);
}

TEST(Music, PlaysOnceWithoutFrameSteps) {
    std::string path = MusicWav();
    ASSERT_TRUE(StartCapture("music_once"));
    ASSERT_EQ(PlayMusic(path.c_str()), 1);
    EXPECT_TRUE(engine.mediaWindow);
    Capture c = FinishCapture(900);
    EXPECT_FALSE(engine.mediaWindow);   // released with the output
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
    EXPECT_FALSE(engine.mediaWindow);
    RunFrames(200);                     // stopped music stays stopped
    Capture c = FinishCapture(200);
    EXPECT_EQ(c.MaxAbs(1), 4000);
    // Four plays of 0.3 s back to back, within a few frames of each other.
    EXPECT_GT(double(c.CountLouder(1, 0)), kRate * 1.0);
    EXPECT_LT(double(c.CountLouder(1, 0)), kRate * 1.3);
}

TEST(Music, OggFromSoxIsHeard) {
    if (std::system("sox --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
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
