// The SDL2_mixer entry points the sound output and the video sound use, reached
// through the library opened at run time (platform_audio_sdl.cpp). Platform
// files only.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

namespace corvane::platform {

#define CORVANE_MIXER_ENTRY_POINTS(X)                                                              \
    X(Mix_Linked_Version) X(Mix_OpenAudioDevice) X(Mix_CloseAudio) X(Mix_QuerySpec)                \
    X(Mix_AllocateChannels) X(Mix_ReserveChannels) X(Mix_Volume) X(Mix_RegisterEffect)            \
    X(Mix_UnregisterEffect) X(Mix_SetPostMix) X(Mix_PlayChannelTimed) X(Mix_Playing)               \
    X(Mix_HaltChannel) X(Mix_FreeChunk) X(Mix_LoadMUS_RW) X(Mix_FreeMusic) X(Mix_PlayMusic)        \
    X(Mix_PlayingMusic) X(Mix_HaltMusic) X(Mix_MusicDuration) X(Mix_GetMusicPosition)

struct MixerApi {
#define CORVANE_MIXER_MEMBER(name) decltype(&::name) name = nullptr;
    CORVANE_MIXER_ENTRY_POINTS(CORVANE_MIXER_MEMBER)
#undef CORVANE_MIXER_MEMBER
};

// Filled while the library is loaded (LoadAudioLibrary); every entry is null otherwise.
const MixerApi& Mixer();

} // namespace corvane::platform
