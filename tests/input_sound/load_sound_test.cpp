// LoadSound and PlaySound bookkeeping, the WAV reader's rules, and WAV files
// written by other programs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "runtime/input_sound/sound_internal.h"
#include "tests/input_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace corvane::soundtest;

namespace {

// An open output of any kind (the tests here do not listen).
void EnsureOutput() {
    corvane::testing::StartHeadlessEngine();
    CreateSoundRecords();
    if (!TheSoundDevice()->created) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_EQ(InitSound(TheSoundDevice()), 1);
    }
}

std::string ShortWav(const std::string& name) {
    WavRecipe recipe;
    recipe.samples = Sine(2205, 1, 22050, 441, 8000);
    return WriteTempFile(name, BuildWav(recipe));
}

bool Reads(const WavRecipe& recipe, WavSound* out = nullptr) {
    std::string bytes = BuildWav(recipe);
    WavSound wav;
    bool ok = ReadWav(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wav);
    if (out) *out = wav;
    return ok;
}

WavRecipe Tone() {
    WavRecipe recipe;
    recipe.samples = Sine(100, 1, 22050, 441, 8000);
    return recipe;
}

} // namespace

// ---------------------------------------------------------------- slots and voices

TEST(LoadSound, VoiceCountsAreLimitedToOneToFour) {
    EnsureOutput();
    std::string path = ShortWav("voices.wav");
    const struct { double asked; int got; } cases[] = {{0, 1}, {9, 4}, {-3, 1}, {2.9, 2}, {4, 4}, {1, 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(LoadSound(path.c_str(), 5, c.asked), 1) << c.asked;
        EXPECT_EQ(SoundSlots()[5].voiceCount, c.got) << c.asked;
        int present = 0;
        for (int v = 0; v < kMaxVoicesPerSlot; ++v) present += SoundSlots()[5].voices[v] >= 0;
        EXPECT_EQ(present, c.got) << c.asked;
    }
}

TEST(LoadSound, SlotNumbersAbove127MeanSlot127AndNegativeOnesAreRefused) {
    EnsureOutput();
    std::string path = ShortWav("slots.wav");
    ASSERT_EQ(LoadSound(path.c_str(), 500, 2), 1);
    EXPECT_EQ(SoundSlots()[127].voiceCount, 2);
    EXPECT_EQ(PlaySound(1e12, 0, 1), 1);   // also slot 127
    StopAllSounds();

    EXPECT_EQ(LoadSound(path.c_str(), -1, 1), 0);
    EXPECT_EQ(LoadSound(path.c_str(), -1e12, 1), 0);
    EXPECT_EQ(PlaySound(-1, 0, 1), 0);
    EXPECT_EQ(PlaySound(-2147483649.0, 0, 1), 0);
}

TEST(LoadSound, EmptyOrFailedSlotsDoNotPlay) {
    EnsureOutput();
    EXPECT_EQ(PlaySound(40, 0, 1), 0);                      // never loaded
    std::string good = ShortWav("good.wav");
    ASSERT_EQ(LoadSound(good.c_str(), 41, 1), 1);

    // A name that does not resolve leaves the slot as it was.
    EXPECT_EQ(LoadSound("no-such-sound.wav", 41, 1), 0);
    EXPECT_EQ(SoundSlots()[41].voiceCount, 1);

    // A file that resolves but cannot be read empties the slot first.
    WavRecipe bad = Tone();
    bad.listChunk = true;
    std::string badPath = WriteTempFile("list.wav", BuildWav(bad));
    EXPECT_EQ(LoadSound(badPath.c_str(), 41, 3), 0);
    EXPECT_EQ(SoundSlots()[41].voiceCount, 0);
    EXPECT_EQ(SoundSlots()[41].device, nullptr);
    EXPECT_EQ(PlaySound(41, 0, 1), 0);
}

TEST(LoadSound, NothingLoadsWithoutTheOutput) {
    EnsureOutput();
    std::string path = ShortWav("nodevice.wav");
    ASSERT_EQ(LoadSound(path.c_str(), 42, 2), 1);
    ReleaseSounds(TheSoundDevice());
    EXPECT_EQ(SoundSlots()[42].voiceCount, 0);  // released with the output
    EXPECT_EQ(PlaySound(42, 0, 1), 0);
    EXPECT_EQ(LoadSound(path.c_str(), 42, 2), 0);
    EXPECT_EQ(SoundSlots()[42].voiceCount, 0);
}

TEST(LoadSound, SlotTableTornDownWithItsVoicesAndMadeAgain) {
    EnsureOutput();
    ASSERT_NE(SoundSlots(), nullptr);

    // A loaded table is torn down, voices released first; start-up makes a fresh one.
    std::string path = ShortWav("teardown.wav");
    ASSERT_EQ(LoadSound(path.c_str(), 127, 4), 1);
    ASSERT_EQ(PlaySound(127, 0, 1), 1);
    int voice = SoundSlots()[127].voices[0];
    DestroySoundSlots();
    EXPECT_EQ(SoundSlots(), nullptr);
    EXPECT_FALSE(platform::VoicePlaying(voice));
    EXPECT_EQ(PlaySound(127, 0, 1), 0);
    CreateSoundRecords();
    ASSERT_NE(SoundSlots(), nullptr);
    EXPECT_EQ(SoundSlots()[127].voiceCount, 0);
}

TEST(LoadSound, VolumeAndPanMapToHundredthsOfADecibel) {
    EXPECT_EQ(VolumeToHundredthsDb(1.0), 0);
    EXPECT_EQ(VolumeToHundredthsDb(0.5), -5000);
    EXPECT_EQ(VolumeToHundredthsDb(0.0), -10000);
    EXPECT_EQ(VolumeToHundredthsDb(2.0), 0);
    EXPECT_EQ(VolumeToHundredthsDb(-1.0), -10000);
    EXPECT_EQ(VolumeToHundredthsDb(0.999), -100);   // 99.9 truncates to 99
    EXPECT_EQ(PanToHundredthsDb(0.5), 5000);
    EXPECT_EQ(PanToHundredthsDb(-0.33333), -3333);
    EXPECT_EQ(PanToHundredthsDb(7.0), 10000);
    EXPECT_DOUBLE_EQ(HundredthsDbToGain(0), 1.0);
    EXPECT_NEAR(HundredthsDbToGain(-2000), 0.1, 1e-12);
    EXPECT_EQ(HundredthsDbToGain(-10000), 0.0);
}

// ---------------------------------------------------------------- the WAV reader

TEST(ReadWav, StandardFileGivesItsFormatAndTheDataAfterByte44) {
    WavSound wav;
    WavRecipe recipe = Tone();
    recipe.channels = 2;
    recipe.samples = Sine(100, 2, 22050, 441, 8000);
    ASSERT_TRUE(Reads(recipe, &wav));
    EXPECT_EQ(wav.dataOffset, 44u);
    EXPECT_EQ(wav.dataSize, 400u);
    EXPECT_EQ(wav.format.channels, 2);
    EXPECT_EQ(wav.format.blockAlign, 4);
    EXPECT_EQ(wav.format.avgBytesPerSecond, 88200u);
}

TEST(ReadWav, LongerFormatChunksAndOneFactChunkAreSkipped) {
    WavSound wav;
    WavRecipe recipe = Tone();
    recipe.formatSize = 18;                    // WAVEFORMATEX with cbSize
    ASSERT_TRUE(Reads(recipe, &wav));
    EXPECT_EQ(wav.dataOffset, 46u);
    recipe.formatSize = 40;                    // the extensible form
    recipe.factChunk = true;
    ASSERT_TRUE(Reads(recipe, &wav));
    EXPECT_EQ(wav.dataOffset, 44u + 24u + 12u);
    EXPECT_EQ(wav.dataSize, 200u);
}

TEST(ReadWav, OtherChunksBeforeTheDataAreRefused) {
    WavRecipe recipe = Tone();
    recipe.listChunk = true;
    EXPECT_FALSE(Reads(recipe));
    recipe.factChunk = true;                   // fact, then LIST: still refused
    EXPECT_FALSE(Reads(recipe));
}

TEST(ReadWav, BrokenFieldsAndSizesAreRefused) {
    WavRecipe recipe = Tone();
    recipe.dataSize = 201;                     // one byte more than the file holds
    EXPECT_FALSE(Reads(recipe));
    recipe.dataSize = 0xFFFFFFFF;
    EXPECT_FALSE(Reads(recipe));
    for (std::uint32_t formatSize : {0x7FFFFFF0u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        std::string bytes = BuildWav(Tone());  // the next chunk lies past the end
        for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<char>(formatSize >> (8 * i));
        WavSound wav;
        EXPECT_FALSE(ReadWav(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wav));
    }
    recipe = Tone();
    recipe.factChunk = true;
    std::string fact = BuildWav(recipe);       // a fact chunk that runs past the end
    for (int i = 0; i < 4; ++i) fact[40 + i] = static_cast<char>(0xFF);
    WavSound wavFact;
    EXPECT_FALSE(ReadWav(reinterpret_cast<const unsigned char*>(fact.data()), fact.size(), &wavFact));

    const struct { int channels, rate, bits, blockAlign; } bad[] = {
        {0, 22050, 16, 2}, {1, 0, 16, 2}, {1, 22050, 16, 0}, {1, 22050, 24, 3},
        {1, 22050, 32, 4}, {1, 22050, 4, 1}, {3, 22050, 16, 6}, {1, 22050, 16, 4},
    };
    for (const auto& b : bad) {
        WavRecipe s = Tone();
        s.channels = b.channels;
        s.rate = b.rate;
        s.bits = b.bits;
        s.blockAlign = b.blockAlign;
        EXPECT_FALSE(Reads(s)) << b.channels << " " << b.rate << " " << b.bits << " " << b.blockAlign;
    }
    WavRecipe empty = Tone();
    empty.samples.clear();
    EXPECT_FALSE(Reads(empty));              // no sample data at all

    std::string bytes = BuildWav(Tone());
    WavSound wav;
    for (std::size_t n = 0; n < 44 + 200; n += 7) {
        EXPECT_FALSE(ReadWav(reinterpret_cast<const unsigned char*>(bytes.data()), n, &wav)) << n;
    }
}

TEST(ReadWav, ChunkIdentifiersOfTheHeaderAreNotCompared) {
    std::string bytes = BuildWav(Tone());
    bytes.replace(0, 4, "RIFX");
    bytes.replace(8, 8, "AVI LIST");
    WavSound wav;
    EXPECT_TRUE(ReadWav(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wav));
}

// ---------------------------------------------------------------- files from other programs

TEST(RealWavFiles, AlsaTestSoundsLoadAtTheirLength) {
    EnsureOutput();
    const std::filesystem::path dir = "/usr/share/sounds/alsa";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "alsa-utils sounds are not installed";
    int loaded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".wav") continue;
        std::string bytes = corvane::testing::ReadFile(entry.path().string());
        WavSound wav;
        ASSERT_TRUE(ReadWav(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wav))
            << entry.path();
        ASSERT_EQ(LoadSound(entry.path().string().c_str(), 60, 1), 1) << entry.path();
        const double seconds = double(wav.dataSize) / wav.format.blockAlign / wav.format.samplesPerSecond;
        EXPECT_NEAR(double(platform::AudioChunkFrames(SoundSlots()[60].samples)), seconds * 22050,
                    seconds * 22050 * 0.01) << entry.path();
        ++loaded;
    }
    EXPECT_GE(loaded, 1);
}

TEST(RealWavFiles, AlsaNoiseIsHeard) {
    const char* path = "/usr/share/sounds/alsa/Noise.wav";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "alsa-utils sounds are not installed";
    ASSERT_TRUE(StartCapture("alsanoise"));
    ASSERT_EQ(LoadSound(path, 61, 1), 1);
    ASSERT_EQ(PlaySound(61, 0, 1), 1);
    Capture c = FinishCapture(500);
    long start = c.First(100);
    ASSERT_GE(start, 0);
    EXPECT_GT(c.Rms(0, start, 22050 / 5), 300.0);
    EXPECT_GT(c.Rms(1, start, 22050 / 5), 300.0);
}

TEST(RealWavFiles, SoxFilesOfEveryDepthLayoutAndRateSoundAlike) {
    if (!corvane::testing::ShellToolsAvailable() || std::system("sox --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed (" << corvane::testing::kNoShellTools << ")";
    const double expected = 0.5 * 32767 / std::sqrt(2.0);  // a sine at -6 dB of full scale
    for (int bits : {8, 16}) {
        for (int channels : {1, 2}) {
            for (int rate : {11025, 16000, 22050, 44100, 48000}) {
                std::string name = "sox_" + std::to_string(bits) + "_" + std::to_string(channels) + "_" +
                                   std::to_string(rate);
                std::string path = corvane::testing::TestTempDir() + name + ".wav";
                std::string cmd = "sox -q -n -r " + std::to_string(rate) + " -b " + std::to_string(bits) + " -c " +
                                  std::to_string(channels) + " '" + path + "' synth 0.2 sine 441 gain -6.02";
                ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
                ASSERT_TRUE(StartCapture(name));
                ASSERT_EQ(LoadSound(path.c_str(), 62, 1), 1) << name;
                ASSERT_EQ(PlaySound(62, 0, 1), 1) << name;
                Capture c = FinishCapture(320);
                long start = c.First(1000);
                ASSERT_GE(start, 0) << name;
                EXPECT_NEAR(c.Rms(0, start + 100, 22050 / 10), expected, expected * 0.05) << name;
                EXPECT_NEAR(c.Rms(1, start + 100, 22050 / 10), expected, expected * 0.05) << name;
                EXPECT_NEAR(double(c.CountLouder(0, 1000)), 22050 * 0.2 * 0.9, 22050 * 0.2 * 0.1) << name;
            }
        }
    }
}
