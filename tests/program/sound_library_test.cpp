// The stand-in sound library on its own: loaded the way the player loads it, and
// played through SDL's disk driver by a helper process to hear what it renders.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fmod.h"

namespace {

namespace fs = std::filesystem;

const std::string kBin = std::string(CORVANE_BINARY_DIR) + "/bin";
const std::string kSong = kBin + "/yoshi1.it";

struct FmodCalls {
    decltype(&FSOUND_Init) init = nullptr;
    decltype(&FSOUND_Close) close = nullptr;
    decltype(&FMUSIC_LoadSong) load = nullptr;
    decltype(&FMUSIC_PlaySong) play = nullptr;
    decltype(&FMUSIC_FreeSong) free = nullptr;
};

class SoundLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 0);   // never a real sound card
        // Kept loaded for the whole run, as the player keeps it.
        void* lib = dlopen((kBin + "/libfmod.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        api.init = reinterpret_cast<decltype(api.init)>(dlsym(lib, "FSOUND_Init"));
        api.close = reinterpret_cast<decltype(api.close)>(dlsym(lib, "FSOUND_Close"));
        api.load = reinterpret_cast<decltype(api.load)>(dlsym(lib, "FMUSIC_LoadSong"));
        api.play = reinterpret_cast<decltype(api.play)>(dlsym(lib, "FMUSIC_PlaySong"));
        api.free = reinterpret_cast<decltype(api.free)>(dlsym(lib, "FMUSIC_FreeSong"));
    }
    void SetUp() override {
        ASSERT_TRUE(api.init && api.close && api.load && api.play && api.free);
        dir = fs::temp_directory_path() / ("corvane_fmod_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        api.close();
        fs::remove_all(dir);
    }
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static FmodCalls api;
    fs::path dir;
};
FmodCalls SoundLibrary::api;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(SoundLibrary, SongsLoadWithDistinctHandlesAndFreeOnce) {
    ASSERT_EQ(api.init(44100, 64, 0), 1);
    int first = api.load(kSong.c_str());
    int second = api.load(kSong.c_str());
    EXPECT_NE(first, 0);
    EXPECT_NE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(api.play(first), 1);
    EXPECT_EQ(api.play(second), 1);   // two songs at once are mixed
    EXPECT_EQ(api.free(first), 1);
    EXPECT_EQ(api.free(first), 0);    // a stale handle finds nothing
    EXPECT_EQ(api.play(first), 0);
    // A freed handle is not handed out again, so it can never free a newer song.
    int third = api.load(kSong.c_str());
    EXPECT_NE(third, first);
    EXPECT_EQ(api.play(third), 1);
    api.close();
    // Closing frees every song.
    EXPECT_EQ(api.free(second), 0);
    EXPECT_EQ(api.free(third), 0);
}

TEST_F(SoundLibrary, MissingOrCorruptFilesGiveNoSong) {
    ASSERT_EQ(api.init(44100, 64, 0), 1);
    EXPECT_EQ(api.load(nullptr), 0);
    EXPECT_EQ(api.load(""), 0);
    EXPECT_EQ(api.load((dir / "missing.it").string().c_str()), 0);
    EXPECT_EQ(api.load(dir.string().c_str()), 0);   // a directory
    EXPECT_EQ(api.load(WriteFile("empty.it", "").c_str()), 0);
    EXPECT_EQ(api.load(WriteFile("text.it", std::string(4000, 'x') + "not a module\n").c_str()), 0);
    std::string song = ReadFile(kSong);
    ASSERT_GT(song.size(), 1000u);
    EXPECT_EQ(api.load(WriteFile("header.it", song.substr(0, 100)).c_str()), 0);
    std::string badMagic = song;
    badMagic[0] = 'X';
    EXPECT_EQ(api.load(WriteFile("magic.it", badMagic).c_str()), 0);
    // Still usable afterwards.
    EXPECT_NE(api.load(WriteFile("good.it", song).c_str()), 0);
}

TEST_F(SoundLibrary, CallsInTheWrongOrderAreHarmless) {
    api.close();                          // close before any init
    api.close();
    EXPECT_EQ(api.play(1), 0);            // play of nothing, before init
    EXPECT_EQ(api.free(0), 0);
    EXPECT_EQ(api.free(-5), 0);
    EXPECT_EQ(api.free(123456), 0);

    // A song may be loaded before init; it plays only once the output is open.
    int early = api.load(kSong.c_str());
    ASSERT_NE(early, 0);
    EXPECT_EQ(api.play(early), 0);
    ASSERT_EQ(api.init(44100, 64, 0), 1);
    EXPECT_EQ(api.play(early), 1);

    // Rates outside what can be rendered are refused and leave the output open.
    EXPECT_EQ(api.init(0, 64, 0), 0);
    EXPECT_EQ(api.init(-44100, 64, 0), 0);
    EXPECT_EQ(api.init(10000000, 64, 0), 0);
    EXPECT_EQ(api.play(early), 1);

    // A second init starts afresh, like close and init.
    EXPECT_EQ(api.init(22050, 64, 0), 1);
    EXPECT_EQ(api.play(early), 0);
    api.close();
    api.close();
    EXPECT_EQ(api.free(early), 0);
}

// ---------------------------------------------------------------- real rendering
struct DiskRun {
    int status = -1;
    std::vector<std::int16_t> samples;   // interleaved stereo
};

// Runs the probe under SDL's disk driver; the library's output goes to its own
// file when ownFile is set, else to SDL_DISKAUDIOFILE.
DiskRun RunProbe(const fs::path& dir, const std::string& args, bool ownFile = false) {
    std::string shared = (dir / "out.raw").string();
    std::string music = ownFile ? (dir / "music.raw").string() : shared;
    std::string command = "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + shared + "' " +
                          (ownFile ? "FMOD_DISKAUDIOFILE='" + music + "' " : std::string()) + "timeout 30 '" +
                          kBin + "/fmod_probe' '" + kSong + "' " + args;
    DiskRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::string bytes = ReadFile(music);
    run.samples.resize(bytes.size() / 2);
    std::memcpy(run.samples.data(), bytes.data(), run.samples.size() * 2);
    return run;
}

// RMS of each 10 ms window of 44.1 kHz stereo.
std::vector<double> WindowLevels(const std::vector<std::int16_t>& s) {
    const size_t window = 441 * 2;
    std::vector<double> levels;
    for (size_t at = 0; at + window <= s.size(); at += window) {
        double sum = 0.0;
        for (size_t i = at; i < at + window; ++i) sum += double(s[i]) * s[i];
        levels.push_back(std::sqrt(sum / window));
    }
    return levels;
}

void ExpectMusicThenSilence(const DiskRun& run) {
    ASSERT_EQ(run.status, 0);
    std::vector<double> levels = WindowLevels(run.samples);
    // About 2.3 s written in real time; allow for a loaded machine.
    ASSERT_GE(levels.size(), 150u);
    size_t loud = 0;
    size_t firstLoud = levels.size();
    for (size_t i = 0; i < levels.size(); ++i) {
        if (levels[i] > 300.0) {
            ++loud;
            if (firstLoud == levels.size()) firstLoud = i;
        }
    }
    EXPECT_GE(loud, 80u) << "at least 0.8 s of music";
    EXPECT_LT(firstLoud, 30u) << "the song starts at once";
    // After the free, nothing but silence.
    for (size_t i = levels.size() - 25; i < levels.size(); ++i) EXPECT_EQ(levels[i], 0.0) << "window " << i;
}

TEST_F(SoundLibrary, PlayedSongIsAudibleUntilFreed) {
    ExpectMusicThenSilence(RunProbe(dir, "1500 800"));
}

// With the program's own output open on the disk driver too, the music keeps a
// file of its own instead of being overwritten block by block.
TEST_F(SoundLibrary, OwnDiskFileKeepsMusicApartFromProgramOutput) {
    ExpectMusicThenSilence(RunProbe(dir, "1500 800 44100 compete", true));
    ASSERT_TRUE(fs::exists(dir / "out.raw"));
    for (double level : WindowLevels([&] {
             std::string bytes = ReadFile((dir / "out.raw").string());
             std::vector<std::int16_t> s(bytes.size() / 2);
             std::memcpy(s.data(), bytes.data(), s.size() * 2);
             return s;
         }()))
        ASSERT_EQ(level, 0.0) << "the program's own output stays silent";
}

TEST_F(SoundLibrary, ProcessMayEndWhileTheSongPlays) {
    DiskRun run = RunProbe(dir, "600 -1");   // returns from main without free or close
    EXPECT_EQ(run.status, 0);
    size_t loud = 0;
    for (double level : WindowLevels(run.samples)) loud += level > 300.0;
    EXPECT_GE(loud, 20u);
}

// The process-exit teardown unloads the library even when a program ended with
// the music still on.
TEST_F(SoundLibrary, UnloadingWhileTheSongPlaysIsSafe) {
    std::string command = "SDL_AUDIODRIVER=dummy timeout 30 '" + kBin + "/fmod_unload_probe' '" + kBin +
                          "/libfmod.so' '" + kSong + "' 300";
    int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << "killed by a signal";
    // Sanitizer runtimes may keep a closed library mapped; then nothing is unloaded
    // and there is nothing to check.
    if (WEXITSTATUS(raw) == 12) GTEST_SKIP() << "the library stayed mapped after dlclose";
    EXPECT_EQ(WEXITSTATUS(raw), 0);
}

} // namespace
