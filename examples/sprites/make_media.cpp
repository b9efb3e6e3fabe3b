// Writes the sprites example's media:
//   make_media DIR -> background.bmp (640 x 480), ball.bmp, ship.bmp, hit.wav, music.wav
#include <cmath>
#include <cstdio>
#include <string>

#include "../common/media_writer.h"

namespace {

constexpr double kPi = 3.14159265358979;
constexpr std::uint32_t kKey = 0xFF0080;  // transparent in a sprite

// A note of the music: a soft square-ish tone with a quick fade.
double Note(double frequency, double t, double length) {
    if (t < 0 || t >= length) return 0;
    const double envelope = std::exp(-4 * t / length);
    return envelope * (0.6 * std::sin(2 * kPi * frequency * t) + 0.2 * std::sin(6 * kPi * frequency * t));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_media DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    using namespace media_writer;
    // Stone tiles: two blues in a checker of 64-pixel squares with lighter joints.
    const bool background = WriteBmp(dir + "/background.bmp", 640, 480, [](int x, int y) -> std::uint32_t {
        if (x % 64 == 0 || y % 64 == 0) return 0x5070A0;
        return ((x / 64 + y / 64) % 2) ? 0x203060 : 0x283C78;
    });
    // An 8 x 8 red ball.
    const bool ball = WriteBmp(dir + "/ball.bmp", 8, 8, [](int x, int y) -> std::uint32_t {
        const double d = std::hypot(x - 3.5, y - 3.5);
        return d < 2 ? 0xFFA0A0 : d < 4 ? 0xE02020 : kKey;
    });
    // A 32 x 32 green ship pointing up.
    const bool ship = WriteBmp(dir + "/ship.bmp", 32, 32, [](int x, int y) -> std::uint32_t {
        const int half = y / 2;  // the hull widens downwards
        if (x >= 16 - half && x < 16 + half) return y > 26 ? 0xFFC000 : 0x20D040;
        return kKey;
    });
    // A short falling blip for a hit.
    const bool hit = WriteWav(dir + "/hit.wav", 22050, 2205, [](int i) {
        const double t = i / 22050.0;
        return 0.5 * (1 - t * 10) * std::sin(2 * kPi * (1200 - 6000 * t) * t);
    });
    // Four seconds of an arpeggio that loops (the frame step restarts the music).
    const double notes[] = {261.6, 329.6, 392.0, 523.3, 392.0, 329.6, 293.7, 349.2,
                            440.0, 587.3, 440.0, 349.2, 246.9, 293.7, 392.0, 493.9};
    const bool music = WriteWav(dir + "/music.wav", 22050, 22050 * 4, [&](int i) {
        const double t = i / 22050.0;
        const int n = int(t / 0.25);
        return 0.5 * Note(notes[n % 16], t - n * 0.25, 0.25) + 0.3 * Note(notes[(n / 4) * 4 % 16] / 2, t - (n / 4) * 1.0, 1.0);
    });
    return background && ball && ship && hit && music ? 0 : 1;
}
