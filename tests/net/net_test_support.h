// Test peers written from the wire tables, not from the runtime's encoder: raw
// TCP sockets on 127.0.0.1, framed packets, bounded waits; and net_probe processes
// driven line by line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace corvane::nettest {

// A port nobody listens on right now.
int FreePort();

// "CRVN", type, then length / target / origin as little-endian int32, then payload.
std::string Msg(int type, std::int32_t length, std::int32_t target, std::int32_t origin,
                const std::string& payload = "");
// The same with length = payload size.
std::string Msg(int type, std::int32_t target, std::int32_t origin, const std::string& payload = "");
// 'N' 'L', u16 big-endian length, the packet.
std::string Frame(const std::string& packet);
// The 152-byte join record.
std::string JoinRecord(int hidden, const std::string& name);
std::string Int32(std::int32_t value);

struct Packet {
    std::string bytes;          // the whole packet as framed (4 + its length)
    int type = -1;
    std::int32_t length = 0, target = 0, origin = 0;
    std::string payload;
    std::int32_t PayloadInt() const;
};

class RawPeer {
public:
    RawPeer() = default;
    explicit RawPeer(int port) { Connect(port); }
    ~RawPeer() { Close(); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;
    RawPeer(RawPeer&& other) noexcept;

    bool Connect(int port);
    bool Adopt(int fd);                                   // an accepted socket
    bool SendRaw(const std::string& bytes);
    bool Send(const std::string& message) { return SendRaw(Frame(message)); }
    // The next packet within timeoutMs; checks its framing length against the header.
    std::optional<Packet> Read(int timeoutMs);
    // Answers the next packet with the same type (join, request...), within the time.
    bool ClosedWithin(int timeoutMs);                     // the other side closed (or reset)
    void ShutdownWrite();
    void Close();
    int fd = -1;
    int receiveBuffer = 0;                                // set before Connect: a small window, as a slow reader's

private:
    std::string buffer_;
};

// Joins through peer and returns the id the host assigns (-1 on no reply).
std::int32_t JoinAs(RawPeer& peer, const std::string& name, int hidden = 0, int timeoutMs = 2000);
// Sends a request and returns its reply (same type, target = requester), if any.
std::optional<Packet> Ask(RawPeer& peer, int type, std::int32_t requester, const std::string& payload = "",
                          int timeoutMs = 2000);

// A raw listening socket on 127.0.0.1 for tests that play the host.
class RawListener {
public:
    explicit RawListener(int port);
    ~RawListener();
    bool Accept(RawPeer& peer, int timeoutMs);
    int fd = -1;
};

// A net_probe process with its standard input and output as pipes.
class Probe {
public:
    Probe();
    // Another build's probe, or one started through a runner (wine net_probe.exe).
    Probe(const std::vector<std::string>& command, const std::vector<std::string>& extraEnv = {});
    ~Probe();
    bool started() const { return child_.running(); }
    // Sends one command line and returns the printed result ("<timeout>" after the limit).
    std::string Run(const std::string& line, int timeoutMs = 15000);
    void Send(const std::string& line);
    std::string ReadLine(int timeoutMs);
    // Exit status after the process ends within timeoutMs (killed otherwise: -1).
    int Wait(int timeoutMs);

private:
    testing::ChildProcess child_;
};

// Polls a condition every 5 ms until it holds or the time is up.
template <typename F>
bool Eventually(F condition, int timeoutMs);

} // namespace corvane::nettest

#include <chrono>
#include <thread>
namespace corvane::nettest {
template <typename F>
bool Eventually(F condition, int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
} // namespace corvane::nettest
