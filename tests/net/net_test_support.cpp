#include "tests/net/net_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tests/support/engine_fixture.h"

extern char** environ;

namespace corvane::nettest {

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
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
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
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        Close();
        return false;
    }
    return true;
}

bool RawPeer::Adopt(int socketFd) {
    Close();
    fd = socketFd;
    return fd >= 0;
}

bool RawPeer::SendRaw(const std::string& bytes) {
    std::size_t done = 0;
    auto until = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && MsLeft(until) > 0) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 50);
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
        pollfd pf{fd, POLLIN, 0};
        int left = MsLeft(until);
        if (poll(&pf, 1, left) <= 0) return std::nullopt;
        char chunk[65536];
        ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            return std::nullopt;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool RawPeer::ClosedWithin(int timeoutMs) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pf{fd, POLLIN, 0};
        if (poll(&pf, 1, MsLeft(until)) <= 0) return false;
        char chunk[65536];
        ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
}

void RawPeer::ShutdownWrite() { shutdown(fd, SHUT_WR); }

void RawPeer::Close() {
    if (fd >= 0) close(fd);
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
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0) {
        close(fd);
        fd = -1;
    }
}

RawListener::~RawListener() {
    if (fd >= 0) close(fd);
}

bool RawListener::Accept(RawPeer& peer, int timeoutMs) {
    pollfd pf{fd, POLLIN, 0};
    if (fd < 0 || poll(&pf, 1, timeoutMs) <= 0) return false;
    int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    return peer.Adopt(client);
}

Probe::Probe() {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::string program = testing::BuiltProgram("net_probe");
    std::string tmp = "TMPDIR=" + testing::TestTempDir();
    // The software renderer draws on the calling thread: its worker threads are not
    // what these tests look at, under ThreadSanitizer least of all.
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "LP_NUM_THREADS=0", tmp};
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("SDL_VIDEODRIVER=", 0) && entry.rfind("SDL_AUDIODRIVER=", 0) && entry.rfind("TMPDIR=", 0) &&
            entry.rfind("DISPLAY=", 0) && entry.rfind("LP_NUM_THREADS=", 0))
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {program.data(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    if (pid_ > 0 && ReadLine(15000) != "ready") {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

Probe::~Probe() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    if (pid_ > 0) Wait(5000);
    if (out_ >= 0) close(out_);
}

void Probe::Send(const std::string& line) {
    std::string l = line + "\n";
    if (in_ >= 0) {
        ssize_t n = write(in_, l.data(), l.size());
        (void)n;
    }
}

std::string Probe::ReadLine(int timeoutMs) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        pollfd pf{out_, POLLIN, 0};
        if (out_ < 0 || poll(&pf, 1, MsLeft(until)) <= 0) return "<timeout>";
        char chunk[4096];
        ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return "<closed>";
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string Probe::Run(const std::string& line, int timeoutMs) {
    Send(line);
    return ReadLine(timeoutMs);
}

int Probe::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (MsLeft(until) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace corvane::nettest
