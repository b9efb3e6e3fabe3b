// Writes the examples' media at build time, so no picture or sound comes from
// elsewhere: 24-bit BMP pictures from a colour function, 16-bit mono WAV sounds from
// a sample function. Used by the examples' make_media programs, not by the runtime.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace media_writer {

inline void Put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

inline void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

inline bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make_media: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

// colour(x, y) gives 0xRRGGBB for the pixel x, y from the top-left. 0xFF0080 is the
// runtime's transparent key colour.
inline bool WriteBmp(const std::string& path, int width, int height,
                     const std::function<std::uint32_t(int x, int y)>& colour) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> out = {'B', 'M'};
    Put32(out, 54 + stride * height);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i) Put32(out, i == 1 ? stride * height : 0);
    for (int y = height - 1; y >= 0; --y) {  // bottom row first
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            out.push_back(c & 0xFF);
            out.push_back((c >> 8) & 0xFF);
            out.push_back((c >> 16) & 0xFF);
        }
        for (int pad = width * 3; pad < stride; ++pad) out.push_back(0);
    }
    return WriteBytes(path, out);
}

// sample(i) gives sample i of count in -1..1.
inline bool WriteWav(const std::string& path, int rate, int count, const std::function<double(int i)>& sample) {
    std::vector<unsigned char> out = {'R', 'I', 'F', 'F'};
    Put32(out, 36 + count * 2);
    for (char c : std::string("WAVEfmt ")) out.push_back(c);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 1);
    Put32(out, rate);
    Put32(out, rate * 2);
    Put16(out, 2);
    Put16(out, 16);
    for (char c : std::string("data")) out.push_back(c);
    Put32(out, count * 2);
    for (int i = 0; i < count; ++i) {
        double s = sample(i);
        s = s > 1 ? 1 : s < -1 ? -1 : s;
        Put16(out, std::uint16_t(std::int16_t(s * 32000)));
    }
    return WriteBytes(path, out);
}

} // namespace media_writer
