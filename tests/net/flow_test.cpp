// The host under load: senders held back rather than messages dropped, deaf and
// silent peers cut off in time, forged senders refused.
#include <gtest/gtest.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "runtime/engine/engine.h"
#include "runtime/net/net_internal.h"
#include "tests/net/net_test_support.h"
#include "tests/support/test_sockets.h"

using namespace corvane;
using namespace corvane::nettest;
using namespace corvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string ReadLog() {
    std::ifstream log(ErrorLogPath());
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
}

// Sends one packet without giving up while it waits for room, reading whatever
// arrives meanwhile; false once stop is set or the connection broke.
bool SendPatiently(RawPeer& peer, const std::string& packet, const std::atomic<bool>& stop) {
    std::string bytes = Frame(packet);
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (stop) return false;
        const auto n = send(peer.fd, bytes.data() + done, static_cast<int>(bytes.size() - done), kNoSignal | kDontWait);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && !SocketWouldBlock()) return false;
        while (peer.Read(0)) {
        }
        pollfd p{static_cast<decltype(pollfd::fd)>(peer.fd), POLLOUT, 0};
        PollSockets(&p, 1, 10);
    }
    return true;
}

class NetFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitNetwork();
        port = FreePort();
        ASSERT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0);
    }
    void TearDown() override { ReleaseNetwork(); }
    int port = 0;
};

// A 2048-byte text naming its sender and sequence number.
std::string Numbered(int sender, int seq) {
    std::string text = std::to_string(sender) + ":" + std::to_string(seq) + ":";
    text.resize(2048, 'x');
    return text;
}

TEST_F(NetFlowTest, EveryMessageReachesAPromptReader) {
    constexpr int kMessages = 192;
    for (int senders : {4, 8}) {
        RawPeer reader(port);
        std::int32_t readerId = JoinAs(reader, "reader");
        ASSERT_GT(readerId, 0);
        std::vector<std::thread> threads;
        std::atomic<int> failed{0};
        std::atomic<bool> done{false};
        for (int k = 0; k < senders; ++k) {
            threads.emplace_back([&, k] {
                RawPeer peer(port);
                std::int32_t id = JoinAs(peer, "s" + std::to_string(k));
                for (int i = 0; i < kMessages && id > 0; ++i)
                    if (!peer.Send(Msg(3, readerId, id, Numbered(k, i)))) ++failed;
                if (id <= 0) ++failed;
                while (!done) peer.Read(20); // stays connected until its messages are through
            });
        }
        std::vector<int> next(static_cast<std::size_t>(senders), 0);
        int total = 0, disorder = 0;
        auto start = Clock::now();
        while (total < senders * kMessages && Since(start) < 30) {
            auto p = reader.Read(5000);
            if (!p) break;
            if (p->type != 3 || p->payload.size() != 2048) continue;
            std::istringstream in(p->payload);
            int sender = -1, seq = -1;
            char colon;
            in >> sender >> colon >> seq;
            if (sender < 0 || sender >= senders) continue;
            disorder += seq != next[static_cast<std::size_t>(sender)];
            next[static_cast<std::size_t>(sender)] = seq + 1;
            ++total;
        }
        done = true;
        for (auto& t : threads) t.join();
        EXPECT_EQ(failed, 0) << senders << " senders";
        EXPECT_EQ(total, senders * kMessages) << senders << " senders";
        EXPECT_EQ(disorder, 0) << senders << " senders";
    }
}

TEST_F(NetFlowTest, MessagesKeepTheirOrderWhileTheProgramLooksForThem) {
    // The program's looks and the network thread both read the connection.
    std::string me = CreatePlayer(RtString("me")).Buffer();
    RawPeer peer(port);
    std::int32_t id = JoinAs(peer, "peer");
    ASSERT_GT(id, 0);
    constexpr int kCount = 3000;
    std::thread sender([&] {
        for (int i = 0; i < kCount; ++i) peer.Send(Msg(3, std::stoi(me), id, std::to_string(i)));
    });
    int expected = 0;
    auto start = Clock::now();
    while (expected < kCount && Since(start) < 20) {
        std::string text = GetNetMessage(RtString(me.c_str())).Buffer();
        if (text.empty()) continue;
        ASSERT_EQ(text, std::to_string(expected));
        ++expected;
    }
    sender.join();
    EXPECT_EQ(expected, kCount);
}

TEST_F(NetFlowTest, DeafPeerIsCutOffWhileOthersAreServed) {
    RawPeer deaf;
    deaf.receiveBuffer = 4096;
    ASSERT_TRUE(deaf.Connect(port));
    RawPeer sender(port), meter(port);
    ASSERT_GT(JoinAs(deaf, "deaf"), 0);
    std::int32_t senderId = JoinAs(sender, "sender");
    std::int32_t meterId = JoinAs(meter, "meter");
    ASSERT_GT(meterId, 0);

    // The sender broadcasts as fast as it may and reads its own copies; the meter
    // reads everything and keeps asking.
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread flood([&] {
        while (SendPatiently(sender, Msg(3, -1, senderId, Numbered(0, sent)), stop)) ++sent;
    });
    std::size_t logStart = ReadLog().size();
    auto start = Clock::now();
    double worst = 0, cutAt = -1;
    int broadcasts = 0, asked = 0;
    while (Since(start) < 20) {
        auto asking = Clock::now();
        ASSERT_TRUE(meter.Send(Msg(104, 0, meterId)));
        bool answered = false;
        while (!answered) {
            auto p = meter.Read(3000);
            if (!p) break;
            if (p->type == 104 && p->target == meterId) answered = true;
            else if (p->type == 3) ++broadcasts;
        }
        ASSERT_TRUE(answered) << "after " << Since(start) << " s";
        worst = std::max(worst, Since(asking));
        ++asked;
        if (cutAt < 0 && ReadLog().find("read nothing for", logStart) != std::string::npos) cutAt = Since(start);
        if (cutAt >= 0 && Since(start) > cutAt + 0.5) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop = true;
    flood.join();
    // Whatever the sender got out reaches the meter, in full, after the deaf peer
    // went (the sender goes on reading its own copies, or it would hold itself back).
    auto drain = Clock::now();
    while (broadcasts < sent && Since(drain) < 10) {
        while (sender.Read(0)) {
        }
        if (auto p = meter.Read(100)) broadcasts += p->type == 3;
    }
    EXPECT_GE(cutAt, 9.5);
    EXPECT_LT(cutAt, 16.0);
    EXPECT_GT(asked, 100);
    EXPECT_LT(worst, 0.5) << "healthy peers keep being served";
    std::printf("deaf peer cut after %.1f s; %d round trips, worst %.1f ms; %d broadcasts\n", cutAt, asked,
                worst * 1000, broadcasts);
    EXPECT_EQ(broadcasts, sent.load());
    // The cut-off peer finds the connection ended once it reads again.
    EXPECT_TRUE(deaf.ClosedWithin(5000));
}

TEST_F(NetFlowTest, OnlyAConnectionsOwnPlayersSendData) {
    RawPeer a(port), b(port);
    std::int32_t a1 = JoinAs(a, "a1"), b1 = JoinAs(b, "b1"), a2 = JoinAs(a, "a2");
    ASSERT_GT(a2, 0);
    struct Case {
        std::int32_t target, origin;
        bool forwarded;
    } cases[] = {
        {b1, a1, true}, {b1, a2, true}, {-1, a1, true},
        {a1, b1, false},   // another connection's player
        {-1, b1, false},
        {b1, 999, false},  // nobody
        {b1, 0, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(a.Send(Msg(3, c.target, c.origin, "m")));
        ASSERT_TRUE(a.Send(Msg(3, b1, a1, "marker")));
        auto p = b.Read(2000);
        ASSERT_TRUE(p);
        if (c.forwarded) {
            EXPECT_EQ(p->origin, c.origin) << c.target << " from " << c.origin;
            p = b.Read(2000);
        }
        ASSERT_TRUE(p);
        EXPECT_EQ(p->payload, "marker") << c.target << " from " << c.origin;
        while (a.Read(50)) {
        }
    }
}

TEST_F(NetFlowTest, SilentConnectionsAreClosedAfterTheJoinDeadline) {
    RawPeer good(port);
    std::int32_t id = JoinAs(good, "good");
    ASSERT_GT(id, 0);
    // With the host's own connection, the table is full.
    std::vector<RawPeer> silent(98);
    auto start = Clock::now();
    for (RawPeer& peer : silent) ASSERT_TRUE(peer.Connect(port));
    RawPeer late;
    ASSERT_TRUE(Eventually([&] { return late.Connect(port) && late.ClosedWithin(500); }, 3000)) << "the table is full";
    double joinedAt = -1;
    while (Since(start) < 20 && joinedAt < 0) {
        RawPeer next(port);
        if (next.fd >= 0 && JoinAs(next, "late", 0, 300) > 0) joinedAt = Since(start);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_GE(joinedAt, 9.0);
    EXPECT_LT(joinedAt, 13.0);
    int closed = 0;
    for (RawPeer& peer : silent) closed += peer.ClosedWithin(100);
    EXPECT_EQ(closed, 98);
    // Joined peers and the host's own connection stay, silent or not.
    EXPECT_EQ(Ask(good, 104, id)->PayloadInt(), 1);
    EXPECT_NE(std::string(CreatePlayer(RtString("host")).Buffer()), "-1");
}

} // namespace
