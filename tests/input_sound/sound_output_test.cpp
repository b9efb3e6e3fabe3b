// Sound effects measured in the raw mixed output of SDL's disk audio driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "runtime/input_sound/sound_internal.h"
#include "tests/input_sound/sound_test_support.h"

using namespace corvane;
using namespace corvane::soundtest;

namespace {

constexpr int kRate = 22050;
constexpr double kAmplitude = 16000.0;
const double kSineRms = kAmplitude / std::sqrt(2.0);

std::string SineWav(const std::string& name, int frames) {
    WavRecipe recipe;
    recipe.samples = Sine(frames, 1, kRate, 441.0, kAmplitude);
    return WriteTempFile(name, BuildWav(recipe));
}

// The output of one sine played with the given pan and volume, 0.25 s long.
Capture PlaySine(const char* name, double pan, double volume) {
    std::string path = SineWav(std::string(name) + ".wav", kRate / 4);
    EXPECT_TRUE(StartCapture(name));
    EXPECT_EQ(LoadSound(path.c_str(), 3, 1), 1);
    EXPECT_EQ(PlaySound(3, pan, volume), 1);
    return FinishCapture(450);
}

// RMS of each side over 0.1 s starting 10 ms after the sound began.
void SideLevels(const Capture& c, double* left, double* right) {
    long start = c.First(0);
    ASSERT_GE(start, 0) << "nothing was heard";
    *left = c.Rms(0, start + 220, kRate / 10);
    *right = c.Rms(1, start + 220, kRate / 10);
}

} // namespace

TEST(SoundOutput, FullVolumeCentredReachesBothSidesAtTheSampleLevel) {
    Capture c = PlaySine("full", 0.0, 1.0);
    double left = 0, right = 0;
    SideLevels(c, &left, &right);
    EXPECT_NEAR(left, kSineRms, kSineRms * 0.03);
    EXPECT_NEAR(right, kSineRms, kSineRms * 0.03);
    // One play, no looping: about 0.25 s of sound.
    EXPECT_NEAR(static_cast<double>(c.CountLouder(0, 2000)), kRate / 4 * 0.9, kRate / 4 * 0.1);
}

TEST(SoundOutput, VolumeFollowsHundredthsOfADecibel) {
    // 0.5 is -50 dB: about 1/316 of full level, still audible, not a half.
    Capture half = PlaySine("half", 0.0, 0.5);
    double left = 0, right = 0;
    SideLevels(half, &left, &right);
    const double expected = kSineRms * std::pow(10.0, -50.0 / 20.0);
    EXPECT_NEAR(left, expected, expected * 0.15);
    EXPECT_NEAR(right, expected, expected * 0.15);

    Capture loud = PlaySine("loud", 0.0, 2.0);  // above 1: full level
    SideLevels(loud, &left, &right);
    EXPECT_NEAR(left, kSineRms, kSineRms * 0.03);
}

TEST(SoundOutput, VolumeZeroAndBelowAreSilent) {
    for (double volume : {0.0, -1.0, std::nan("")}) {
        Capture c = PlaySine("silent", 0.0, volume);
        EXPECT_EQ(c.MaxAbs(0), 0) << volume;
        EXPECT_EQ(c.MaxAbs(1), 0) << volume;
    }
}

TEST(SoundOutput, PanRightSilencesTheLeftSide) {
    Capture c = PlaySine("panright", 1.0, 1.0);
    EXPECT_LE(c.MaxAbs(0), 1);
    double right = c.Rms(1, c.First(0) + 220, kRate / 10);
    EXPECT_NEAR(right, kSineRms, kSineRms * 0.03);

    Capture l = PlaySine("panleft", -5.0, 1.0);  // limited to -1
    EXPECT_LE(l.MaxAbs(1), 1);
    EXPECT_GT(l.MaxAbs(0), 15000);
}

TEST(SoundOutput, HalfPanAttenuatesTheOtherSideBy50Db) {
    Capture c = PlaySine("panhalf", 0.5, 1.0);
    double left = 0, right = 0;
    SideLevels(c, &left, &right);
    EXPECT_NEAR(right, kSineRms, kSineRms * 0.03);
    const double expected = kSineRms * std::pow(10.0, -50.0 / 20.0);
    EXPECT_NEAR(left, expected, expected * 0.15);
}

TEST(SoundOutput, FourPlaysOnThreeVoicesCutOffTheOldest) {
    // A constant level adds up exactly, so the output shows how many voices sound.
    WavRecipe recipe;
    recipe.samples = Constant(kRate * 6 / 10, 1, 3000);
    std::string path = WriteTempFile("dc.wav", BuildWav(recipe));
    ASSERT_TRUE(StartCapture("fourplays"));
    ASSERT_EQ(LoadSound(path.c_str(), 10, 3), 1);
    EXPECT_EQ(PlaySound(10, 0, 1), 1);
    SleepMs(250);
    EXPECT_EQ(PlaySound(10, 0, 1), 1);
    EXPECT_EQ(PlaySound(10, 0, 1), 1);
    EXPECT_EQ(PlaySound(10, 0, 1), 1);  // voice 0 is cut off and started again
    EXPECT_EQ(SoundSlots()[10].nextVoice, 0);
    for (int v = 0; v < 3; ++v) EXPECT_TRUE(platform::VoicePlaying(SoundSlots()[10].voices[v])) << v;
    Capture c = FinishCapture(900);

    std::size_t one = 0, two = 0, three = 0, more = 0;
    for (std::size_t f = 0; f < c.Frames(); ++f) {
        int v = c.At(f, 0);
        one += v == 3000;
        two += v == 6000;
        three += v == 9000;
        more += v > 9000;
    }
    EXPECT_EQ(more, 0u);                                   // never four at once
    EXPECT_NEAR(double(one), kRate * 0.25, kRate * 0.1);   // the first play alone
    EXPECT_NEAR(double(three), kRate * 0.6, kRate * 0.06); // then three together to the end
    // The three end together: had the fourth play been refused, two voices would
    // have gone on alone for 0.25 s after the first one ended.
    EXPECT_LT(double(two), kRate * 0.06);
}

TEST(SoundOutput, BusySingleVoiceRefusesAndTheFirstPlayGoesOn) {
    WavRecipe recipe;
    recipe.samples = Constant(kRate * 4 / 10, 1, 3000);
    std::string path = WriteTempFile("dc1.wav", BuildWav(recipe));
    ASSERT_TRUE(StartCapture("busy"));
    ASSERT_EQ(LoadSound(path.c_str(), 11, 1), 1);
    EXPECT_EQ(PlaySound(11, 0, 1), 1);
    SleepMs(150);
    EXPECT_EQ(PlaySound(11, 0, 1), 0);
    Capture c = FinishCapture(600);
    EXPECT_EQ(c.MaxAbs(0), 3000);
    // Not restarted: the sound lasts its own 0.4 s.
    EXPECT_NEAR(double(c.CountLouder(0, 0)), kRate * 0.4, kRate * 0.03);
}

TEST(SoundOutput, StandardHeaderPlaysItsSamplesFromByte44) {
    WavRecipe recipe;
    for (int i = 0; i < 2000; ++i) recipe.samples.push_back(100 + (i % 50) * 200);
    std::string bytes = BuildWav(recipe);
    ASSERT_EQ(bytes.size(), 44u + 4000u);
    std::string path = WriteTempFile("ramp.wav", bytes);
    ASSERT_TRUE(StartCapture("ramp"));
    ASSERT_EQ(LoadSound(path.c_str(), 12, 1), 1);
    EXPECT_EQ(PlaySound(12, 0, 1), 1);
    Capture c = FinishCapture(300);
    long start = c.First(0);
    ASSERT_GE(start, 0);
    // At the output rate with full volume the samples come out unchanged, on both sides.
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(c.At(start + i, 0), recipe.samples[i]) << "frame " << i;
        ASSERT_EQ(c.At(start + i, 1), recipe.samples[i]) << "frame " << i;
    }
    EXPECT_EQ(c.At(start + 2000, 0), 0);
}

TEST(SoundOutput, StopAllSoundsSilencesEveryVoice) {
    WavRecipe recipe;
    recipe.samples = Constant(kRate, 1, 2000);
    std::string path = WriteTempFile("dc2.wav", BuildWav(recipe));
    ASSERT_TRUE(StartCapture("stopall"));
    ASSERT_EQ(LoadSound(path.c_str(), 20, 2), 1);
    ASSERT_EQ(LoadSound(path.c_str(), 21, 1), 1);
    EXPECT_EQ(PlaySound(20, 0, 1), 1);
    EXPECT_EQ(PlaySound(20, 0, 1), 1);
    EXPECT_EQ(PlaySound(21, 0, 1), 1);
    SleepMs(200);
    StopAllSounds();
    for (int v = 0; v < 2; ++v) EXPECT_FALSE(platform::VoicePlaying(SoundSlots()[20].voices[v]));
    // A stopped voice plays again from the start.
    EXPECT_EQ(PlaySound(21, 0, 1), 1);
    Capture c = FinishCapture(1300);
    EXPECT_EQ(c.MaxAbs(0), 6000);
    // 0.2 s of three voices, then one whole second of the replayed one.
    EXPECT_NEAR(double(c.CountLouder(0, 0)), kRate * 1.2, kRate * 0.1);
}
