// The sound records (the output device and the 128 slots), their start-up and end,
// WAV parsing and the volume and pan conversions. sound.cpp, music.cpp, wav.cpp, the
// frame step, the tests and the benchmarks use these; programs see only sound.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/input_sound/sound.h"
#include "runtime/platform/platform_audio.h"
#include "runtime/values/rt_string.h"

namespace corvane {

constexpr int kSoundSlotCount = 128;        // slots 0..127; larger numbers mean 127
constexpr int kMaxVoicesPerSlot = 4;        // a sound can overlap itself four times
constexpr int kSoundOutputRate = 22050;     // output: 22050 Hz, 16 bit, stereo
constexpr int kSoundOutputChannels = 2;
constexpr int kSoundOutputBits = 16;

// ---------------------------------------------------------------- records

// What the output device reports once it is open.
struct SoundCaps {
    std::uint32_t size = 96;                // size of the record as the device reports it
    int frequency = 0;                      // output samples per second
    int channels = 0;                       // output channels
    int bits = 0;                           // output bits per sample
    int voices = 0;                         // mixer voices available
};

// The one sound output (TheSoundDevice()); zero-filled at start-up.
struct SoundDevice {
    bool created = false;                   // the output is open
    SoundCaps caps;                         // filled after creation
};

// One of the 128 sound slots (SoundSlots()).
struct SoundSlot {
    std::int32_t voiceCount = 0;            // 0 = empty, else 1..4
    std::int32_t nextVoice = 0;             // voice to try first on the next play
    RtString fileName;                      // the resolved path, used while loading
    SoundDevice* device = nullptr;          // the output the samples were made for; null when none
    int voices[kMaxVoicesPerSlot] = {-1, -1, -1, -1}; // mixer voice of each voice, -1 when absent
    platform::AudioChunk* samples = nullptr;// the one copy of the samples all voices play

    SoundSlot() = default;
    SoundSlot(const SoundSlot&) = delete;
    SoundSlot& operator=(const SoundSlot&) = delete;
    ~SoundSlot();                           // stops and releases the voices
};

// The format of a WAV file's samples, as the sound buffer is made from it.
struct WavFormat {
    std::uint16_t formatTag = 1;            // always PCM
    std::uint16_t channels = 0;             // 1 or 2
    std::uint32_t samplesPerSecond = 0;     // the file's rate
    std::uint32_t avgBytesPerSecond = 0;    // blockAlign x samplesPerSecond
    std::uint16_t blockAlign = 0;           // bytes per frame
    std::uint16_t bitsPerSample = 0;        // 8 or 16
};

// Where a WAV file's samples are, and their format.
struct WavSound {
    WavFormat format;
    std::size_t dataOffset = 0;             // first sample byte, right after the "data" header
    std::uint32_t dataSize = 0;             // bytes of samples (the "data" chunk size)
};

// ---------------------------------------------------------------- start-up and end
using SoundSlotTable = std::array<SoundSlot, kSoundSlotCount>;
SoundDevice* TheSoundDevice();              // the output record; null before start-up and after the end
SoundSlot* SoundSlots();                    // the 128 slots in index order; null before start-up and after the end
void RestartFinishedMusic();                // frame step: music at its end starts again
bool MusicLoops();                          // music is open: the frame step restarts it at its end
void CreateSoundRecords();                  // the output record zero-filled, 128 new slots
void DestroySoundSlots();                   // the slots destroyed last to first and freed
int  InitSound(SoundDevice* device);        // opens the output (22050 Hz, 16 bit, stereo); 1, or 0 / a negative code
void ReleaseSounds(SoundDevice* device);    // stops and releases every voice and the music, then the output
void ReleaseSoundDevice();                  // ReleaseSounds, then the output record freed

// ---------------------------------------------------------------- WAV files
bool ReadWav(const unsigned char* file, std::size_t size, WavSound* out); // parses a whole WAV file held in memory; false when unusable
std::string WavProblem(const unsigned char* file, std::size_t size); // why ReadWav refused it, in plain words

// ---------------------------------------------------------------- volumes, pans and media
bool ResolveSoundMedia(int context, const char* name, RtString* path); // media resolver: 0 music, 1 sounds; path to open
int  VolumeToHundredthsDb(double volume);                         // volume 0..1 as the buffer volume (-10000..0)
int  PanToHundredthsDb(double pan);                              // pan -1..1 as the buffer pan (-10000..10000)
double HundredthsDbToGain(double hundredths);                    // attenuation to linear gain; <= -10000 is silence

} // namespace corvane
