// sprites: a tiled background, a swarm of moving balls (2,000 unless a count is
// given: "sprites 10000"), a ship steered with the arrow keys that scores on every
// ball it touches (pixel-exact SpriteCollision), a sound on every hit, music, the
// score and the frame rate in the built-in bitmap font. Escape ends.
#include <corvane/corvane.h>

#include <string>

#include "../common/example_hook.h"

namespace corvane {
namespace {

constexpr int kBall = 1, kShip = 2, kHitSound = 1;
constexpr int kTop = 20;                       // the score bar above the field
constexpr double kBallSize = 8, kShipSize = 32;
// DirectInput key codes of the arrow keys.
constexpr double kLeft = 203, kRight = 205, kUp = 200, kDown = 208;

} // namespace

int UserMain() {
    example::StartHook();
    const std::string countText = example::Argument(0);
    const int count = countText.empty() ? 2000 : ToInt(TextValue(countText.c_str()));

    LoadBackground("media/background.bmp");   // 64 x 64 tiles, redrawn into every new frame
    LoadSprite("media/ball.bmp", kBall);
    LoadSprite("media/ship.bmp", kShip);
    LoadSound("media/hit.wav", kHitSound, 4);
    PlayMusic("media/music.wav");
    SeedRandom(7);

    RtArray x, y, dx, dy;                      // one element per ball
    DimArray(x, count > 0 ? count : 1);
    DimArray(y, count > 0 ? count : 1);
    DimArray(dx, count > 0 ? count : 1);
    DimArray(dy, count > 0 ? count : 1);
    for (int i = 0; i < count; ++i) {
        ArrayElement(x, i) = Random(640 - kBallSize);
        ArrayElement(y, i) = kTop + Random(300);
        ArrayElement(dx, i) = (Random(200) - 100) / 50.0;
        ArrayElement(dy, i) = (Random(200) - 100) / 50.0;
    }

    double shipX = 304, shipY = 400, score = 0, fps = 0, fpsFrames = 0, fpsStart = ElapsedMilliseconds();
    for (;;) {
        shipX += 6 * (KeyState(kRight) - KeyState(kLeft));
        shipY += 6 * (KeyState(kDown) - KeyState(kUp));
        if (shipX < 0) shipX = 0;
        if (shipX > 640 - kShipSize) shipX = 640 - kShipSize;
        if (shipY < kTop) shipY = kTop;
        if (shipY > 480 - kShipSize) shipY = 480 - kShipSize;

        for (int i = 0; i < count; ++i) {
            double& bx = ArrayElement(x, i);
            double& by = ArrayElement(y, i);
            bx += ArrayElement(dx, i);
            by += ArrayElement(dy, i);
            if (bx < 0 || bx > 640 - kBallSize) ArrayElement(dx, i) = -ArrayElement(dx, i);
            if (by < kTop || by > 480 - kBallSize) ArrayElement(dy, i) = -ArrayElement(dy, i);
            if (SpriteCollision(kShip, shipX, shipY, kBall, bx, by) != 0) {
                score += 1;
                PlaySound(kHitSound, (bx - 320) / 320, 0.6);
                bx = Random(640 - kBallSize);  // the ball comes back in at the top
                by = kTop;
            }
            DrawSprite(kBall, bx, by);
        }
        DrawSprite(kShip, shipX, shipY);

        if (++fpsFrames == 30) {  // the rate over the last 30 frames
            const double now = ElapsedMilliseconds();
            fps = now > fpsStart ? ToInt(30000 / (now - fpsStart)) : 0;
            fpsStart = now;
            fpsFrames = 0;
        }
        DrawRect(0, 0, 639, kTop - 1, 0x000000);
        PrintText("score " + RtString(score) + "  fps " + RtString(fps) + "  sprites " + RtString(count), 8, 6);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
