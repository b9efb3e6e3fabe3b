// Sockets over POSIX: non-blocking TCP/IPv4, poll, and an eventfd as wake-up signal.
#include "runtime/platform/platform_net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace corvane::platform {

namespace {

NetFailure FailureFromErrno(int error) {
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
    case EINPROGRESS:
        return NetFailure::WouldBlock;
    case ECONNRESET:
    case EPIPE:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENOTCONN:
    case ECONNREFUSED:
        return NetFailure::Reset;
    case ECONNABORTED:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case EPROTO:
    case EPERM:
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

void TuneConnected(int fd) {
    // Messages are small and answered at once: no coalescing delay.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

int NetOpenTcp(std::uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = MakeAddress(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool NetListen(int fd) { return fd >= 0 && listen(fd, SOMAXCONN) == 0; }

int NetAccept(int fd, NetFailure* failure) {
    int client = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
        SetFailure(failure, FailureFromErrno(errno));
        return -1;
    }
    TuneConnected(client);
    SetFailure(failure, NetFailure::None);
    return client;
}

bool NetConnect(int fd, std::uint32_t ip, std::uint16_t port, int timeoutMs) {
    if (fd < 0) return false;
    sockaddr_in address = MakeAddress(ip, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return false;
        pollfd entry{fd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&entry, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
    }
    TuneConnected(fd);
    return true;
}

long NetSend(int fd, const void* bytes, long count, NetFailure* failure) {
    long sent = send(fd, bytes, static_cast<size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        SetFailure(failure, FailureFromErrno(errno));
        return -1;
    }
    SetFailure(failure, NetFailure::None);
    return sent;
}

long NetReceive(int fd, void* bytes, long count, NetFailure* failure) {
    long got = recv(fd, bytes, static_cast<size_t>(count), MSG_DONTWAIT);
    if (got < 0) {
        SetFailure(failure, FailureFromErrno(errno));
        return -1;
    }
    SetFailure(failure, got == 0 ? NetFailure::Closed : NetFailure::None);
    return got;
}

void NetClose(int fd) {
    if (fd >= 0) close(fd);
}

bool NetLocalAddress(int fd, std::uint32_t* ip, std::uint16_t* port) {
    sockaddr_in address;
    socklen_t size = sizeof address;
    if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return false;
    if (ip) *ip = ntohl(address.sin_addr.s_addr);
    if (port) *port = ntohs(address.sin_port);
    return true;
}

bool NetPeerAddress(int fd, std::uint32_t* ip, std::uint16_t* port) {
    sockaddr_in address;
    socklen_t size = sizeof address;
    if (fd < 0 || getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return false;
    if (ip) *ip = ntohl(address.sin_addr.s_addr);
    if (port) *port = ntohs(address.sin_port);
    return true;
}

bool NetSetSendBuffer(int fd, int bytes) {
    return fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

bool NetResolveIPv4(const std::string& name, std::uint32_t* ip) {
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
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int count = 0;
    for (ifaddrs* entry = list; entry && count < capacity; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!(entry->ifa_flags & IFF_UP)) continue;
        addresses[count++] = ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    }
    freeifaddrs(list);
    return count;
}

int NetPoll(NetPollEntry* entries, int count, int timeoutMs) {
    std::vector<pollfd> fds(static_cast<size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        fds[i].fd = entries[i].fd >= 0 && (entries[i].wantRead || entries[i].wantWrite) ? entries[i].fd : -1;
        fds[i].events = static_cast<short>((entries[i].wantRead ? POLLIN : 0) | (entries[i].wantWrite ? POLLOUT : 0));
        fds[i].revents = 0;
    }
    int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
    if (ready < 0) ready = 0;
    int found = 0;
    for (int i = 0; i < count; ++i) {
        short events = fds[i].revents;
        bool broken = (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        entries[i].readable = entries[i].wantRead && ((events & POLLIN) || broken);
        entries[i].writable = entries[i].wantWrite && ((events & POLLOUT) || broken);
        if (entries[i].readable || entries[i].writable) ++found;
    }
    return found;
}

int NetCreateWakeSignal() { return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void NetRaiseWakeSignal(int fd) {
    if (fd < 0) return;
    std::uint64_t one = 1;
    ssize_t written = write(fd, &one, sizeof one);
    (void)written;
}

void NetClearWakeSignal(int fd) {
    if (fd < 0) return;
    std::uint64_t value;
    ssize_t got = read(fd, &value, sizeof value);
    (void)got;
}

} // namespace corvane::platform
