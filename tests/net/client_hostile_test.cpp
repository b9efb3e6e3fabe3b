// A client against hosts written by the test, and a host under hostile peers.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#endif

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "runtime/net/net_internal.h"
#include "runtime/net/net_session.h"
#include "tests/net/net_test_support.h"
#include "tests/support/test_sockets.h"

using namespace corvane;
using namespace corvane::nettest;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class NetPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitNetwork();
    }
    void TearDown() override { ReleaseNetwork(); }
};

// Plays the host's side of the join handshake on an accepted connection and
// records what arrived.
struct FakeHost {
    RawListener listener;
    RawPeer conn;
    std::vector<Packet> seen;
    explicit FakeHost(int port) : listener(port) {}
    std::optional<Packet> Expect(int timeoutMs = 6000) {
        auto p = conn.Read(timeoutMs);
        if (p) seen.push_back(*p);
        return p;
    }
};

TEST_F(NetPeerTest, ClientHandshakeByteForByte) {
    int port = FreePort();
    FakeHost host(port);
    std::string early;
    std::thread script([&] {
        if (!host.listener.Accept(host.conn, 5000)) return;
        if (!host.Expect()) return;                          // probe join
        host.conn.Send(Msg(2, 101, 0));
        if (!host.Expect()) return;                          // ping
        host.conn.Send(Msg(104, 101, 0, Int32(1)));
        host.Expect();                                       // probe leave
        if (!host.Expect()) return;                          // carol's join
        host.conn.Send(Msg(2, 102, 0));
    });
    EXPECT_EQ(JoinGame(RtString("127.0.0.1"), RtString(std::to_string(port).c_str())), 1.0);
    EXPECT_EQ(std::string(CreatePlayer(RtString("carol")).Buffer()), "102");
    script.join();
    ASSERT_EQ(host.seen.size(), 4u);
    EXPECT_EQ(host.seen[0].bytes, Frame(Msg(1, 0, 0, JoinRecord(1, ""))));
    EXPECT_EQ(host.seen[1].bytes, Frame(Msg(104, 0, 101)));
    EXPECT_EQ(host.seen[2].bytes, Frame(Msg(4, 0, 101)));
    EXPECT_EQ(host.seen[3].bytes, Frame(Msg(1, 0, 0, JoinRecord(0, "carol"))));

    // Requests go out under carol's id (the probe is gone); replies for others are ignored.
    std::thread answer([&] {
        auto request = host.Expect();
        if (!request) return;
        host.conn.Send(Msg(101, 101, 0, Int32(50))); // for the dead probe
        host.conn.Send(Msg(102, 102, 0, Int32(51))); // wrong type
        host.conn.Send(Msg(101, 102, 0, Int32(7)));
    });
    EXPECT_EQ(GetPlayerCount(), 7.0);
    answer.join();
    ASSERT_EQ(host.seen.size(), 5u);
    EXPECT_EQ(host.seen[4].bytes, Frame(Msg(101, 0, 102)));

    // Data to carol, broadcasts from her own id and from others, forged join replies.
    host.conn.Send(Msg(3, 102, 9, "one"));
    host.conn.Send(Msg(3, -1, 102, "own echo"));
    host.conn.Send(Msg(2, 555, 0));
    host.conn.Send(Msg(3, -1, 9, "two"));
    host.conn.Send(Msg(3, 555, 9, "nobody"));
    std::string text;
    std::vector<std::string> got;
    EXPECT_TRUE(Eventually([&] {
        while ((text = GetNetMessage(RtString("102")).Buffer()) != "") got.push_back(text);
        return got.size() >= 2;
    }, 3000));
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(std::string(GetNetMessage(RtString("555")).Buffer()), "");
    EXPECT_EQ(SendNetMessage(RtString("102"), RtString("0"), RtString("hi")), 1.0);
    auto sent = host.Expect(2000);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->bytes, Frame(Msg(3, -1, 102, "hi")));
}

TEST_F(NetPeerTest, JoinCountsOnlyAWholePingReply) {
    struct Case {
        std::string payload;
        double result;
    } cases[] = {{"", 0.0}, {"ab", 0.0}, {Int32(1), 1.0}};
    for (const Case& c : cases) {
        int port = FreePort();
        FakeHost host(port);
        std::thread script([&] {
            if (!host.listener.Accept(host.conn, 5000)) return;
            if (!host.Expect()) return;                  // probe join
            host.conn.Send(Msg(2, 101, 0));
            if (!host.Expect()) return;                  // ping
            host.conn.Send(Msg(104, 101, 0, c.payload));
            host.Expect(2000);                           // probe leave
        });
        EXPECT_EQ(JoinGame(RtString("127.0.0.1"), RtString(std::to_string(port).c_str())), c.result)
            << c.payload.size() << "-byte reply";
        script.join();
    }
}

TEST_F(NetPeerTest, SilentHostAndLateReply) {
    int port = FreePort();
    FakeHost host(port);
    std::thread script([&] {
        if (!host.listener.Accept(host.conn, 5000)) return;
        host.Expect();
        host.conn.Send(Msg(2, 101, 0));
        host.Expect();
        host.conn.Send(Msg(104, 101, 0, Int32(1)));
        host.Expect();
        host.Expect(); // a join that gets no answer in time
    });
    ASSERT_EQ(JoinGame(RtString(""), RtString(std::to_string(port).c_str())), 1.0);
    auto start = Clock::now();
    EXPECT_EQ(std::string(CreatePlayer(RtString("late")).Buffer()), "-1");
    double waited = Seconds(start);
    EXPECT_GT(waited, 4.5);
    EXPECT_LT(waited, 7.0);
    script.join();
    ASSERT_EQ(host.seen.size(), 4u);
    // The answer arrives after all: the abandoned record tells the host to forget it.
    host.conn.Send(Msg(2, 150, 0));
    auto leave = host.Expect(2000);
    ASSERT_TRUE(leave);
    EXPECT_EQ(leave->bytes, Frame(Msg(4, 0, 150)));
    // The next player gets its own id, not the late one.
    std::thread next([&] {
        if (host.Expect()) host.conn.Send(Msg(2, 151, 0));
    });
    EXPECT_EQ(std::string(CreatePlayer(RtString("next")).Buffer()), "151");
    next.join();
}

TEST_F(NetPeerTest, GarbageOrAbsentHostFailsInTime) {
    int port = FreePort();
    {
        FakeHost host(port);
        std::thread script([&] {
            if (host.listener.Accept(host.conn, 5000)) host.conn.SendRaw("garbage, not a packet stream");
        });
        auto start = Clock::now();
        EXPECT_EQ(JoinGame(RtString("127.0.0.1"), RtString(std::to_string(port).c_str())), 0.0);
        EXPECT_LT(Seconds(start), 11.0);
        script.join();
    }
    // Nobody listening: refused at once; an unknown name: no address (as fast as
    // the machine's resolver says so).
    auto start = Clock::now();
    EXPECT_EQ(JoinGame(RtString("127.0.0.1"), RtString(std::to_string(port).c_str())), 0.0);
    EXPECT_LT(Seconds(start), 2.0);
    EXPECT_EQ(JoinGame(RtString("no-such-host.invalid"), RtString("1")), 0.0);
    EXPECT_EQ(JoinGame(RtString("127.0.0.1"), RtString("65536")), 0.0);
}

// ---- a host under hostile input ------------------------------------------------------

struct Hostile {
    const char* name;
    std::function<void(int port, std::vector<RawPeer>& keep)> act;
};

TEST_F(NetPeerTest, HostSurvivesHostileInput) {
    int port = FreePort();
    ASSERT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0);
    RawPeer good(port);
    std::int32_t id = JoinAs(good, "good");
    ASSERT_EQ(id, 101);

    auto sendAll = [](int port, std::vector<RawPeer>& keep, const std::string& raw) {
        keep.emplace_back(port);
        keep.back().SendRaw(raw);
    };
    std::vector<Hostile> cases = {
        {"garbage", [&](int p, auto& k) { sendAll(p, k, "GET / HTTP/1.0\r\n\r\n"); }},
        {"huge length in 20 bytes", [&](int p, auto& k) { sendAll(p, k, Frame(Msg(3, 1000000, 101, 5, "abc"))); }},
        {"negative length", [&](int p, auto& k) { sendAll(p, k, Frame(Msg(3, -5, 101, 5, "abc"))); }},
        {"3000-byte packet", [&](int p, auto& k) { sendAll(p, k, Frame(Msg(3, 101, 5, std::string(2983, 'x')))); }},
        {"20000-byte packet", [&](int p, auto& k) {
             std::string big = Msg(3, 101, 5, std::string(19983, 'x'));
             sendAll(p, k, std::string("NL") + char(big.size() >> 8) + char(big.size() & 255) + big);
         }},
        {"empty packets", [&](int p, auto& k) { sendAll(p, k, Frame("") + Frame("") + Frame("CRV")); }},
        {"odd types", [&](int p, auto& k) {
             std::string raw;
             for (int type : {0, 5, 99, 200, 255}) raw += Frame(Msg(type, 0, 101));
             sendAll(p, k, raw);
         }},
        {"short join and requests", [&](int p, auto& k) {
             sendAll(p, k, Frame(Msg(1, 0, 0, std::string(151, 'j'))));
             std::int32_t mine = JoinAs(k.back(), "short");
             EXPECT_GT(mine, 101) << "the short join got no id";
             k.back().SendRaw(Frame(Msg(102, 0, mine)) + Frame(Msg(103, 0, mine, "ab")));
             EXPECT_FALSE(k.back().Read(300)) << "short requests are not answered";
         }},
        {"forged replies", [&](int p, auto& k) {
             sendAll(p, k, Frame(Msg(2, 101, 0)) + Frame(Msg(104, 101, 0, Int32(1))) + Frame(Msg(101, 5, 0, Int32(3))));
         }},
        {"half a packet, then silence", [&](int p, auto& k) { sendAll(p, k, Frame(Msg(104, 0, 101)).substr(0, 9)); }},
        {"silent connections", [&](int p, auto& k) {
             for (int i = 0; i < 20; ++i) k.emplace_back(p);
         }},
        {"half-closed peer", [&](int p, auto& k) {
             k.emplace_back(p);
             RawPeer& peer = k.back();
             std::int32_t mine = JoinAs(peer, "half");
             peer.Send(Msg(104, 0, mine));
             peer.ShutdownWrite();
             auto reply = peer.Read(2000);
             EXPECT_TRUE(reply && reply->type == 104 && reply->target == mine) << "half-closed peer's reply";
             EXPECT_TRUE(peer.ClosedWithin(2000)) << "half-closed peer dropped";
         }},
    };
    for (const Hostile& c : cases) {
        std::vector<RawPeer> keep;
        c.act(port, keep);
        auto reply = Ask(good, 104, id, "", 1000);
        ASSERT_TRUE(reply) << c.name;
        EXPECT_EQ(reply->PayloadInt(), 1) << c.name;
        // A stream that lost its framing, or a packet beyond the limit, ends that connection.
        std::string name = c.name;
        if (name == "garbage" || name == "20000-byte packet") {
            EXPECT_TRUE(keep[0].ClosedWithin(1000)) << c.name;
        }
        if (name == "3000-byte packet" || name == "empty packets") {
            // Skipped in step: the same connection is still served.
            std::int32_t mine = JoinAs(keep[0], "after");
            EXPECT_GT(mine, 101) << c.name;
            keep[0].Send(Msg(4, 0, mine));
        }
        keep.clear();
        EXPECT_TRUE(Eventually([&] { return Ask(good, 101, id)->PayloadInt() == 1; }, 2000))
            << c.name << ": records of closed connections are gone";
    }
}

TEST_F(NetPeerTest, HostLimitsConnections) {
    int port = FreePort();
    ASSERT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0);
    RawPeer good(port);
    std::int32_t id = JoinAs(good, "good");
    ASSERT_EQ(id, 101);
    // The host's own connection and `good` are two of the hundred.
    std::vector<RawPeer> crowd;
    for (int i = 0; i < 150; ++i) crowd.emplace_back(port);
    ASSERT_EQ(Ask(good, 104, id, "", 2000)->PayloadInt(), 1);
    auto closedCount = [&] {
        int closed = 0;
        for (RawPeer& peer : crowd) closed += peer.ClosedWithin(0) ? 1 : 0;
        return closed;
    };
    EXPECT_TRUE(Eventually([&] { return closedCount() == 52; }, 3000)) << closedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(closedCount(), 52);
    // Room again once some leave.
    crowd.clear();
    RawPeer late;
    EXPECT_TRUE(Eventually([&] { return late.Connect(port) && JoinAs(late, "late", 0, 200) > 101; }, 3000));

    // Per connection at most 256 player records; further joins go unanswered.
    std::string joins;
    for (int i = 0; i < 256; ++i) joins += Frame(Msg(1, 0, 0, JoinRecord(0, "m")));
    RawPeer many(port);
    many.SendRaw(joins);
    int replies = 0;
    while (auto p = many.Read(1000)) replies += p->type == 2;
    EXPECT_EQ(replies, 256);
    EXPECT_EQ(JoinAs(many, "one more", 0, 500), -1);
}

TEST_F(NetPeerTest, OutOfDescriptorsIsNoPending) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process descriptor limit to exhaust (no setrlimit)";
#else
    int port = FreePort();
    ASSERT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0);
    RawPeer good(port);
    std::int32_t id = JoinAs(good, "good");
    ASSERT_EQ(id, 101);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    int open = 0;
    for (int fd = 0; fd < 4096; ++fd) open += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(open + 16);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // Sockets made first, the remaining descriptors filled, then connected: the
    // connections wait in the host's backlog and every accept fails.
    std::vector<int> pending, fillers;
    for (int i = 0; i < 8; ++i) pending.push_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    for (int fd; (fd = fcntl(0, F_DUPFD_CLOEXEC, 0)) >= 0;) fillers.push_back(fd);
    for (int fd : pending) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        if (fd >= 0) connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rusage r0, r1;
    getrusage(RUSAGE_SELF, &r0);
    auto start = Clock::now();
    auto reply = Ask(good, 104, id, "", 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    getrusage(RUSAGE_SELF, &r1);
    double cpu = (r1.ru_utime.tv_sec - r0.ru_utime.tv_sec) + (r1.ru_stime.tv_sec - r0.ru_stime.tv_sec) +
                 ((r1.ru_utime.tv_usec - r0.ru_utime.tv_usec) + (r1.ru_stime.tv_usec - r0.ru_stime.tv_usec)) / 1e6;
    double wall = Seconds(start);
    for (int fd : fillers) close(fd);
    for (int fd : pending) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(reply) << "the host goes on answering";
    EXPECT_LT(cpu, wall * 0.05) << "the host does not spin on connections it cannot take";
    // Descriptors back: new connections are served again.
    RawPeer late;
    EXPECT_TRUE(Eventually([&] { return late.Connect(port) && JoinAs(late, "late", 0, 300) > 101; }, 3000));
#endif
}

} // namespace
