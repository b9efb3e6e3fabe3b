// Loading objects from model files into slots and saving a slot's first mesh.
#include "runtime/engine/engine_state.h"
#include "runtime/gfx3d/gfx3d.h"
#include "runtime/gfx3d/model_file.h"
#include "runtime/values/media.h"

namespace corvane {

double LoadObject(const RtString& file, double slotNumber) {
    Rainbows3D& scene = engine.scene;
    ObjectSlot* slot = ObjectSlotAt(scene, slotNumber);
    if (!slot) return 0.0;
    // Models resolve through the second media context, like images.
    RtString path(file.Buffer());
    if (!ResolveMedia(engine.mediaSources[1], path)) return 0.0; // the slot stays as it was
    ReleaseSlot(scene, int(slot - scene.slots));
    MeshObjectX& mesh = slot->meshes.emplace_back();
    if (!ReadModel(mesh, path.Buffer(), false) || mesh.frames.empty() || mesh.frames[0].corners.empty()) {
        ReleaseSlot(scene, int(slot - scene.slots));
        slot->meshes.emplace_back();
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
    ObjectSlot* slot = ObjectSlotAt(engine.scene, slotNumber);
    if (!slot || !slot->loaded || slot->meshes.empty()) return 0.0;
    return WriteModel(slot->meshes[0], file.Buffer()) ? 1.0 : 0.0;
}

} // namespace corvane
