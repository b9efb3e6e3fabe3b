// Fuzz target: a connection's received bytes, cut into arbitrary chunks, go through
// packet reassembly and message checks. Whatever is accepted must lie inside what
// was received, and a join record must decode to a bounded name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/net/hawknl.h"
#include "runtime/net/net_message.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the chunk size, as a peer's sends may be cut anywhere.
    std::size_t chunk = 1 + data[0] % 64;
    NlPacketStream stream;
    static unsigned char buffer[kNetMessageSize + 1];
    std::size_t received = 0;
    for (std::size_t at = 1; at < size;) {
        std::size_t n = size - at < chunk ? size - at : chunk;
        stream.Append(data + at, n);
        at += n;
        received += n;
        for (;;) {
            NLenum error = NL_NO_ERROR;
            NLint got = stream.Next(buffer, kNetMessageSize, &error);
            if (got == NL_INVALID) {
                if (error == NL_PACKET_SYNC) return 0; // the connection would end here
                if (error == NL_NO_PENDING) break;
                continue;                              // an oversized packet was skipped
            }
            if (got > kNetMessageSize || static_cast<std::size_t>(got) > received) std::abort();
            NetHeader header;
            if (!ParseNetMessage(buffer, got, &header)) continue;
            if (header.length < 0 || kNetHeaderSize + header.length > got) std::abort();
            buffer[kNetHeaderSize + header.length] = 0; // the terminator stays inside the buffer
            if (header.type == kNetJoin) {
                unsigned char hidden;
                char name[kNetNameSize];
                if (DecodeJoinRecord(buffer + kNetHeaderSize, header.length, &hidden, name) &&
                    std::strlen(name) > kNetNameSize - 1)
                    std::abort();
            }
        }
    }
    return 0;
}
