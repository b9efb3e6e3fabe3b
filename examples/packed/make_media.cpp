// Writes the packed example's media:
//   make_media DIR  ->  DIR/ball.bmp, DIR/beep.wav, DIR/message.txt, DIR/settings.ini
#include <cmath>
#include <cstdio>
#include <string>

#include "../common/media_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_media DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    using namespace media_writer;
    // A 32 x 32 yellow ball with a dark ring, on the key colour.
    const bool ok =
        WriteBmp(dir + "/ball.bmp", 32, 32, [](int x, int y) -> std::uint32_t {
            const double d = std::hypot(x - 15.5, y - 15.5);
            return d < 13 ? 0xFFDC00 : d < 15.5 ? 0x785000 : 0xFF0080;
        }) &&
        // 0.15 s of an 880 Hz tone, fading out.
        WriteWav(dir + "/beep.wav", 22050, 3307,
                 [](int i) { return 0.4 * (1.0 - i / 3307.0) * std::sin(2 * M_PI * 880 * i / 22050); }) &&
        WriteText(dir + "/message.txt", "Everything on this screen came out of the executable.\r\n") &&
        WriteText(dir + "/settings.ini", "[packed]\r\ngreeting=Hello from settings.ini\r\n");
    return ok ? 0 : 1;
}
