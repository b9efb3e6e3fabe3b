// Sockets over Winsock 2: non-blocking TCP/IPv4, WSAPoll, and a loopback UDP
// socket that sends to itself as the wake-up signal. Socket handles travel as
// int (Windows hands out small multiples of four).
#include "runtime/platform/platform_net.h"
#include "runtime/platform/platform_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace corvane::platform {

namespace {

// Winsock is started once for the process and left running until it ends.
bool Started() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET S(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }

int Fd(SOCKET s) {
    // A handle beyond int cannot travel through the seam's descriptors.
    if (s == INVALID_SOCKET || s > static_cast<SOCKET>(0x7FFFFFFF)) {
        if (s != INVALID_SOCKET) closesocket(s);
        return -1;
    }
    return static_cast<int>(s);
}

NetFailure FailureFromError(int error) {
    switch (error) {
    case WSAEWOULDBLOCK:
    case WSAEINTR:
    case WSAEINPROGRESS:
    case WSAEALREADY:
        return NetFailure::WouldBlock;
    case WSAECONNRESET:
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAENETRESET:
    case WSAENOTCONN:
    case WSAECONNREFUSED:
    case WSAESHUTDOWN:
        return NetFailure::Reset;
    case WSAECONNABORTED:
    case WSAEMFILE:
    case WSAENOBUFS:
    case WSAEACCES:
        return NetFailure::Transient;
    default:
        return NetFailure::Fatal;
    }
}

void SetFailure(NetFailure* failure, NetFailure value) {
    if (failure) *failure = value;
}

sockaddr_in MakeAddress(std::uint32_t ip, std::uint16_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ip);
    address.sin_port = htons(port);
    return address;
}

bool MakeNonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

void TuneConnected(SOCKET s) {
    // Messages are small and answered at once: no coalescing delay.
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

} // namespace

int NetOpenTcp(std::uint16_t port) {
    if (!Started()) return -1;
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return -1;
    // Windows rebinds a port in TIME_WAIT by itself; SO_REUSEADDR there would let
    // another program take a port in use, so the port is claimed exclusively.
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address = MakeAddress(INADDR_ANY, port);
    if (!MakeNonBlocking(s) || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return -1;
    }
    return Fd(s);
}

bool NetListen(int fd) { return fd >= 0 && listen(S(fd), SOMAXCONN) == 0; }

int NetAccept(int fd, NetFailure* failure) {
    SOCKET client = accept(S(fd), nullptr, nullptr);
    if (client == INVALID_SOCKET) {
        SetFailure(failure, FailureFromError(WSAGetLastError()));
        return -1;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(client), HANDLE_FLAG_INHERIT, 0);
    MakeNonBlocking(client);
    TuneConnected(client);
    SetFailure(failure, NetFailure::None);
    return Fd(client);
}

bool NetConnect(int fd, std::uint32_t ip, std::uint16_t port, int timeoutMs) {
    if (fd < 0) return false;
    SOCKET s = S(fd);
    sockaddr_in address = MakeAddress(ip, port);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return false;
        // select rather than WSAPoll: WSAPoll does not report a refused connect on
        // every Windows version; a refusal shows in the exception set here.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int ready = select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
        if (ready <= 0 || FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) return false;
        int soError = 0;
        int size = sizeof soError;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size) != 0 || soError != 0)
            return false;
    }
    TuneConnected(s);
    return true;
}

long NetSend(int fd, const void* bytes, long count, NetFailure* failure) {
    int sent = send(S(fd), static_cast<const char*>(bytes), static_cast<int>(count), 0);
    if (sent == SOCKET_ERROR) {
        SetFailure(failure, FailureFromError(WSAGetLastError()));
        return -1;
    }
    SetFailure(failure, NetFailure::None);
    return sent;
}

long NetReceive(int fd, void* bytes, long count, NetFailure* failure) {
    int got = recv(S(fd), static_cast<char*>(bytes), static_cast<int>(count), 0);
    if (got == SOCKET_ERROR) {
        SetFailure(failure, FailureFromError(WSAGetLastError()));
        return -1;
    }
    SetFailure(failure, got == 0 ? NetFailure::Closed : NetFailure::None);
    return got;
}

void NetClose(int fd) {
    if (fd >= 0) closesocket(S(fd));
}

bool NetLocalAddress(int fd, std::uint32_t* ip, std::uint16_t* port) {
    sockaddr_in address;
    int size = sizeof address;
    if (fd < 0 || getsockname(S(fd), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return false;
    if (ip) *ip = ntohl(address.sin_addr.s_addr);
    if (port) *port = ntohs(address.sin_port);
    return true;
}

bool NetPeerAddress(int fd, std::uint32_t* ip, std::uint16_t* port) {
    sockaddr_in address;
    int size = sizeof address;
    if (fd < 0 || getpeername(S(fd), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return false;
    if (ip) *ip = ntohl(address.sin_addr.s_addr);
    if (port) *port = ntohs(address.sin_port);
    return true;
}

bool NetSetSendBuffer(int fd, int bytes) {
    return fd >= 0 &&
           setsockopt(S(fd), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

bool NetResolveIPv4(const std::string& name, std::uint32_t* ip) {
    if (!Started()) return false;
    in_addr numeric;
    if (inet_pton(AF_INET, name.c_str(), &numeric) == 1) {
        *ip = ntohl(numeric.s_addr);
        return true;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    bool ok = false;
    for (addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            *ip = ntohl(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
            ok = true;
            break;
        }
    }
    freeaddrinfo(found);
    return ok;
}

int NetInterfaceAddresses(std::uint32_t* addresses, int capacity) {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return 0;
    int count = 0;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter && count < capacity;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast && count < capacity; unicast = unicast->Next) {
            const sockaddr* a = unicast->Address.lpSockaddr;
            if (!a || a->sa_family != AF_INET) continue;
            addresses[count++] = ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr);
        }
    }
    return count;
}

int NetPoll(NetPollEntry* entries, int count, int timeoutMs) {
    // WSAPoll refuses unusable entries and an empty set: only the live ones go in.
    std::vector<WSAPOLLFD> fds;
    std::vector<int> which;
    for (int i = 0; i < count; ++i) {
        entries[i].readable = entries[i].writable = false;
        if (entries[i].fd < 0 || !(entries[i].wantRead || entries[i].wantWrite)) continue;
        WSAPOLLFD p;
        p.fd = S(entries[i].fd);
        p.events = static_cast<SHORT>((entries[i].wantRead ? POLLRDNORM : 0) | (entries[i].wantWrite ? POLLWRNORM : 0));
        p.revents = 0;
        fds.push_back(p);
        which.push_back(i);
    }
    if (fds.empty()) {
        if (timeoutMs > 0) Sleep(static_cast<DWORD>(timeoutMs));
        return 0;
    }
    if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs) <= 0) return 0;
    int found = 0;
    for (std::size_t k = 0; k < fds.size(); ++k) {
        NetPollEntry& e = entries[which[k]];
        SHORT events = fds[k].revents;
        // A closed peer shows as POLLHUP alone on Windows: it reads as the end.
        bool broken = (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        e.readable = e.wantRead && ((events & POLLRDNORM) || broken);
        e.writable = e.wantWrite && ((events & POLLWRNORM) || broken);
        if (e.readable || e.writable) ++found;
    }
    return found;
}

int NetCreateWakeSignal() {
    if (!Started()) return -1;
    SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return -1;
    sockaddr_in address = MakeAddress(INADDR_LOOPBACK, 0);
    int size = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !MakeNonBlocking(s)) {
        closesocket(s);
        return -1;
    }
    return Fd(s);
}

void NetRaiseWakeSignal(int fd) {
    if (fd < 0) return;
    char one = 1;
    send(S(fd), &one, 1, 0);
}

void NetClearWakeSignal(int fd) {
    if (fd < 0) return;
    char buffer[64];
    while (recv(S(fd), buffer, sizeof buffer, 0) > 0) {
    }
}

} // namespace corvane::platform
