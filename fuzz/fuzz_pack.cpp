// Fuzzes the media-pack directory scan and the entry reader.
// Input: one byte n, then n bytes of requested name, then the pack file.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/values/media.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::size_t nameLength = data[0] % 64;
    if (size < 1 + nameLength) return 0;
    std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    name = name.c_str();  // a requested name is a text
    const std::uint8_t* pack = data + 1 + nameLength;
    std::size_t packSize = size - 1 - nameLength;
    if (packSize == 0) return 0;
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(pack), packSize, "rb");
    if (!f) return 0;
    corvane::PackEntry entry;
    if (corvane::FindPackEntry(f, name.c_str(), &entry)) {
        if (!corvane::NameMatchesPackEntry(name.c_str(), entry.name.c_str(), entry.name.size())) __builtin_trap();
        std::string temp = corvane::PackTempFileName(entry);
        if (temp.find('/') != std::string::npos || temp.find('\\') != std::string::npos) __builtin_trap();
        std::unique_ptr<unsigned char[]> out;
        std::uint32_t outSize = 0;
        if (corvane::UnpackPackEntry(f, entry, &out, &outSize)) {
            // The block lies in the file and the stated size was honoured.
            if (entry.dataOffset < 0 || entry.dataOffset + entry.packedSize > static_cast<std::int64_t>(packSize)) __builtin_trap();
            std::uint32_t stated = 0;
            std::memcpy(&stated, pack + entry.dataOffset, 4);
            if (stated != outSize) __builtin_trap();
            volatile unsigned char sink = outSize ? out[outSize - 1] : 0;
            (void)sink;
        }
    }
    std::fclose(f);
    return 0;
}
