// SDL2_mixer implementation of the sound mixer services: one mixer channel per
// voice, sample data converted once to the output format when it is loaded.
//
// The mixer is not linked: it brings the decoders of every music format and
// their dependencies (a synthesiser, its sound fonts' and sound servers'
// libraries), a score of shared objects a program would load and relocate before
// its first frame. It is opened when the output first opens and reached through
// a table of entry points; the header still gives the types.
#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_audio_mixer.h"
#include "runtime/platform/platform_dynlib.h"
#include "runtime/platform/platform_files.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace corvane::platform {

struct AudioChunk {
    Mix_Chunk* chunk = nullptr;                     // abuf owned (allocated = 1)
    std::size_t frames = 0;
};

namespace {

// ---------------------------------------------------------------- the library
MixerApi g_api;                                     // filled while the library is loaded
LibraryHandle g_library = nullptr;
std::string g_problem;                              // why the last load failed
std::string g_fileOverride;                         // tests: another file to look for
int g_liveChunks = 0;                               // chunks still to be freed by the library

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

void CloseLibrary() {
    g_api = MixerApi();
    if (g_library) FreeDynamicLibrary(g_library);
    g_library = nullptr;
}

// Opens the first file that loads as SDL2_mixer 2 with every entry point the
// output uses; error: the first file tried and why it did not do.
LibraryHandle OpenMixerLibrary(std::string* error) {
    std::vector<std::string> files =
        g_fileOverride.empty() ? AudioLibraryFileNames(kWindowsNames) : std::vector<std::string>{g_fileOverride};
    std::string firstWhy;
    for (const std::string& file : files) {
        std::string why;
        LibraryHandle handle = OpenLibraryFile(file.c_str(), &why);
        if (handle) {
            MixerApi api;
            std::string missing;
#define CORVANE_MIXER_RESOLVE(name)                                                                \
    api.name = reinterpret_cast<decltype(&::name)>(FindLibrarySymbol(handle, #name));              \
    if (!api.name && missing.empty()) missing = #name;
            CORVANE_MIXER_ENTRY_POINTS(CORVANE_MIXER_RESOLVE)
#undef CORVANE_MIXER_RESOLVE
            const SDL_version* version = api.Mix_Linked_Version ? api.Mix_Linked_Version() : nullptr;
            if (missing.empty() && version && version->major == SDL_MIXER_MAJOR_VERSION) {
                g_api = api;
                return handle;
            }
            FreeDynamicLibrary(handle);
            why = !missing.empty() ? file + ": no " + missing
                                   : file + ": version " + std::to_string(version ? version->major : -1) +
                                         " where " + std::to_string(SDL_MIXER_MAJOR_VERSION) + " is needed";
        }
        if (firstWhy.empty()) firstWhy = why.empty() ? file + ": cannot be loaded" : why;
    }
    if (error) *error = firstWhy;
    return nullptr;
}

bool g_open = false;
bool g_subsystemStarted = false;
AudioOutputInfo g_info;
Mix_Music* g_music = nullptr;
int g_voices = 0;

bool ValidVoice(int voice) { return g_open && voice >= 0 && voice < g_voices; }

// Per-voice gains, read by the gain effect in the mixing thread. A voice's
// entry is written only while the voice is halted, before it starts.
struct VoiceGains {
    float left = 1.0f;
    float right = 1.0f;
};
VoiceGains g_gains[4096];

// Scales a stereo 16-bit block by the voice's two gains. The mixer's own
// controls are too coarse for this: the channel volume has 1/128 steps and the
// panning effect 1/255 steps, so -50 dB on one side would come out as -48 dB.
void SDLCALL GainEffect(int, void* stream, int len, void* udata) {
    const VoiceGains* gains = static_cast<const VoiceGains*>(udata);
    auto* samples = static_cast<Sint16*>(stream);
    const int count = len / static_cast<int>(sizeof(Sint16));
    for (int i = 0; i + 1 < count; i += 2) {
        samples[i] = static_cast<Sint16>(std::lrintf(samples[i] * gains->left));
        samples[i + 1] = static_cast<Sint16>(std::lrintf(samples[i + 1] * gains->right));
    }
}

// Full level on both sides needs no effect and silence needs no mixing; only
// the levels between cost the extra pass.
void ApplyGains(int voice, double left, double right) {
    left = std::clamp(std::isnan(left) ? 0.0 : left, 0.0, 1.0);
    right = std::clamp(std::isnan(right) ? 0.0 : right, 0.0, 1.0);
    g_api.Mix_UnregisterEffect(voice, GainEffect);
    if (left == 0.0 && right == 0.0) {
        g_api.Mix_Volume(voice, 0);
        return;
    }
    g_api.Mix_Volume(voice, MIX_MAX_VOLUME);
    if (left == 1.0 && right == 1.0) return;
    g_gains[voice].left = static_cast<float>(left);
    g_gains[voice].right = static_cast<float>(right);
    g_api.Mix_RegisterEffect(voice, GainEffect, nullptr, &g_gains[voice]);
}

} // namespace

const MixerApi& Mixer() { return g_api; }

std::vector<std::string> AudioLibraryFileNames(bool windows) {
    if (windows) return {"SDL2_mixer.dll"};
    return {"libSDL2_mixer-2.0.so.0", "libSDL2_mixer.so"};
}

bool LoadAudioLibrary(std::string* error) {
    if (g_library) return true;
    std::string why;
    g_library = OpenMixerLibrary(&why);
    g_problem = g_library ? std::string() : why;
    if (error) *error = why;
    return g_library != nullptr;
}

bool UnloadAudioLibrary() {
    // The mixer frees the chunks it made: they keep it loaded.
    if (g_open || g_liveChunks > 0) return false;
    CloseLibrary();
    return true;
}

bool AudioLibraryLoaded() { return g_library != nullptr; }

std::string AudioLibraryProblem() { return g_problem; }

void SetAudioLibraryFileForTesting(const char* file) {
    g_fileOverride = file ? file : "";
    g_problem.clear();
}

namespace {

// The device to open: the default one (null), except for SDL's disk driver on
// Windows. There SDL_getenv hands out one shared buffer, and the disk driver reads
// its delay setting after its file name, so SDL_DISKAUDIODELAY would name the
// file ("0"). Given as the device's name, the file name is a copy of our own.
std::string OutputDeviceName() {
#ifdef _WIN32
    const char* file = SDL_getenv("SDL_DISKAUDIOFILE");
    std::string name = file ? file : "";
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver && SDL_strcmp(driver, "disk") == 0) return name;
#endif
    return std::string();
}

} // namespace

int OpenAudioOutput(int frequency, int channels, int bits, int voices) {
    if (g_open) CloseAudioOutput();
    // The gain effect works on 16-bit stereo.
    if (channels != 2 || bits != 16 || frequency <= 0) return -3;
    if (!LoadAudioLibrary(nullptr)) return -4;
        voices = std::clamp(voices, 1, static_cast<int>(sizeof g_gains / sizeof g_gains[0]));
    // SDL counts the starts of a subsystem, so another user of audio in the
    // process (a sound library) keeps it running when this output closes.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return -1;
    g_subsystemStarted = true;
    // The output runs at exactly the asked format; SDL converts for the device.
    const std::string device = OutputDeviceName();
    if (g_api.Mix_OpenAudioDevice(frequency, AUDIO_S16LSB, channels, 512, device.empty() ? nullptr : device.c_str(),
                                  0) != 0) {
        if (g_subsystemStarted) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            g_subsystemStarted = false;
        }
        return -2;
    }
    g_voices = g_api.Mix_AllocateChannels(voices);
    g_api.Mix_ReserveChannels(g_voices);                  // voices are only ever chosen by number
    int freq = 0, ch = 0;
    Uint16 format = 0;
    g_api.Mix_QuerySpec(&freq, &format, &ch);
    g_info.frequency = freq;
    g_info.channels = ch;
    g_info.bits = SDL_AUDIO_BITSIZE(format);
    g_info.voices = g_voices;
    g_open = true;
    return 1;
}

void CloseAudioOutput() {
    if (!g_open) return;
    CloseMusic();
    g_api.Mix_HaltChannel(-1);
    g_api.Mix_CloseAudio();
    if (g_subsystemStarted) {
        // When nobody else uses audio, the next open reads the driver choice again.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_subsystemStarted = false;
    }
    g_open = false;
    g_voices = 0;
    g_info = AudioOutputInfo{};
}

bool AudioOutputOpen() { return g_open; }

AudioOutputInfo GetAudioOutputInfo() { return g_info; }

AudioChunk* CreateAudioChunk(const void* pcm, std::size_t bytes, int frequency, int channels, int bits) {
    if (!g_open || !pcm || (bits != 8 && bits != 16) || (channels != 1 && channels != 2) || frequency <= 0)
        return nullptr;
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * (bits / 8);
    const std::size_t inFrames = bytes / frameBytes;   // whole frames only
    if (inFrames == 0 || bytes > 0x40000000) return nullptr;
    const int outFrame = g_info.channels * (g_info.bits / 8);
    const std::uint64_t outFrames =
        (static_cast<std::uint64_t>(inFrames) * static_cast<std::uint64_t>(g_info.frequency) +
         static_cast<std::uint64_t>(frequency) / 2) / static_cast<std::uint64_t>(frequency);
    if (outFrames == 0 || outFrames * outFrame > 0x7FFFFFFF) return nullptr;

    SDL_AudioStream* stream = SDL_NewAudioStream(bits == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(channels),
                                                 frequency, AUDIO_S16LSB,
                                                 static_cast<Uint8>(g_info.channels), g_info.frequency);
    if (!stream) return nullptr;
    // The resampler holds back the last few hundred frames even when flushed, so
    // silence follows the samples and the result is cut to the exact length. Both
    // go in as one block: fed in two calls, the resampler loses its place at the
    // seam and the sound jumps in time some tens of milliseconds before its end.
    const std::size_t padFrames = static_cast<std::size_t>(frequency / g_info.frequency + 1) * 2048;
    const std::size_t inBytes = inFrames * frameBytes;
    std::vector<Uint8> block;
    try {
        block.resize(inBytes + padFrames * frameBytes, bits == 8 ? 0x80 : 0x00);
    } catch (const std::bad_alloc&) {
        SDL_FreeAudioStream(stream);
        return nullptr;
    }
    std::memcpy(block.data(), pcm, inBytes);
    const int want = static_cast<int>(outFrames * outFrame);
    Uint8* out = static_cast<Uint8*>(SDL_calloc(1, static_cast<std::size_t>(want)));
    int got = 0;
    if (out && SDL_AudioStreamPut(stream, block.data(), static_cast<int>(block.size())) == 0 &&
        SDL_AudioStreamFlush(stream) == 0) {
        got = SDL_AudioStreamGet(stream, out, want);
    }
    SDL_FreeAudioStream(stream);
    if (!out || got <= 0) {
        SDL_free(out);
        return nullptr;
    }
    const int outBytes = want;                      // a short tail stays silent

    auto* mixChunk = static_cast<Mix_Chunk*>(SDL_malloc(sizeof(Mix_Chunk)));
    if (!mixChunk) {
        SDL_free(out);
        return nullptr;
    }
    mixChunk->allocated = 1;                        // Mix_FreeChunk frees the samples too
    mixChunk->abuf = out;
    mixChunk->alen = static_cast<Uint32>(outBytes);
    mixChunk->volume = MIX_MAX_VOLUME;
    auto* chunk = new (std::nothrow) AudioChunk;
    if (!chunk) {
        g_api.Mix_FreeChunk(mixChunk);
        return nullptr;
    }
    chunk->chunk = mixChunk;
    ++g_liveChunks;
    chunk->frames = static_cast<std::size_t>(outBytes / outFrame);
    return chunk;
}

void FreeAudioChunk(AudioChunk* chunk) {
    if (!chunk) return;
    // Mix_FreeChunk halts every channel still playing it before the samples go.
    g_api.Mix_FreeChunk(chunk->chunk);
    --g_liveChunks;
    delete chunk;
}

std::size_t AudioChunkFrames(const AudioChunk* chunk) { return chunk ? chunk->frames : 0; }

bool VoicePlaying(int voice) { return ValidVoice(voice) && g_api.Mix_Playing(voice) != 0; }

void StopVoice(int voice) {
    if (ValidVoice(voice)) g_api.Mix_HaltChannel(voice);
}

bool PlayVoice(int voice, AudioChunk* chunk, double leftGain, double rightGain) {
    if (!ValidVoice(voice) || !chunk || !chunk->chunk) return false;
    // A playing channel would drop its effects when restarted, so it is halted
    // before the gains are set.
    if (g_api.Mix_Playing(voice)) g_api.Mix_HaltChannel(voice);
    ApplyGains(voice, leftGain, rightGain);
    return g_api.Mix_PlayChannelTimed(voice, chunk->chunk, 0, -1) == voice;
}

bool OpenMusic(const char* path) {
    CloseMusic();
    if (!g_open || !path) return false;
    // Opened through the file services: the name is found as programs write it,
    // and a FIFO without a writer cannot block the load.
    std::FILE* file = OpenFileForReading(path);
    if (!file) return false;
    SDL_RWops* stream = SDL_RWFromFP(file, SDL_TRUE);
    if (!stream) {
        std::fclose(file);
        return false;
    }
    g_music = g_api.Mix_LoadMUS_RW(stream, 1);
    return g_music != nullptr;
}

bool StartMusic() {
    if (!g_music) return false;
    return g_api.Mix_PlayMusic(g_music, 0) == 0;
}

bool MusicOpen() { return g_music != nullptr; }

bool MusicFinished() {
    if (!g_music) return false;
    if (!g_api.Mix_PlayingMusic()) return true;
    double length = g_api.Mix_MusicDuration(g_music);
    double position = g_api.Mix_GetMusicPosition(g_music);
    return length > 0.0 && position >= length;
}

void CloseMusic() {
    if (!g_music) return;
    g_api.Mix_HaltMusic();
    g_api.Mix_FreeMusic(g_music);
    g_music = nullptr;
}

} // namespace corvane::platform
