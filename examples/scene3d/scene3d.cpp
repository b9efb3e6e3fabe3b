// scene3d: a crystal loaded from a model file written at build time, a cube casting a
// stencil shadow on a floor, two lights and fog, the camera orbiting the scene with
// the mouse, frames per second on screen. "scene3d noshadow" leaves the shadow out.
#include <corvane/corvane.h>

#include "../common/example_hook.h"
#include "scene.h"

namespace corvane {

int UserMain() {
    example::StartHook();
    const bool shadow = example::Argument(0) != "noshadow";
    const bool crystal = scene::Build("media/crystal.msha");

    double yaw = 30, pitch = 25, fps = 0, fpsFrames = 0, fpsStart = ElapsedMilliseconds();
    for (;;) {
        // The mouse turns the camera around the scene (and up and down a little).
        yaw += MouseAxis(0) * 0.4;
        pitch += MouseAxis(1) * 0.2;
        pitch = pitch < 10 ? 10 : pitch > 70 ? 70 : pitch;
        scene::Draw(yaw, pitch, example::FrameNumber(), crystal, shadow);

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
