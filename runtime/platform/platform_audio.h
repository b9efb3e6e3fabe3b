// Platform services: the sound mixer: chunks, voices, volume, pan and music.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvane::platform {

// ---------------------------------------------------------------- the mixer library
// SDL2_mixer is opened when the output first opens (it pulls in the decoders of
// every music format and their own dependencies, which a program would otherwise
// load before its first frame), by the name the system's packages install.
bool LoadAudioLibrary(std::string* error);          // true when loaded; error: the file that failed and why
bool UnloadAudioLibrary();                          // false (nothing closed) while the output is open or samples remain
bool AudioLibraryLoaded();
std::string AudioLibraryProblem();                  // why the last load failed; "" when it did not
// The files tried, in order: libSDL2_mixer-2.0.so.0 then libSDL2_mixer.so, or SDL2_mixer.dll.
std::vector<std::string> AudioLibraryFileNames(bool windows);
// Tests: the library is looked for as this one file instead; null or "" puts it back.
void SetAudioLibraryFileForTesting(const char* file);

// ---------------------------------------------------------------- output
struct AudioOutputInfo {
    int frequency = 0;                              // samples per second
    int channels = 0;                               // 2 = stereo
    int bits = 0;                                   // bits per sample
    int voices = 0;                                 // mixer voices available
};
int  OpenAudioOutput(int frequency, int channels, int bits, int voices); // 1, or a negative code when no output opens (-4: no mixer library)
void CloseAudioOutput();                            // stops every voice and the music, closes the output
bool AudioOutputOpen();                             // the output is open
AudioOutputInfo GetAudioOutputInfo();               // what the output really runs at (zeros when closed)

// ---------------------------------------------------------------- sample data
struct AudioChunk;                                  // samples converted to the output format; opaque
AudioChunk* CreateAudioChunk(const void* pcm, std::size_t bytes, int frequency, int channels, int bits); // little-endian PCM, 8-bit unsigned or 16-bit signed; null on failure
void FreeAudioChunk(AudioChunk* chunk);             // stops the voices playing it first; null is ignored
std::size_t AudioChunkFrames(const AudioChunk* chunk); // length in output frames

// ---------------------------------------------------------------- voices (0 .. voices-1)
bool VoicePlaying(int voice);                       // the voice is sounding
void StopVoice(int voice);                          // silence it; the next play starts at the beginning
bool PlayVoice(int voice, AudioChunk* chunk, double leftGain, double rightGain); // play once from the start with linear gains 0..1

// ---------------------------------------------------------------- music (one stream)
bool OpenMusic(const char* path);                   // load a music file of any format the mixer decodes
bool StartMusic();                                  // play the loaded music once from its start
bool MusicOpen();                                   // music is loaded
bool MusicFinished();                               // loaded music reached its end (or stopped by itself)
void CloseMusic();                                  // stop and unload

} // namespace corvane::platform
