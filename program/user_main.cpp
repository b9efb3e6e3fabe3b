// The embedded user program: the music player.
#include "program/player.h"
#include "runtime/frame/frame.h"
#include "runtime/gfx2d/gfx2d.h"
#include "runtime/input_sound/input.h"

namespace corvane {

int UserMain() {
    songFileName = "yoshi1.it";
    AllowEscape(0);  // only left Alt with F4 and the close box end it early
    loadResult = LoadSong(songFileName);
    PlaySong();
    PrintText("PLAY: " + songFileName + " returns: " + loadResult, 100, 100);
    PrintText(RtString("click mouse to stop"), 100, 120);
    PresentFrame();
    WaitForMouse();
    StopSong();
    return 0;
}

} // namespace corvane
