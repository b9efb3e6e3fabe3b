// Plays a song through the stand-in sound library for a while, then frees it and
// waits a little more before closing, so that the audio written by SDL's disk
// driver shows both the music and the silence after it.
//   fmod_probe <module> <play ms> <silence ms> [mixrate] [compete]
// "compete" first opens a silent output of the probe's own, as a program's
// sound output would be open beside the library's.
// A negative silence ends the process while the song plays, without free or close.
// Exit status: 0 ok, 10 init failed, 11 load failed, 12 play failed, 13 free failed.
#include "fmod.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    int rate = argc > 4 ? std::atoi(argv[4]) : 44100;
    if (argc > 5 && SDL_strcmp(argv[5], "compete") == 0) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 20;
        SDL_AudioSpec want;
        SDL_zero(want);
        want.freq = 22050;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 512;
        want.callback = [](void*, Uint8* stream, int len) { SDL_memset(stream, 0, static_cast<size_t>(len)); };
        SDL_AudioDeviceID own = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        if (!own) return 21;
        SDL_PauseAudioDevice(own, 0);
    }
    if (!FSOUND_Init(rate, 64, 0)) return 10;
    int song = FMUSIC_LoadSong(argv[1]);
    if (!song) return 11;
    if (!FMUSIC_PlaySong(song)) return 12;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    int silence = std::atoi(argv[3]);
    if (silence < 0) return 0;
    if (!FMUSIC_FreeSong(song)) return 13;
    std::this_thread::sleep_for(std::chrono::milliseconds(silence));
    FSOUND_Close();
    return 0;
}
