// Helpers of the sound tests: WAV files built byte by byte, and the raw mixed
// output captured through SDL's disk audio driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::soundtest {

// A WAV file as a test states it. Defaults give a standard 44-byte-header PCM file.
struct WavRecipe {
    int channels = 1;
    int rate = 22050;
    int bits = 16;
    std::vector<int> samples;            // interleaved; 8-bit values are stored as given (0..255)
    std::uint32_t formatSize = 16;       // format chunk size; bytes past 16 are zero-filled
    int blockAlign = -1;                 // -1: channels * bits / 8
    bool factChunk = false;              // a 4-byte "fact" chunk before "data"
    bool listChunk = false;              // a "LIST" chunk before "data"
    std::int64_t dataSize = -1;          // -1: the true size of the samples
};
std::string BuildWav(const WavRecipe& recipe);

// A sine of the given amplitude (16-bit scale) and frequency, one value per frame
// and channel.
std::vector<int> Sine(int frames, int channels, double rate, double frequency, double amplitude);
std::vector<int> Constant(int frames, int channels, int value);

// Writes bytes to a fresh file in the test's temporary directory; returns its path.
std::string WriteTempFile(const std::string& name, const std::string& bytes);

// The mixed output between StartCapture and FinishCapture, interleaved L R.
struct Capture {
    std::vector<std::int16_t> samples;
    std::size_t Frames() const { return samples.size() / 2; }
    int At(std::size_t frame, int channel) const { return samples[frame * 2 + channel]; }
    long First(int threshold) const;                     // first frame louder than threshold on either side, -1 if none
    double Rms(int channel, std::size_t from, std::size_t count) const;
    int MaxAbs(int channel) const;
    std::size_t CountLouder(int channel, int threshold) const; // frames louder than threshold on that side
};

// Reopens the sound output (InitSound) writing its raw mix to a new file. Empties
// every slot. Returns false when the output could not open.
bool StartCapture(const std::string& name);
// Waits, closes the output (ReleaseSounds) and reads what was written.
Capture FinishCapture(int waitMs);

void SleepMs(int ms);

} // namespace corvane::soundtest
