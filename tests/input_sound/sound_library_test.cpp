// The mixer library opened at run time: its file names, and a missing or wrong
// library making sound and music loads fail with the library named.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/input_sound/sound_internal.h"
#include "runtime/platform/platform_audio.h"
#include "tests/input_sound/sound_test_support.h"
#include "tests/support/engine_fixture.h"

using namespace corvane;
using namespace corvane::soundtest;
using corvane::testing::ErrorLogLines;

namespace {

// Whether the mixer is mapped into this process (always "no" where there is no
// map to read, and under AddressSanitizer, whose builds keep closed libraries mapped).
bool MixerMapped() {
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return corvane::testing::ReadFile("/proc/self/maps").find("libSDL2_mixer") != std::string::npos;
#endif
}

} // namespace

TEST(MixerLibrary, VersionedNameFirstThenThePlainOne) {
    EXPECT_EQ(platform::AudioLibraryFileNames(false),
              (std::vector<std::string>{"libSDL2_mixer-2.0.so.0", "libSDL2_mixer.so"}));
    EXPECT_EQ(platform::AudioLibraryFileNames(true), std::vector<std::string>{"SDL2_mixer.dll"});
}

TEST(MixerLibrary, WithoutTheMixerLoadsFailNamingItAndWithItTheyWorkAgain) {
    corvane::testing::StartHeadlessEngine();
    CreateSoundRecords();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    WavRecipe recipe;
    recipe.samples = Sine(2205, 1, 22050, 441, 8000);
    const std::string wav = WriteTempFile("library.wav", BuildWav(recipe));

    const struct { const char* file; const char* said; } cases[] = {
        {"libSDL2_mixer-missing.so.0", "libSDL2_mixer-missing.so.0"},
#ifdef _WIN32
        {"kernel32.dll", "kernel32.dll: no Mix_Linked_Version"},
#else
        {"libz.so.1", "libz.so.1: no Mix_Linked_Version"},   // loads, but is not the mixer
#endif
    };
    for (const auto& c : cases) {
        ReleaseSounds(TheSoundDevice());
        ASSERT_TRUE(platform::UnloadAudioLibrary());
        // Nothing but the output's own opening maps the mixer.
        EXPECT_FALSE(MixerMapped()) << c.file;
        platform::SetAudioLibraryFileForTesting(c.file);
        EXPECT_LT(InitSound(TheSoundDevice()), 0) << c.file;
        EXPECT_FALSE(platform::AudioLibraryLoaded()) << c.file;

        const std::size_t before = ErrorLogLines().size();
        EXPECT_EQ(LoadSound(wav.c_str(), 3, 1), 0) << c.file;
        EXPECT_EQ(PlaySound(3, 0, 1), 0) << c.file;
        EXPECT_EQ(PlayMusic(wav.c_str()), 0) << c.file;
        std::vector<std::string> log = ErrorLogLines();
        ASSERT_EQ(log.size(), before + 2) << c.file;
        for (const std::string& line : {log[before], log[before + 1]}) {
            EXPECT_NE(line.find(": cannot load "), std::string::npos) << line;
            EXPECT_NE(line.find(c.said), std::string::npos) << line;
        }
        EXPECT_EQ(log[before].rfind("LoadSound", 0), 0u) << log[before];
        EXPECT_EQ(log[before + 1].rfind("PlayMusic", 0), 0u) << log[before + 1];
    }

    // Under its own name again, the same calls work and keep it loaded.
    platform::SetAudioLibraryFileForTesting(nullptr);
    ASSERT_EQ(InitSound(TheSoundDevice()), 1);
    EXPECT_TRUE(platform::AudioLibraryLoaded());
    EXPECT_EQ(LoadSound(wav.c_str(), 3, 1), 1);
    EXPECT_EQ(PlaySound(3, 0, 1), 1);
    EXPECT_EQ(PlayMusic(wav.c_str()), 1);
    EXPECT_EQ(platform::AudioLibraryProblem(), "");
    EXPECT_FALSE(platform::UnloadAudioLibrary()) << "the output is open";
    ReleaseSounds(TheSoundDevice());
}
