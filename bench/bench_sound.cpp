// Mixing cost: processor time of 32 sounds playing at once for 10 s through the
// runtime's sound slots, against the same 32 sounds played by SDL2_mixer
// directly with its own volume and panning, in the same run. Output goes to
// SDL's disk driver (into /dev/null), which paces the mixing in real time.
#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/input_sound/sound_internal.h"

namespace {

constexpr int kSounds = 32;
constexpr int kRate = 22050;
constexpr double kPlaySeconds = 10.0;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void Put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// The tone files, removed again when the program ends.
struct ToneFiles {
    std::string dir;
    std::vector<std::string> paths;
    ~ToneFiles() {
        for (const std::string& p : paths) std::remove(p.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }
};

// 32 tones of 10.5 s, mono 16 bit at the output rate, written once.
const std::vector<std::string>& SoundFiles() {
    static ToneFiles tones;
    std::vector<std::string>& files = tones.paths;
    if (!files.empty()) return files;
    const char* base = getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp") + "/corvane-bench-sound-" + std::to_string(getpid());
    std::string cmd = "mkdir -p '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) return files;
    tones.dir = dir;
    const int frames = static_cast<int>(kRate * (kPlaySeconds + 0.5));
    for (int i = 0; i < kSounds; ++i) {
        std::string data;
        data.reserve(frames * 2);
        const double freq = 110.0 * std::pow(2.0, i / 12.0);
        for (int f = 0; f < frames; ++f) Put16(data, static_cast<unsigned>(std::lround(3000 * std::sin(2 * M_PI * freq * f / kRate))) & 0xFFFF);
        std::string wav = "RIFF";
        Put32(wav, static_cast<std::uint32_t>(36 + data.size()));
        wav += "WAVEfmt ";
        Put32(wav, 16);
        Put16(wav, 1);
        Put16(wav, 1);
        Put32(wav, kRate);
        Put32(wav, kRate * 2);
        Put16(wav, 2);
        Put16(wav, 16);
        wav += "data";
        Put32(wav, static_cast<std::uint32_t>(data.size()));
        wav += data;
        std::string path = dir + "/tone" + std::to_string(i) + ".wav";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return files;
        files.push_back(path);
        std::fwrite(wav.data(), 1, wav.size(), f);
        std::fclose(f);
    }
    return files;
}

// The same spread of levels and directions in both runs: a fifth centred at full
// level, the rest panned and up to 15 dB quieter.
double PanOf(int i) { return ((i % 5) - 2) * 0.5; }
double VolumeOf(int i) { return 1.0 - (i % 4) * 0.05; }

void UseDiskOutput() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
}

void BM_SlotsMix32Voices(benchmark::State& state) {
    const auto& files = SoundFiles();
    if (files.size() != kSounds) {
        state.SkipWithError("could not write the sounds");
        return;
    }
    UseDiskOutput();
    corvane::CreateSoundRecords();
    for (auto _ : state) {
        if (corvane::InitSound(corvane::TheSoundDevice()) != 1) {
            state.SkipWithError("no sound output");
            return;
        }
        for (int i = 0; i < kSounds; ++i) corvane::LoadSound(files[i].c_str(), i, 1);
        const double cpu0 = ProcessCpuSeconds();
        int started = 0;
        for (int i = 0; i < kSounds; ++i) started += corvane::PlaySound(i, PanOf(i), VolumeOf(i));
        std::this_thread::sleep_for(std::chrono::duration<double>(kPlaySeconds));
        const double cpu = ProcessCpuSeconds() - cpu0;
        corvane::ReleaseSounds(corvane::TheSoundDevice());
        state.SetIterationTime(cpu);
        state.counters["voices"] = started;
    }
}

void BM_SdlMixerMix32Voices(benchmark::State& state) {
    const auto& files = SoundFiles();
    if (files.size() != kSounds) {
        state.SkipWithError("could not write the sounds");
        return;
    }
    UseDiskOutput();
    for (auto _ : state) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 ||
            Mix_OpenAudioDevice(kRate, AUDIO_S16LSB, 2, 512, nullptr, 0) != 0) {
            state.SkipWithError("no sound output");
            return;
        }
        Mix_AllocateChannels(kSounds);
        std::vector<Mix_Chunk*> chunks;
        for (int i = 0; i < kSounds; ++i) chunks.push_back(Mix_LoadWAV(files[i].c_str()));
        const double cpu0 = ProcessCpuSeconds();
        int started = 0;
        for (int i = 0; i < kSounds; ++i) {
            // The same linear gains, through the mixer's own controls.
            const int pan = corvane::PanToHundredthsDb(PanOf(i));
            const int level = corvane::VolumeToHundredthsDb(VolumeOf(i));
            const double left = corvane::HundredthsDbToGain(level - std::max(pan, 0));
            const double right = corvane::HundredthsDbToGain(level - std::max(-pan, 0));
            Mix_Volume(i, MIX_MAX_VOLUME);
            Mix_SetPanning(i, static_cast<Uint8>(std::lround(255 * left)), static_cast<Uint8>(std::lround(255 * right)));
            started += Mix_PlayChannel(i, chunks[i], 0) == i;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(kPlaySeconds));
        const double cpu = ProcessCpuSeconds() - cpu0;
        for (Mix_Chunk* c : chunks) Mix_FreeChunk(c);
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        state.SetIterationTime(cpu);
        state.counters["voices"] = started;
    }
}

} // namespace

// Processor time (not wall time) of each 10-second run, three runs each.
BENCHMARK(BM_SdlMixerMix32Voices)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlotsMix32Voices)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
