// Sockets: the thin TCP/IPv4 service the network layer is built on. Every socket
// is non-blocking; nothing here raises SIGPIPE. Addresses are IPv4 numbers in host
// byte order (127.0.0.1 is 0x7F000001).
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// Why a call failed, as far as callers need to tell.
enum class NetFailure {
    None,
    WouldBlock,        // nothing to do now; try again later
    Closed,            // the peer closed the connection (orderly)
    Reset,             // the connection broke
    Transient,         // this one operation failed (an aborted connection, out of descriptors)
    Fatal,             // the socket itself is unusable
};

// ---- sockets
int NetOpenTcp(std::uint16_t port);                 // bound to every interface, address reuse on; -1 on failure
bool NetListen(int fd);                             // start accepting
int NetAccept(int fd, NetFailure* failure);         // a new connected socket, or -1 with the reason
bool NetConnect(int fd, std::uint32_t ip, std::uint16_t port, int timeoutMs); // false after the time limit or refusal
long NetSend(int fd, const void* bytes, long count, NetFailure* failure);    // bytes taken (maybe fewer), or -1
long NetReceive(int fd, void* bytes, long count, NetFailure* failure);       // bytes read, 0 at the peer's end, -1 otherwise
void NetClose(int fd);                              // close; -1 is ignored
bool NetLocalAddress(int fd, std::uint32_t* ip, std::uint16_t* port);        // the address the socket is bound to
bool NetPeerAddress(int fd, std::uint32_t* ip, std::uint16_t* port);         // the address of the other end
bool NetSetSendBuffer(int fd, int bytes);           // the system's send buffer for the socket (no growing beyond it)

// ---- names and interfaces
bool NetResolveIPv4(const std::string& name, std::uint32_t* ip);            // dotted text or a host name
int NetInterfaceAddresses(std::uint32_t* addresses, int capacity);          // IPv4 of the interfaces that are up, in system order

// ---- waiting
struct NetPollEntry {
    int fd = -1;
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;     // data, the peer's end or an error is waiting
    bool writable = false;
};
// Waits up to timeoutMs (0: just look) until one entry is ready; returns how many are.
int NetPoll(NetPollEntry* entries, int count, int timeoutMs);

// A wake-up signal another thread can raise to end a NetPoll early.
int NetCreateWakeSignal();                          // a descriptor to poll for reading; -1 on failure
void NetRaiseWakeSignal(int fd);                    // makes it readable
void NetClearWakeSignal(int fd);                    // reads it empty

} // namespace corvane::platform
