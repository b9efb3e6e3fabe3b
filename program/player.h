// The music player: the embedded user program and its bindings to the sound
// library "fmod.dll".
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

namespace corvane {

// The sound library's calls as the player binds them.
using FmusicLoadSongFn = int (*)(const char* name);                              // song handle, 0 = failure
using FmusicPlaySongFn = signed char (*)(int song);
using FmusicFreeSongFn = signed char (*)(int song);
using FsoundInitFn = signed char (*)(int mixrate, int channels, unsigned int flags);
using FsoundCloseFn = void (*)();

// ---------------------------------------------------------------- program globals
extern double fmodBound;                  // non-zero while the five calls count as bound
extern std::int32_t songHandle;           // the loaded song, 0 when none
extern RtString songFileName;             // "yoshi1.it", set by UserMain
extern double loadResult;                 // what LoadSong returned
extern FmusicLoadSongFn fmusicLoadSong;   // "_FMUSIC_LoadSong@4"
extern FmusicPlaySongFn fmusicPlaySong;   // "_FMUSIC_PlaySong@4"
extern FmusicFreeSongFn fmusicFreeSong;   // "_FMUSIC_FreeSong@4"
extern FsoundInitFn fsoundInit;           // "_FSOUND_Init@12"
extern FsoundCloseFn fsoundClose;         // "_FSOUND_Close@0"

// ---------------------------------------------------------------- program functions
double LoadSong(const RtString& fileName); // bind the library, restart it, load the song; 1 when loaded, else 0
double PlaySong();                         // start the loaded song; 0
double StopSong();                         // free the song and close the library; 0

} // namespace corvane
