// Encoding and checking of the session's wire messages.
#include "runtime/net/net_message.h"

#include <cstring>

namespace corvane {

std::int32_t ReadInt32LE(const unsigned char* bytes) {
    std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                          (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(value);
}

void WriteInt32LE(unsigned char* bytes, std::int32_t value) {
    std::uint32_t v = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<unsigned char>(v);
    bytes[1] = static_cast<unsigned char>(v >> 8);
    bytes[2] = static_cast<unsigned char>(v >> 16);
    bytes[3] = static_cast<unsigned char>(v >> 24);
}

bool ParseNetMessage(const unsigned char* bytes, int count, NetHeader* header) {
    if (!bytes || count < kNetHeaderSize || count > kNetMessageSize) return false;
    if (std::memcmp(bytes, "CRVN", 4) != 0) return false;
    std::int32_t length = ReadInt32LE(bytes + 5);
    if (length < 0 || length > count - kNetHeaderSize) return false;
    if (header) {
        header->type = bytes[4];
        header->length = length;
        header->target = ReadInt32LE(bytes + 9);
        header->origin = ReadInt32LE(bytes + 13);
    }
    return true;
}

int BuildNetMessage(unsigned char* out, int type, std::int32_t target, std::int32_t origin, const void* payload,
                    int length) {
    if (length < 0 || length > kNetMaxPayload || (length > 0 && !payload)) return -1;
    std::memcpy(out, "CRVN", 4);
    out[4] = static_cast<unsigned char>(type);
    WriteInt32LE(out + 5, length);
    WriteInt32LE(out + 9, target);
    WriteInt32LE(out + 13, origin);
    if (length) std::memcpy(out + kNetHeaderSize, payload, static_cast<std::size_t>(length));
    return kNetHeaderSize + length;
}

void EncodeJoinRecord(unsigned char* out, unsigned char hidden, const char* name) {
    std::memset(out, 0, kNetJoinRecordSize);
    WriteInt32LE(out, -1);
    WriteInt32LE(out + 4, -1);
    out[8] = hidden;
    std::size_t n = name ? std::strlen(name) : 0;
    if (n > kNetNameSize - 1) n = kNetNameSize - 1;
    if (n) std::memcpy(out + 9, name, n);
}

bool DecodeJoinRecord(const unsigned char* payload, int length, unsigned char* hidden, char* name) {
    if (!payload || length < kNetJoinRecordSize) return false;
    *hidden = payload[8];
    int n = 0;
    while (n < kNetNameSize - 1 && payload[9 + n] != 0) ++n;
    std::memcpy(name, payload + 9, static_cast<std::size_t>(n));
    name[n] = 0;
    return true;
}

} // namespace corvane
