// Fuzz target: the WAV reader on arbitrary bytes. Whatever it accepts must lie
// inside the input and have a format a sound buffer can be made of.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/input_sound/sound_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::WavSound wav;
    if (!corvane::ReadWav(data, size, &wav)) return 0;
    const corvane::WavFormat& f = wav.format;
    if (wav.dataOffset > size || wav.dataSize > size - wav.dataOffset) std::abort();
    if (f.channels < 1 || f.channels > 2 || (f.bitsPerSample != 8 && f.bitsPerSample != 16)) std::abort();
    if (f.blockAlign != f.channels * f.bitsPerSample / 8 || f.samplesPerSecond == 0) std::abort();
    if (f.avgBytesPerSecond != static_cast<std::uint32_t>(f.blockAlign) * f.samplesPerSecond) std::abort();
    // Touch every sample byte so that a read past the input shows up.
    unsigned sum = 0;
    for (std::uint32_t i = 0; i < wav.dataSize; ++i) sum += data[wav.dataOffset + i];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
