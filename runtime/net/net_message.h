// The session's wire messages: a 17-byte header ("CRVN", u8 type, then length,
// target and origin as little-endian int32, unaligned) and up to 2048 payload bytes,
// one message per packet. Everything read from a peer is checked here before use.
#pragma once

#include <cstdint>

namespace corvane {

constexpr int kNetHeaderSize = 17;
constexpr int kNetMaxPayload = 2048;
constexpr int kNetMessageSize = kNetHeaderSize + kNetMaxPayload; // 2065: the largest message
constexpr int kNetJoinRecordSize = 152;
constexpr int kNetNameSize = 127;          // name field, NUL-terminated: 126 bytes of text
constexpr int kNetDefaultPort = 27013;

enum NetMessageType : int {
    kNetJoin = 1,
    kNetJoinReply = 2,
    kNetData = 3,
    kNetLeave = 4,
    kNetCountRequest = 101,
    kNetIndexRequest = 102,
    kNetNameRequest = 103,
    kNetPing = 104,
};

struct NetHeader {
    int type = 0;
    std::int32_t length = 0;
    std::int32_t target = 0;
    std::int32_t origin = 0;
};

std::int32_t ReadInt32LE(const unsigned char* bytes);
void WriteInt32LE(unsigned char* bytes, std::int32_t value);

// A received message is used only when it holds a whole header with the magic and
// a length that fits the bytes read (so nothing is ever read or written past them).
bool ParseNetMessage(const unsigned char* bytes, int count, NetHeader* header);

// Writes header and payload into out (room for 17 + length bytes); returns the byte
// count, or -1 when the length is negative or over 2048.
int BuildNetMessage(unsigned char* out, int type, std::int32_t target, std::int32_t origin,
                    const void* payload, int length);

// The join record as it travels: socket -1, id -1, hidden, the name NUL-padded to
// 127 bytes, then zeros. The name is cut to 126 bytes.
void EncodeJoinRecord(unsigned char* out, unsigned char hidden, const char* name);

// Reads a join payload; false when it is shorter than the record. The name ends at
// its first NUL within the field and keeps at most 126 bytes.
bool DecodeJoinRecord(const unsigned char* payload, int length, unsigned char* hidden, char* name);

} // namespace corvane
