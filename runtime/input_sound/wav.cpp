// The WAV reader: a fixed 36-byte header (RIFF header, format chunk header and
// its 16 bytes), then at most one "fact" chunk, then the "data" chunk. Any other
// chunk in between (a "LIST" chunk, say) makes the file unusable. Works on the
// file's bytes in memory and never reads outside them.
#include <cstring>

#include "runtime/input_sound/sound_internal.h"

namespace corvane {

namespace {

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The limits a sound buffer can be made with; outside them the load fails as
// when the buffer cannot be created.
constexpr std::uint32_t kMinRate = 100;
constexpr std::uint32_t kMaxRate = 200000;
constexpr std::uint32_t kMinBufferBytes = 4;
constexpr std::uint32_t kMaxBufferBytes = 0x0FFFFFFF;

} // namespace

std::string WavProblem(const unsigned char* file, std::size_t size) {
    if (!file || size == 0) return "empty file";
    const bool riff = size >= 12 && std::memcmp(file, "RIFF", 4) == 0 && std::memcmp(file + 8, "WAVE", 4) == 0;
    if (!riff) return "not a WAV sound";
    if (size < 36) return "truncated WAV";
    const std::uint16_t tag = U16(file + 20), bits = U16(file + 34), channels = U16(file + 22);
    if (tag != 1) return "unsupported WAV (format " + std::to_string(tag) + "; PCM is read)";
    if (bits != 8 && bits != 16) return "unsupported WAV (" + std::to_string(bits) + " bits; 8 and 16 are read)";
    if (channels > 2) return "unsupported WAV (" + std::to_string(channels) + " channels; 1 and 2 are read)";
    std::uint64_t pos = 20ull + U32(file + 16);
    if (pos + 8 <= size && std::memcmp(file + pos, "fact", 4) == 0) pos += 8ull + U32(file + pos + 4);
    if (pos + 8 > size) return "truncated WAV";
    if (std::memcmp(file + pos, "data", 4) == 0 && pos + 8 + U32(file + pos + 4) > size) return "truncated WAV";
    return "damaged WAV";
}

bool ReadWav(const unsigned char* file, std::size_t size, WavSound* out) {
    if (!file || !out || size < 36) return false;

    // The identifiers "RIFF", "WAVE" and "fmt " are not compared.
    const std::uint32_t formatSize = U32(file + 16);
    const std::uint16_t channels = U16(file + 22);
    const std::uint32_t rate = U32(file + 24);
    const std::uint16_t blockAlign = U16(file + 32);
    const std::uint16_t bits = U16(file + 34);

    // The next chunk starts after the format chunk whatever its size; a format
    // chunk shorter than 16 bytes puts it inside the 16 bytes already read.
    std::uint64_t pos = 20ull + formatSize;
    if (pos + 8 > size) return false;
    if (std::memcmp(file + pos, "fact", 4) == 0) {
        pos += 8ull + U32(file + pos + 4);
        if (pos + 8 > size) return false;
    }
    if (std::memcmp(file + pos, "data", 4) != 0) return false;
    const std::uint32_t dataSize = U32(file + pos + 4);
    const std::uint64_t dataOffset = pos + 8;
    if (dataOffset + dataSize > size) return false;   // the samples are not all there

    // Formats no buffer can be made of.
    if (channels == 0 || rate == 0 || blockAlign == 0) return false;
    if (bits != 8 && bits != 16) return false;
    WavFormat format;
    format.formatTag = 1;
    format.channels = channels < 2 ? 1 : 2;
    format.samplesPerSecond = rate;
    format.blockAlign = blockAlign;
    format.bitsPerSample = bits;
    format.avgBytesPerSecond = static_cast<std::uint32_t>(blockAlign) * rate;
    if (blockAlign != format.channels * (bits / 8)) return false;  // more than two channels, or inconsistent
    if (rate < kMinRate || rate > kMaxRate) return false;
    if (dataSize < kMinBufferBytes || dataSize > kMaxBufferBytes) return false;

    out->format = format;
    out->dataOffset = static_cast<std::size_t>(dataOffset);
    out->dataSize = dataSize;
    return true;
}

} // namespace corvane
