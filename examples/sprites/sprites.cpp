// sprites: a tiled background, a swarm of moving balls (2,000 unless a count is
// given: "sprites 10000"), a ship steered with the arrow keys that scores on every
// ball it touches (pixel-exact SpriteCollision), a sound on every hit, music, the
// score and the frame rate in the built-in bitmap font. Escape ends.
#include <corvane/corvane.h>

#include <string>

#include "../common/example_hook.h"
#include "swarm.h"

namespace corvane {
namespace {

// DirectInput key codes of the arrow keys.

} // namespace

int UserMain() {
    using namespace swarm;
    example::StartHook();
    const std::string countText = example::Argument(0);

    LoadBackground("media/background.bmp");   // 64 x 64 tiles, redrawn into every new frame
    LoadSprite("media/ball.bmp", kBall);
    LoadSprite("media/ship.bmp", kShip);
    LoadSound("media/hit.wav", kHitSound, 4);
    PlayMusic("media/music.wav");
    Swarm balls;
    Scatter(balls, countText.empty() ? 2000 : ToInt(TextValue(countText.c_str())));

    double shipX = 304, shipY = 400, score = 0, fps = 0, fpsFrames = 0, fpsStart = ElapsedMilliseconds();
    for (;;) {
        shipX += 6 * (KeyState(KeyRight) - KeyState(KeyLeft));
        shipY += 6 * (KeyState(KeyDown) - KeyState(KeyUp));
        if (shipX < 0) shipX = 0;
        if (shipX > 640 - kShipSize) shipX = 640 - kShipSize;
        if (shipY < kTop) shipY = kTop;
        if (shipY > 480 - kShipSize) shipY = 480 - kShipSize;

        score += Step(balls, shipX, shipY);
        DrawSprite(kShip, shipX, shipY);

        if (++fpsFrames == 30) {  // the rate over the last 30 frames
            const double now = ElapsedMilliseconds();
            fps = now > fpsStart ? ToInt(30000 / (now - fpsStart)) : 0;
            fpsStart = now;
            fpsFrames = 0;
        }
        DrawRect(0, 0, 639, kTop - 1, 0x000000);
        PrintText("score " + RtString(score) + "  fps " + RtString(fps) + "  sprites " + RtString(balls.count), 8, 8);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
