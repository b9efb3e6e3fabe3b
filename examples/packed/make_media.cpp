// Writes the packed example's media, so no binary file comes from elsewhere:
//   make_media DIR   ->  DIR/ball.bmp, DIR/beep.wav, DIR/message.txt, DIR/settings.ini
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void Put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text) {
    return WriteFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

// A 32 x 32 yellow ball with a dark ring on the key colour (red 255, blue 128), 24-bit.
std::vector<unsigned char> Ball() {
    const int size = 32, stride = size * 3;
    std::vector<unsigned char> out = {'B', 'M'};
    Put32(out, 54 + stride * size);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, size);
    Put32(out, size);
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i) Put32(out, i == 1 ? stride * size : 0);
    for (int y = 0; y < size; ++y)          // bottom row first
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - 15.5, y - 15.5);
            unsigned char b = 128, g = 0, r = 255;  // key colour: transparent
            if (d < 13) b = 0, g = 220, r = 255;    // yellow
            else if (d < 15.5) b = 0, g = 80, r = 120; // dark ring
            out.push_back(b);
            out.push_back(g);
            out.push_back(r);
        }
    return out;
}

// 0.15 s of an 880 Hz tone, 22050 Hz, 16-bit mono, fading out.
std::vector<unsigned char> Beep() {
    const int rate = 22050, count = rate * 15 / 100;
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
        const double fade = 1.0 - double(i) / count;
        Put16(out, std::uint16_t(std::int16_t(12000 * fade * std::sin(2 * M_PI * 880 * i / rate))));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_media DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = WriteFile(dir + "/ball.bmp", Ball()) && WriteFile(dir + "/beep.wav", Beep()) &&
                    WriteText(dir + "/message.txt", "Everything on this screen came out of the executable.\r\n") &&
                    WriteText(dir + "/settings.ini", "[packed]\r\ngreeting=Hello from settings.ini\r\n");
    if (!ok) std::fprintf(stderr, "make_media: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
