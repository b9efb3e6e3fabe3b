#include "tests/net/net_test_support.h"

#include "tests/support/test_sockets.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tests/support/engine_fixture.h"

namespace corvane::nettest {

using namespace corvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

sockaddr_in Loopback(int port) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

std::int32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return static_cast<std::int32_t>(v);
}

} // namespace

int FreePort() {
    int fd = OpenTcpSocket();
    sockaddr_in a = Loopback(0);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    CloseSocket(fd);
    return ntohs(a.sin_port);
}

std::string Int32(std::int32_t value) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    return s;
}

std::string Msg(int type, std::int32_t length, std::int32_t target, std::int32_t origin, const std::string& payload) {
    return std::string("CRVN") + static_cast<char>(type) + Int32(length) + Int32(target) + Int32(origin) + payload;
}

std::string Msg(int type, std::int32_t target, std::int32_t origin, const std::string& payload) {
    return Msg(type, static_cast<std::int32_t>(payload.size()), target, origin, payload);
}

std::string Frame(const std::string& packet) {
    std::string s = "NL";
    s += static_cast<char>((packet.size() >> 8) & 0xFF);
    s += static_cast<char>(packet.size() & 0xFF);
    return s + packet;
}

std::string JoinRecord(int hidden, const std::string& name) {
    std::string r = Int32(-1) + Int32(-1) + static_cast<char>(hidden);
    std::string field = name.substr(0, 126);
    field.resize(127, '\0');
    r += field;
    r += std::string(1 + 3 + 12, '\0');
    return r;
}

std::int32_t Packet::PayloadInt() const { return payload.size() >= 4 ? Le32(payload, 0) : -999999; }

RawPeer::RawPeer(RawPeer&& other) noexcept : fd(other.fd), buffer_(std::move(other.buffer_)) { other.fd = -1; }

bool RawPeer::Connect(int port) {
    Close();
    fd = OpenTcpSocket();
    if (fd < 0) return false;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    sockaddr_in a = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        Close();
        return false;
    }
    MakeNonBlocking(fd);
    return true;
}

bool RawPeer::Adopt(int socketFd) {
    Close();
    fd = socketFd;
    if (fd >= 0) MakeNonBlocking(fd);
    return fd >= 0;
}

bool RawPeer::SendRaw(const std::string& bytes) {
    std::size_t done = 0;
    auto until = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const auto n = send(fd, bytes.data() + done, static_cast<int>(bytes.size() - done), kNoSignal | kDontWait);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && SocketWouldBlock() && MsLeft(until) > 0) {
            pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLOUT, 0};
            PollSockets(&p, 1, 50);
            continue;
        }
        return false;
    }
    return true;
}

std::optional<Packet> RawPeer::Read(int timeoutMs) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (buffer_.size() >= 4) {
            std::size_t length = (static_cast<unsigned char>(buffer_[2]) << 8) | static_cast<unsigned char>(buffer_[3]);
            if (buffer_[0] != 'N' || buffer_[1] != 'L') return std::nullopt;
            if (buffer_.size() >= 4 + length) {
                Packet p;
                p.bytes = buffer_.substr(0, 4 + length);
                buffer_.erase(0, 4 + length);
                if (length >= 17) {
                    p.type = static_cast<unsigned char>(p.bytes[8]);
                    p.length = Le32(p.bytes, 9);
                    p.target = Le32(p.bytes, 13);
                    p.origin = Le32(p.bytes, 17);
                    p.payload = p.bytes.substr(21);
                }
                return p;
            }
        }
        if (fd < 0) return std::nullopt;
        pollfd pf{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
        int left = MsLeft(until);
        if (PollSockets(&pf, 1, left) <= 0) return std::nullopt;
        char chunk[65536];
        const auto n = recv(fd, chunk, sizeof chunk, kDontWait);
        if (n <= 0) {
            if (n < 0 && SocketWouldBlock()) continue;
            return std::nullopt;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool RawPeer::ClosedWithin(int timeoutMs) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pf{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
        if (PollSockets(&pf, 1, MsLeft(until)) <= 0) return false;
        char chunk[65536];
        const auto n = recv(fd, chunk, sizeof chunk, kDontWait);
        if (n == 0 || (n < 0 && !SocketWouldBlock())) return true;
    }
}

void RawPeer::ShutdownWrite() { shutdown(fd, kShutWrite); }

void RawPeer::Close() {
    if (fd >= 0) CloseSocket(fd);
    fd = -1;
    buffer_.clear();
}

std::int32_t JoinAs(RawPeer& peer, const std::string& name, int hidden, int timeoutMs) {
    if (!peer.Send(Msg(1, 0, 0, JoinRecord(hidden, name)))) return -1;
    auto reply = peer.Read(timeoutMs);
    if (!reply || reply->type != 2 || reply->origin != 0 || reply->length != 0) return -1;
    return reply->target;
}

std::optional<Packet> Ask(RawPeer& peer, int type, std::int32_t requester, const std::string& payload, int timeoutMs) {
    if (!peer.Send(Msg(type, 0, requester, payload))) return std::nullopt;
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto p = peer.Read(MsLeft(until));
        if (!p) return std::nullopt;
        if (p->type == type && p->target == requester && p->origin == 0) return p;
    }
}

RawListener::RawListener(int port) {
    fd = OpenTcpSocket();
#ifndef _WIN32
    // (On Windows the same option would let a second listener share the port.)
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0) {
        CloseSocket(fd);
        fd = -1;
    }
}

RawListener::~RawListener() {
    if (fd >= 0) CloseSocket(fd);
}

bool RawListener::Accept(RawPeer& peer, int timeoutMs) {
    pollfd pf{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
    if (fd < 0 || PollSockets(&pf, 1, timeoutMs) <= 0) return false;
    return peer.Adopt(AcceptSocket(fd));
}

Probe::Probe() : Probe(std::vector<std::string>{testing::BuiltProgram("net_probe")}) {}

Probe::Probe(const std::vector<std::string>& command, const std::vector<std::string>& extraEnv) {
    // The software renderer draws on the calling thread: its worker threads are not
    // what these tests look at, under ThreadSanitizer least of all.
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "LP_NUM_THREADS=0",
                                    "TMPDIR=" + testing::TestTempDir(), "CORVANE_NO_SOFTWARE_GL_BOX=1"};
#ifdef _WIN32
    env[0] = "SDL_VIDEODRIVER=windows";  // SDL's Windows build has no offscreen GL
    const std::vector<std::string> unset;
#else
    const std::vector<std::string> unset = {"DISPLAY"};
#endif
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&name](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(extra);
    }
    if (child_.Start(command, env, unset) && child_.ReadLine(60000) != "ready") child_.Kill();
}

Probe::~Probe() = default;

void Probe::Send(const std::string& line) { child_.Send(line); }

std::string Probe::ReadLine(int timeoutMs) { return child_.ReadLine(timeoutMs); }

std::string Probe::Run(const std::string& line, int timeoutMs) {
    Send(line);
    return ReadLine(timeoutMs);
}

int Probe::Wait(int timeoutMs) { return child_.Wait(timeoutMs); }

} // namespace corvane::nettest
