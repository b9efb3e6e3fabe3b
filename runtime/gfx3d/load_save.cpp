// Loading objects from model files into slots and saving a slot's first mesh.
#include "runtime/engine/engine_internal.h"
#include "runtime/gfx3d/gfx3d_internal.h"
#include "runtime/gfx3d/model_file.h"
#include "runtime/platform/platform_files.h"
#include "runtime/values/media.h"

namespace corvane {

double LoadObject(const RtString& file, double slotNumber) {
    Scene3D& scene = TheScene();
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    if (!slot) return 0.0;
    // Models resolve through the second media context, like images.
    RtString path(file.Buffer());
    if (!ResolveMedia(MediaSource(1), path)) {   // the slot stays as it was
        const std::string why = platform::ReadProblem(file.Buffer());
        ReportFailure("LoadObject", file.Buffer(), why.empty() || why == "unreadable" ? "not found" : why);
        return 0.0;
    }
    ReleaseSlot(scene, int(slot - scene.slots));
    Mesh& mesh = slot->meshes.emplace_back();
    if (!ReadModel(mesh, path.Buffer(), false) || mesh.frames.empty() || mesh.frames[0].corners.empty()) {
        ReleaseSlot(scene, int(slot - scene.slots));
        slot->meshes.emplace_back();
        ReportFailure("LoadObject", file.Buffer(), ModelProblem(path.Buffer()));
        return 0.0;
    }
    // Text models arrive without normals: they get them the way finished objects do.
    if (!mesh.normalsDone && scene.smoothingMode == 1) ComputeNormals(mesh, false);
    if (!mesh.normalsDone && scene.smoothingMode == 2) ComputeNormals(mesh, true);
    slot->loaded = true;
    mesh.ExpandFrames();
    ComputeBoundingSpheres(mesh);
    return 1.0;
}

double SaveObject(const RtString& file, double slotNumber) {
    ObjectSlot* slot = ObjectSlotAt(TheScene(), slotNumber);
    if (!slot || !slot->loaded || slot->meshes.empty()) return 0.0;
    if (WriteModel(slot->meshes[0], file.Buffer())) return 1.0;
    const std::string why = platform::WriteProblem(file.Buffer());
    ReportFailure("SaveObject", file.Buffer(), why.empty() ? "could not be written" : why);
    return 0.0;
}

} // namespace corvane
