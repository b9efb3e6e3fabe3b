// Fuzz target: the binary model reader on arbitrary bytes after the magic.
// Whatever it accepts must finish, answer queries and survive a write and a
// re-read unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/model_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(corvane::kModelMagic, corvane::kModelMagic + 4);
    bytes.insert(bytes.end(), data, data + size);
    corvane::Mesh mesh;
    if (corvane::ParseModel(mesh, bytes.data(), bytes.size(), size % 2 == 1) != corvane::ModelError::None) return 0;
    model_fuzz::Exercise(mesh);
    return 0;
}
