// The sprites example's swarm: balls that move, bounce off the field's edges and
// score when they touch the ship (pixel-exact SpriteCollision), each drawn as a sprite.
// Shared with the benchmark that measures the example's frame.
#pragma once

#include <corvane/corvane.h>

namespace swarm {

using namespace corvane;

constexpr int kBall = 1, kShip = 2, kHitSound = 1;  // sprite and sound slots
constexpr double kTop = 20;                         // the score bar above the field
constexpr double kBallSize = 8, kShipSize = 32;

struct Swarm {
    RtArray x, y, dx, dy;                           // one element per ball
    int count = 0;
};

// count balls at random places and speeds (the generator seeded for the same swarm every run).
inline void Scatter(Swarm& s, int count) {
    s.count = count > 0 ? count : 0;
    for (RtArray* a : {&s.x, &s.y, &s.dx, &s.dy}) DimArray(*a, s.count > 0 ? s.count : 1);
    SeedRandom(7);
    for (int i = 0; i < s.count; ++i) {
        ArrayElement(s.x, i) = Random(640 - kBallSize);
        ArrayElement(s.y, i) = kTop + Random(300);
        ArrayElement(s.dx, i) = (Random(200) - 100) / 50.0;
        ArrayElement(s.dy, i) = (Random(200) - 100) / 50.0;
    }
}

// One frame of the swarm: every ball moves, bounces, is tested against the ship and
// drawn. A ball that touches the ship sounds, and comes back in at the top. Returns
// the hits of this frame.
inline int Step(Swarm& s, double shipX, double shipY) {
    int hits = 0;
    for (int i = 0; i < s.count; ++i) {
        double& bx = ArrayElement(s.x, i);
        double& by = ArrayElement(s.y, i);
        bx += ArrayElement(s.dx, i);
        by += ArrayElement(s.dy, i);
        if (bx < 0 || bx > 640 - kBallSize) ArrayElement(s.dx, i) = -ArrayElement(s.dx, i);
        if (by < kTop || by > 480 - kBallSize) ArrayElement(s.dy, i) = -ArrayElement(s.dy, i);
        if (SpriteCollision(kShip, shipX, shipY, kBall, bx, by) != 0) {
            ++hits;
            PlaySound(kHitSound, (bx - 320) / 320, 0.6);
            bx = Random(640 - kBallSize);
            by = kTop;
        }
        DrawSprite(kBall, bx, by);
    }
    return hits;
}

} // namespace swarm
