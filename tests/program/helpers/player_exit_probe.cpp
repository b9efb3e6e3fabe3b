// A user program that loads and starts the demo song through the player's song
// functions, shows frames for a while and returns with the music still playing,
// so that the program end and the process-exit teardown (which unloads the sound
// library) run with the song on. Prints the load result.
#include <cstdio>

#include "program/player.h"
#include "runtime/frame/frame_internal.h"

namespace corvane {

int UserMain() {
    songFileName = "yoshi1.it";
    loadResult = LoadSong(songFileName);
    PlaySong();
    std::printf("returns: %g\n", loadResult);
    std::fflush(stdout);
    for (int frame = 0; frame < 60; ++frame) PresentFrame();
    return 0;
}

} // namespace corvane

int main() { return corvane::RuntimeMain(nullptr, nullptr, "", 1); }
