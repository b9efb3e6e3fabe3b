// Fuzz target: the MSHA text model reader on arbitrary bytes. Whatever it
// accepts must finish, answer queries and survive a write and a re-read.
#include <cstddef>
#include <cstdint>

#include "fuzz/model_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::Mesh mesh;
    if (corvane::ParseTextModel(mesh, data, size) != corvane::ModelError::None) return 0;
    model_fuzz::Exercise(mesh);
    return 0;
}
