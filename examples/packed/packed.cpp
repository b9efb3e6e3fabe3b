// packed: a program that carries its media inside its own executable. The build
// packs media/ with corvane-pack and appends the pack to the executable; the
// program names itself as its pack, so it runs with no media folder beside it.
#include <corvane/corvane.h>

#include "../common/example_hook.h"

namespace corvane {

int UserMain() {
    example::StartHook();
    // A real file of the same name still wins; the pack is searched when there is none.
    const RtString self = ProgramDirectory() + "/packed";
    SetMediaPacks(self, self);

    RtString message;
    ReadLineText("media/message.txt", 0, message);
    IniOpen("media/settings.ini");
    const RtString greeting = IniGet("packed", "greeting");
    const double ball = LoadSprite(RtString("media/ball.bmp"), 1);
    const double beep = LoadSound("media/beep.wav", 1, 4);

    for (;;) {
        PrintText(message, 8, 8);
        PrintText("settings.ini: " + greeting, 8, 24);
        PrintText("ball.bmp: " + RtString(ball ? "loaded" : "missing"), 8, 40);
        PrintText("beep.wav: " + RtString(beep ? "loaded" : "missing"), 8, 56);
        PrintText(RtString("Escape ends."), 8, 72);
        DrawSprite(1, 304, 224);
        // A beep every second, panned from left to right.
        if (example::FrameNumber() % 60 == 0) PlaySound(1, (example::FrameNumber() / 60 % 3) - 1.0, 0.5);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
