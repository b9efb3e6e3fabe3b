// Loads the stand-in sound library by path, starts a song, and unloads the
// library while the song plays, as the process-exit teardown does when a program
// ends with music on. The audio thread must not call into the unmapped code.
//   fmod_unload_probe <libfmod.so> <module> <play ms>
// Exit status: 0 ok, 10 library not loaded, 11 song not started, 12 library still mapped.
// Like the player, the probe itself links SDL, which therefore stays loaded.
#include <SDL.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "fmod.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    if (SDL_WasInit(SDL_INIT_AUDIO)) return 2;   // (keeps the link to SDL)
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 10;
    auto init = reinterpret_cast<decltype(&FSOUND_Init)>(dlsym(lib, "FSOUND_Init"));
    auto load = reinterpret_cast<decltype(&FMUSIC_LoadSong)>(dlsym(lib, "FMUSIC_LoadSong"));
    auto play = reinterpret_cast<decltype(&FMUSIC_PlaySong)>(dlsym(lib, "FMUSIC_PlaySong"));
    if (!init || !load || !play || !init(44100, 64, 0)) return 11;
    int song = load(argv[2]);
    if (!song || !play(song)) return 11;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    dlclose(lib);
    if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD)) return 12;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return 0;
}
