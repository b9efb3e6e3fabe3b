// An independent media-pack writer built directly on liblzo2, for the tests of the
// resolver and of corvane-pack (and the fuzz seeds). Header-only: its users link liblzo2.
#pragma once

#include <lzo/lzo1x.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::pack_writer {

inline void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A packed block: unpacked size, then an LZO1X-1 stream.
inline std::string PackBlock(const std::string& data) {
    static bool ready = lzo_init() == LZO_E_OK;
    if (!ready) return std::string();
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    std::vector<unsigned char> out(data.size() + data.size() / 16 + 64 + 3);
    lzo_uint length = 0;
    lzo1x_1_compress(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data(), &length,
                     work.data());
    std::string block;
    PutLe32(block, static_cast<std::uint32_t>(data.size()));
    block.append(reinterpret_cast<const char*>(out.data()), length);
    return block;
}

struct RawEntry {
    std::string name;
    std::int32_t position;
    std::uint32_t packedSize;
};

inline std::string Directory(const std::vector<RawEntry>& entries) {
    std::string out;
    for (const RawEntry& e : entries) {
        out.push_back(static_cast<char>(e.name.size()));
        out += e.name;
        PutLe32(out, static_cast<std::uint32_t>(e.position));
        PutLe32(out, e.packedSize);
    }
    out.push_back('\0');
    return out;
}

struct TestEntry {
    std::string name, data;
};

// A pack with its entries in the order given. With fromEnd all positions count
// back from the end, and `host` (any bytes) goes in front.
inline std::string WritePack(const std::vector<TestEntry>& entries, bool fromEnd = false,
                             const std::string& host = std::string()) {
    std::string data;
    std::vector<RawEntry> raw;
    std::vector<std::int64_t> offsets;
    for (const TestEntry& e : entries) {
        std::string block = PackBlock(e.data);
        offsets.push_back(static_cast<std::int64_t>(data.size()));
        raw.push_back({e.name, 0, static_cast<std::uint32_t>(block.size())});
        data += block;
    }
    std::string directory = Directory(raw);
    const std::int64_t total = static_cast<std::int64_t>(data.size() + directory.size() + 4);
    const std::int64_t shift = fromEnd ? -total : static_cast<std::int64_t>(host.size());
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i].position = static_cast<std::int32_t>(offsets[i] + shift);
    std::string out = host + data + Directory(raw);
    PutLe32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(data.size() + shift)));
    return out;
}

} // namespace corvane::pack_writer
