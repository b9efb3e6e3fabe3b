// The stand-in sound library's five calls, named and typed as the player binds
// them: a song is a small integer handle, 0 meaning none.
#pragma once

#if defined(_WIN32) && defined(FMOD_BUILDING)
#define FMOD_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define FMOD_EXPORT
#elif defined(__GNUC__)
#define FMOD_EXPORT __attribute__((visibility("default")))
#else
#define FMOD_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Under SDL's disk audio driver, FMOD_DISKAUDIOFILE (when set) names the file the
// library's output goes to, apart from the program's own SDL_DISKAUDIOFILE.
FMOD_EXPORT signed char FSOUND_Init(int mixrate, int maxchannels, unsigned int flags); // open the output at mixrate Hz; 1 on success, 0 on failure
FMOD_EXPORT void FSOUND_Close(void);                          // stop and free every song, close the output; harmless when not open
FMOD_EXPORT int FMUSIC_LoadSong(const char* name);            // load a tracker module (IT, XM, S3M, MOD, ...); handle, 0 on failure
FMOD_EXPORT signed char FMUSIC_PlaySong(int song);            // start the song from its beginning, looping; 0 when it cannot play
FMOD_EXPORT signed char FMUSIC_FreeSong(int song);            // stop and free the song; 0 for an unknown handle

#ifdef __cplusplus
}
#endif
