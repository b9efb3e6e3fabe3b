// scene3d: a crystal loaded from a model file written at build time, a cube casting a
// stencil shadow on a floor, two lights and fog, the camera orbiting the scene with
// the mouse, frames per second on screen. "scene3d noshadow" leaves the shadow out.
#include <corvane/corvane.h>

#include "../common/example_hook.h"

namespace corvane {
namespace {

constexpr int kFloor = 1, kCube = 2, kCrystal = 3;     // object slots
constexpr double kCubeSize = 30, kCubeX = -20, kCubeZ = 10;
constexpr double kLightX = 80, kLightY = 160, kLightZ = 40;  // the shadow's light, up and to the right

// A grey floor of 20 x 20 squares, 400 units across, facing up.
void BuildFloor() {
    StartObject(kFloor);
    for (int row = 0; row < 20; ++row) {
        if (row > 0) NewStrip();
        const double z0 = -200 + row * 20, z1 = z0 + 20;
        for (int column = 0; column <= 20; ++column) {
            const double x = -200 + column * 20;
            AddVertex(x, 0, z0, 0, 0, 0xA0A0A0);
            AddVertex(x, 0, z1, 0, 0, 0xA0A0A0);
        }
    }
    FinishObject();
}

} // namespace

int UserMain() {
    example::StartHook();
    const bool shadow = example::Argument(0) != "noshadow";
    BuildFloor();
    CreateCube(kCube, kCubeSize);
    const bool crystal = LoadObject("media/crystal.msha", kCrystal) != 0;

    double yaw = 30, pitch = 25, fps = 0, fpsFrames = 0, fpsStart = ElapsedMilliseconds();
    for (;;) {
        // The mouse turns the camera around the scene (and up and down a little).
        yaw += MouseAxis(0) * 0.4;
        pitch += MouseAxis(1) * 0.2;
        pitch = pitch < 10 ? 10 : pitch > 70 ? 70 : pitch;
        const double distance = 220;
        Start3DMode(1, 1000, 60);
        PlaceCamera(distance * CosDeg(pitch) * SinDeg(yaw), distance * SinDeg(pitch), distance * CosDeg(pitch) * CosDeg(yaw),
                    0, 10, 0);
        SetLight(0, 0xF0F0F0, 0, 0, 0, -kLightX, -kLightY, -kLightZ, 180);  // white, from the shadow's light
        SetLight(1, 0x2060FF, -60, 40, -60, 0, 0, 0, 120);                   // an orange point light behind
        SetFog(0x301810, 0, 200, 600);

        DrawObjectFrame(kFloor, 0);
        PushTransform();
        MoveTransform(kCubeX, kCubeSize / 2, kCubeZ);
        DrawObjectFrame(kCube, 0);
        PopTransform();
        if (crystal) {  // turning, and breathing between its two keyframes
            PushTransform();
            MoveTransform(50, 30, -30);
            RotateTransform(example::FrameNumber() * 2, 0, 1, 0);
            DrawObject(kCrystal, 0, 1, (SinDeg(example::FrameNumber() * 4) + 1) / 2, 0);
            PopTransform();
        }
        if (shadow) {
            // The effect light in shadow mode opens the stencil pass: the cube drawn
            // now adds its shadow volume; closing the pass darkens what lies inside.
            SetLight(-3, 0, kLightX, kLightY, kLightZ, 0, 0, 0, 1);
            PushTransform();
            MoveTransform(kCubeX, kCubeSize / 2, kCubeZ);
            DrawObjectFrame(kCube, 0);
            PopTransform();
            SetLight(-3, 0, kLightX, kLightY, kLightZ, 0, 0, 0, 0);
        }

        if (++fpsFrames == 30) {
            const double now = ElapsedMilliseconds();
            fps = now > fpsStart ? ToInt(30000 / (now - fpsStart)) : 0;
            fpsStart = now;
            fpsFrames = 0;
        }
        SetViewport(0, 0, 0, 0);  // back to 2D for the text
        PrintText("fps " + RtString(fps) + (shadow ? "  shadow on" : "  shadow off") +
                      (crystal ? "" : "  (crystal.msha missing)"), 8, 8);
        PrintText(RtString("Move the mouse to turn the camera; Escape ends."), 8, 462);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
