// Test support: the BSD socket calls the network tests use, on POSIX and on
// Winsock alike. Sockets are plain ints here (Winsock's handles fit in one).
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The build names these for GL/gl.h; windows.h gives them their own way.
#undef WINGDIAPI
#undef APIENTRY
#include <winsock2.h>
#include <ws2tcpip.h>
// windows.h's names for its A/W pairs would rename the runtime's calls of the same names.
#undef SetCurrentDirectory
#undef GetCurrentDirectory
#undef CopyFile
#undef DeleteFile
#undef CreateDirectory
#undef LoadImage
#undef DrawText
#undef PlaySound
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace corvane::testing {

using ::socklen_t;

#ifdef _WIN32
// Test sockets are made non-blocking (MakeNonBlocking) instead of a per-call flag.
inline constexpr int kDontWait = 0;
inline constexpr int kNoSignal = 0;
inline constexpr int kShutWrite = SD_SEND;
inline bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
inline int OpenTcpSocket() {
    StartSockets();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
inline void MakeNonBlocking(int fd) {
    u_long on = 1;
    ioctlsocket(static_cast<SOCKET>(fd), FIONBIO, &on);
}
inline int CloseSocket(int fd) { return closesocket(static_cast<SOCKET>(fd)); }
inline int PollSockets(pollfd* fds, unsigned long count, int timeoutMs) { return WSAPoll(fds, count, timeoutMs); }
// The last call would have blocked (or was interrupted): try again.
inline bool SocketWouldBlock() {
    const int e = WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINTR || e == WSAEINPROGRESS;
}
inline int AcceptSocket(int fd) {
    const SOCKET s = accept(static_cast<SOCKET>(fd), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
#else
inline constexpr int kDontWait = MSG_DONTWAIT;
inline constexpr int kNoSignal = MSG_NOSIGNAL;
inline constexpr int kShutWrite = SHUT_WR;
inline bool StartSockets() { return true; }
inline int OpenTcpSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
inline void MakeNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }
inline int CloseSocket(int fd) { return close(fd); }
inline int PollSockets(pollfd* fds, unsigned long count, int timeoutMs) {
    return poll(fds, static_cast<nfds_t>(count), timeoutMs);
}
inline bool SocketWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
inline int AcceptSocket(int fd) { return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
#endif

} // namespace corvane::testing
