// The scene3d example's scene: a floor, a cube casting a stencil shadow, a crystal
// from a model file, two lights and fog, seen by a camera orbiting the middle.
// Shared with the benchmark that measures the example's frame.
#pragma once

#include <corvane/corvane.h>

#include <string>

#include "crystal_model.h"

namespace scene {

using namespace corvane;

constexpr int kFloor = 1, kCube = 2, kCrystal = 3;           // object slots
constexpr double kCubeSize = 30, kCubeX = -20, kCubeZ = 10;
constexpr double kLightX = 80, kLightY = 160, kLightZ = 40;  // the shadow's light, up and to the right

// The floor (20 x 20 grey squares, 400 units across, facing up) and the cube; the
// crystal from its file. False when the model did not load.
inline bool Build(const RtString& crystalFile) {
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
    CreateCube(kCube, kCubeSize);
    return LoadObject(crystalFile, kCrystal) != 0;
}

// One frame of the scene from the camera at yaw and pitch (degrees) around the middle.
inline void Draw(double yaw, double pitch, int frame, bool crystal, bool shadow) {
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
        RotateTransform(frame * 2, 0, 1, 0);
        DrawObject(kCrystal, 0, 1, (SinDeg(frame * 4) + 1) / 2, 0);
        PopTransform();
    }
    if (shadow) {
        // The effect light in shadow mode opens the stencil pass: the cube drawn now
        // adds its shadow volume; closing the pass darkens what lies inside it.
        SetLight(-3, 0, kLightX, kLightY, kLightZ, 0, 0, 0, 1);
        PushTransform();
        MoveTransform(kCubeX, kCubeSize / 2, kCubeZ);
        DrawObjectFrame(kCube, 0);
        PopTransform();
        SetLight(-3, 0, kLightX, kLightY, kLightZ, 0, 0, 0, 0);
    }
}

} // namespace scene
