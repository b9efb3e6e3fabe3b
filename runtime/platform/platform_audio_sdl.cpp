// SDL2_mixer implementation of the sound mixer services: one mixer channel per
// voice, sample data converted once to the output format when it is loaded.
#include "runtime/platform/platform_audio.h"
#include "runtime/platform/platform_files.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace corvane::platform {

struct AudioChunk {
    Mix_Chunk* chunk = nullptr;                     // abuf owned (allocated = 1)
    std::size_t frames = 0;
};

namespace {

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
    Mix_UnregisterEffect(voice, GainEffect);
    if (left == 0.0 && right == 0.0) {
        Mix_Volume(voice, 0);
        return;
    }
    Mix_Volume(voice, MIX_MAX_VOLUME);
    if (left == 1.0 && right == 1.0) return;
    g_gains[voice].left = static_cast<float>(left);
    g_gains[voice].right = static_cast<float>(right);
    Mix_RegisterEffect(voice, GainEffect, nullptr, &g_gains[voice]);
}

} // namespace

int OpenAudioOutput(int frequency, int channels, int bits, int voices) {
    if (g_open) CloseAudioOutput();
    // The gain effect works on 16-bit stereo.
    if (channels != 2 || bits != 16 || frequency <= 0) return -3;
    voices = std::clamp(voices, 1, static_cast<int>(sizeof g_gains / sizeof g_gains[0]));
    // SDL counts the starts of a subsystem, so another user of audio in the
    // process (a sound library) keeps it running when this output closes.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return -1;
    g_subsystemStarted = true;
    // The output runs at exactly the asked format; SDL converts for the device.
    if (Mix_OpenAudioDevice(frequency, AUDIO_S16LSB, channels, 512, nullptr, 0) != 0) {
        if (g_subsystemStarted) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            g_subsystemStarted = false;
        }
        return -2;
    }
    g_voices = Mix_AllocateChannels(voices);
    Mix_ReserveChannels(g_voices);                  // voices are only ever chosen by number
    int freq = 0, ch = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &ch);
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
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
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
        Mix_FreeChunk(mixChunk);
        return nullptr;
    }
    chunk->chunk = mixChunk;
    chunk->frames = static_cast<std::size_t>(outBytes / outFrame);
    return chunk;
}

void FreeAudioChunk(AudioChunk* chunk) {
    if (!chunk) return;
    // Mix_FreeChunk halts every channel still playing it before the samples go.
    Mix_FreeChunk(chunk->chunk);
    delete chunk;
}

std::size_t AudioChunkFrames(const AudioChunk* chunk) { return chunk ? chunk->frames : 0; }

bool VoicePlaying(int voice) { return ValidVoice(voice) && Mix_Playing(voice) != 0; }

void StopVoice(int voice) {
    if (ValidVoice(voice)) Mix_HaltChannel(voice);
}

bool PlayVoice(int voice, AudioChunk* chunk, double leftGain, double rightGain) {
    if (!ValidVoice(voice) || !chunk || !chunk->chunk) return false;
    // A playing channel would drop its effects when restarted, so it is halted
    // before the gains are set.
    if (Mix_Playing(voice)) Mix_HaltChannel(voice);
    ApplyGains(voice, leftGain, rightGain);
    return Mix_PlayChannel(voice, chunk->chunk, 0) == voice;
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
    g_music = Mix_LoadMUS_RW(stream, 1);
    return g_music != nullptr;
}

bool StartMusic() {
    if (!g_music) return false;
    return Mix_PlayMusic(g_music, 0) == 0;
}

bool MusicOpen() { return g_music != nullptr; }

bool MusicFinished() {
    if (!g_music) return false;
    if (!Mix_PlayingMusic()) return true;
    double length = Mix_MusicDuration(g_music);
    double position = Mix_GetMusicPosition(g_music);
    return length > 0.0 && position >= length;
}

void CloseMusic() {
    if (!g_music) return;
    Mix_HaltMusic();
    Mix_FreeMusic(g_music);
    g_music = nullptr;
}

} // namespace corvane::platform
