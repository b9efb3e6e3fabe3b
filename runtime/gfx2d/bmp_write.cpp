// Writing 24-bit BMP files: the encoder over bytes in memory and the safe write.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/platform/platform_files.h"

namespace corvane {

namespace {

void PutU16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

void PutU32(unsigned char* p, std::uint32_t v) {
    PutU16(p, v & 0xFFFF);
    PutU16(p + 2, v >> 16);
}

constexpr int kHeaderBytes = 54;
constexpr std::uint32_t kPixelsPerMetre = 10000;

} // namespace

std::vector<unsigned char> EncodeBmp24(const unsigned char* bgrRows, int width, int height, int rowLength) {
    if (!bgrRows || width < 1 || height < 1 || rowLength < width) return {};
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    const std::size_t total = kHeaderBytes + stride * std::size_t(height);
    if (total > 0xFFFFFFFFu) return {}; // the size field cannot say it
    std::vector<unsigned char> file(total, 0); // padding bytes stay zero
    unsigned char* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    PutU32(h + 2, std::uint32_t(total));
    PutU32(h + 10, kHeaderBytes);
    PutU32(h + 14, 40);
    PutU32(h + 18, std::uint32_t(width));
    PutU32(h + 22, std::uint32_t(height)); // positive: rows bottom-up, as the source holds them
    PutU16(h + 26, 1);
    PutU16(h + 28, 24);
    PutU32(h + 38, kPixelsPerMetre);
    PutU32(h + 42, kPixelsPerMetre);
    for (int row = 0; row < height; ++row)
        std::memcpy(h + kHeaderBytes + stride * std::size_t(row), bgrRows + std::size_t(row) * rowLength * 3,
                    std::size_t(width) * 3);
    return file;
}

bool WriteBmp24(const char* path, const unsigned char* bgrRows, int width, int height, int rowLength) {
    const std::vector<unsigned char> bytes = EncodeBmp24(bgrRows, width, height, rowLength);
    if (bytes.empty() || !path || !*path) return false;
    // Written beside the target and renamed over it once complete, so a failed
    // write never leaves a cut-off picture in place of the old file.
    std::string temporary;
    std::FILE* f = platform::CreateFileBeside(path, &temporary);
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && platform::RenameFile(temporary.c_str(), path);
    if (!ok) platform::DeleteTemporaryFile(temporary);
    return ok;
}

} // namespace corvane
