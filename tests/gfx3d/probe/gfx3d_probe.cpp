// A runtime program that fills every 3D object slot, draws some of them and
// ends, so a test can watch the release at the program end as a real process.
#include <cstdio>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "fill";
    SetRuntimeDefaults();
    StartEngine(nullptr, nullptr, scenario.c_str(), 1, "gfx3d_probe");
    if (!engine.windowCreated) return 2;
    Start3DMode(1, 100, 90);
    int filled = 0;
    for (int slot = 0; slot < Scene3D::kSlotCount; ++slot) {
        CreateCube(slot, 1 + slot % 3);
        filled += TheScene().slots[slot].loaded;
    }
    MoveTransform(0, 0, -10);
    for (int slot = 0; slot < 64; ++slot) {
        SetTextureOffset3D(slot % 2 ? 0.5 : 0.0, 0);
        DrawObjectFrame(slot, 0);
    }
    StartObject(4095); // ends with an object under construction too
    AddVertex(0, 0, 0, 0, 0, 0xFFFFFF);
    std::printf("filled %d\n", filled);
    std::fflush(stdout);
    PresentFrame();
    EndProgram();
}
