// Sound: 128 slots of WAV sound effects with up to four voices each, and one
// music stream of any format the mixer decodes, repeated by the frame step.
#pragma once

#include "runtime/values/rt_string.h"

namespace corvane {

// ---------------------------------------------------------------- sound effects
int  LoadSound(const char* file, double slot, double voices);   // WAV (PCM, 8 or 16 bits, mono or stereo) into a slot with 1..4 voices; 1 or 0
inline int LoadSound(const RtString& file, double slot, double voices) { return LoadSound(file.Buffer(), slot, voices); }
int  PlaySound(double slot, double pan, double volume);          // pan -1..1, volume 0..1; 1 when a voice started
void StopAllSounds();                                            // stops and rewinds every voice of every slot

// ---------------------------------------------------------------- music
int  PlayMusic(const char* file);                                // stops any music, plays the file (what SDL_mixer reads: OGG, MP3, FLAC, WAV, tracker modules); 1 when it plays, else 0
inline int PlayMusic(const RtString& file) { return PlayMusic(file.Buffer()); }
void StopMusic();                                                // stops and closes the music

} // namespace corvane
