// The socket layer the network session is written against, under the names and
// numbers HawkNL peers know: reliable-packet TCP sockets (each nlWrite is one
// packet, each nlRead returns one whole packet or nothing), socket groups, address
// helpers, per-thread error numbers, threads and mutexes.
//
// On the wire every packet is 'N' 'L', its length as u16 big-endian, then the
// packet. All sockets are non-blocking. nlWrite never blocks and never sends part
// of a packet: what the kernel cannot take now waits in the socket's outgoing
// buffer (up to 256 KiB; further packets are refused whole) and is flushed by the
// next write or by nlWaitSockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

using NLint = std::int32_t;
using NLuint = std::uint32_t;
using NLushort = std::uint16_t;
using NLenum = std::int32_t;
using NLboolean = std::int32_t;
using NLsocket = std::int32_t;

struct NLaddress {
    std::uint32_t ip = 0;      // IPv4, host byte order
    std::uint16_t port = 0;
    NLboolean valid = 0;
};

constexpr NLboolean NL_FALSE = 0;
constexpr NLboolean NL_TRUE = 1;
constexpr NLint NL_INVALID = -1;

constexpr NLenum NL_IP = 3;                  // network type
constexpr NLenum NL_RELIABLE_PACKETS = 0x11; // connection type: TCP carrying whole packets
constexpr NLenum NL_READ_STATUS = 0x50;      // nlPollGroup: sockets with something to read

constexpr NLint kNlMaxPacket = 16384;        // longest packet on the wire
constexpr long kNlOutgoingLimit = 256 * 1024; // bytes a socket may hold back for a slow peer

// Error numbers (nlGetError).
constexpr NLenum NL_NO_ERROR = 0;
constexpr NLenum NL_INVALID_ENUM = 0x102;
constexpr NLenum NL_INVALID_SOCKET = 0x103;
constexpr NLenum NL_INVALID_PORT = 0x104;
constexpr NLenum NL_INVALID_TYPE = 0x105;
constexpr NLenum NL_SYSTEM_ERROR = 0x106;    // 262
constexpr NLenum NL_SOCK_DISCONNECT = 0x107; // 263: the connection broke
constexpr NLenum NL_NOT_LISTEN = 0x108;      // 264
constexpr NLenum NL_CON_REFUSED = 0x109;
constexpr NLenum NL_NO_PENDING = 0x10A;      // 266: nothing to read or accept now
constexpr NLenum NL_BAD_ADDR = 0x10B;
constexpr NLenum NL_MESSAGE_END = 0x10C;     // 268: the peer closed the connection
constexpr NLenum NL_NULL_POINTER = 0x10D;
constexpr NLenum NL_INVALID_GROUP = 0x10E;
constexpr NLenum NL_BUFFER_SIZE = 0x111;     // the packet does not fit the reader's buffer / the peer's backlog is full
constexpr NLenum NL_PACKET_SIZE = 0x112;     // a packet over 16384 bytes
constexpr NLenum NL_PACKET_SYNC = 0x116;     // the stream lost its framing; the connection is closed

// ==== library ====================================================================
NLboolean nlInit();                                   // ready the layer (idempotent)
NLboolean nlSelectNetwork(NLenum network);            // only NL_IP is offered
NLenum nlGetError();                                  // the calling thread's last error

// ==== sockets ====================================================================
NLsocket nlOpen(NLushort port, NLenum type);          // TCP on every interface, address reuse; NL_INVALID on failure
NLboolean nlListen(NLsocket socket);                  // start accepting
NLsocket nlAcceptConnection(NLsocket socket);         // a pending connection, or NL_INVALID (NL_NO_PENDING when none)
NLboolean nlConnect(NLsocket socket, const NLaddress* address); // gives up after 5 s
NLint nlRead(NLsocket socket, void* buffer, NLint nbytes);       // one whole packet's length, or NL_INVALID
NLint nlWrite(NLsocket socket, const void* buffer, NLint nbytes);// nbytes when the packet is taken whole, else NL_INVALID
// The same, but the packet goes out before every packet held back for the peer that
// has not begun to go out (after those written this way before it): answers that
// must not wait behind a backlog of forwarded data.
NLint nlWriteFirst(NLsocket socket, const void* buffer, NLint nbytes);
NLboolean nlClose(NLsocket socket);                   // close and forget the socket

// ==== addresses ==================================================================
NLboolean nlGetLocalAddr(NLsocket socket, NLaddress* address);  // bound address (this machine's loopback when bound to all)
NLboolean nlGetRemoteAddr(NLsocket socket, NLaddress* address); // the address of the other end
NLboolean nlSetAddrPort(NLaddress* address, NLushort port);     // set the port
NLboolean nlGetAddrFromName(const char* name, NLaddress* address); // dotted text or host name
NLaddress* nlGetAllLocalAddr(NLint* count);           // IPv4 addresses of the interfaces that are up (per thread)
char* nlAddrToString(const NLaddress* address, char* string);    // "a.b.c.d", ":port" added when the port is not 0

// ==== groups =====================================================================
NLint nlGroupCreate();                                // a new empty group, NL_INVALID when none left
NLboolean nlGroupDestroy(NLint group);                // forget the group (its sockets stay open)
NLboolean nlGroupAddSocket(NLint group, NLsocket socket);
NLboolean nlGroupDeleteSocket(NLint group, NLsocket socket);
NLint nlPollGroup(NLint group, NLenum name, NLsocket* sockets, NLint number, NLint timeout); // ready sockets in group order

// ==== waiting and flushing (this layer's own additions) =========================
// Waits until one of sockets can be read, a held-back write of sockets or writeOnly
// can go on (it is sent), or nlWake. ready (count entries, may be null) tells which
// of sockets can be read (or accepted from) now.
NLint nlWaitSockets(const NLsocket* sockets, NLint count, NLint timeoutMs, const NLsocket* writeOnly = nullptr,
                    NLint writeOnlyCount = 0, NLboolean* ready = nullptr);
void nlWake();                                        // ends a waiting nlWaitSockets early
void nlHoldWrites(NLboolean hold);                    // while held, this thread's packets are only queued; releasing sends them, one system call per socket
NLboolean nlFlush(NLsocket socket, NLint timeoutMs);  // send held-back bytes, waiting at most timeoutMs; true when none are left
NLint nlPendingBytes(NLsocket socket);                // bytes held back for the peer
NLint nlStalledMs(NLsocket socket);
// Caps what the system itself holds for the peer, so that a backlog waits here,
// where packets written first can still overtake it.
NLboolean nlSetSendBuffer(NLsocket socket, NLint bytes);
// After a read: whether another nlRead may find something without waiting (a packet
// is held, the last receive filled its buffer, or the end is known).
NLboolean nlMoreToRead(NLsocket socket);                   // ms since held-back bytes last moved; 0 when none wait

// How far a stream's bytes make a packet: more bytes are needed, a whole packet of
// *length bytes follows the 4-byte frame, or the framing is lost (not 'N' 'L', or
// a length over 16384).
enum class NlFrame { NeedMore, Ready, Lost };
NlFrame nlFramePacket(const unsigned char* bytes, std::size_t have, std::size_t* length);

// A received byte stream cut into packets: what nlRead hands out, one at a time.
struct NlPacketStream {
    std::vector<unsigned char> bytes;  // received, not yet handed out from `start` on
    std::size_t start = 0;

    void Append(const unsigned char* data, std::size_t count);
    bool Ready() const;                // a packet (or a framing fault) can be taken now
    // Takes the next packet: its length when it fitted into buffer (nbytes); 0 bytes
    // more are needed: NL_INVALID with *error NL_NO_PENDING; a packet longer than
    // nbytes is skipped whole (NL_BUFFER_SIZE); lost framing is NL_PACKET_SYNC and
    // everything held is dropped.
    NLint Next(void* buffer, NLint nbytes, NLenum* error);
    void Clear();
};

// ==== threads and mutexes ========================================================
using HThreadFunc = void* (*)(void*);
struct HTmutexRecord;
using HTmutex = HTmutexRecord*;

NLint htThreadCreate(HThreadFunc function, void* data, NLboolean joinable); // 0, or NL_INVALID; joinable is ignored (always detached)
void htThreadSleep(NLint milliseconds);
NLint htMutexInit(HTmutex* mutex);                    // 0 on success
NLint htMutexLock(HTmutex* mutex);
NLint htMutexUnlock(HTmutex* mutex);
NLint htMutexDestroy(HTmutex* mutex);                 // frees it; the handle becomes null

} // namespace corvane
