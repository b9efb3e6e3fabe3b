// The reliable-packet socket layer on its own: framing, whole packets, limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>
#include <thread>

#include "runtime/net/hawknl.h"
#include "tests/net/net_test_support.h"

using namespace corvane;
using namespace corvane::nettest;

namespace {

// A listening layer socket and one raw peer connected to it, accepted.
struct Pair {
    NLsocket listener = NL_INVALID;
    NLsocket accepted = NL_INVALID;
    RawPeer peer;
    int port = 0;
    Pair() {
        nlInit();
        port = FreePort();
        listener = nlOpen(static_cast<NLushort>(port), NL_RELIABLE_PACKETS);
        if (listener == NL_INVALID || !nlListen(listener) || !peer.Connect(port)) return;
        Eventually([&] { return (accepted = nlAcceptConnection(listener)) != NL_INVALID; }, 2000);
    }
    ~Pair() {
        if (accepted != NL_INVALID) nlClose(accepted);
        if (listener != NL_INVALID) nlClose(listener);
    }
    // Reads one packet within the time; "<none>" with the error otherwise.
    std::string Read(int timeoutMs, NLenum* error = nullptr) {
        char buffer[3000];
        NLint got = NL_INVALID;
        Eventually([&] {
            got = nlRead(accepted, buffer, sizeof buffer);
            return got >= 0 || nlGetError() != NL_NO_PENDING;
        }, timeoutMs);
        if (error) *error = got >= 0 ? NL_NO_ERROR : nlGetError();
        return got >= 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "<none>";
    }
};

TEST(NetLayerTest, ReadsWholePacketsOrNothing) {
    Pair pair;
    ASSERT_NE(pair.accepted, NL_INVALID);
    char buffer[16];
    EXPECT_EQ(nlRead(pair.accepted, buffer, sizeof buffer), NL_INVALID);
    EXPECT_EQ(nlGetError(), NL_NO_PENDING);

    struct Step {
        std::string raw;       // bytes the peer sends
        std::string expect;    // the packet read after them ("<none>": nothing)
        NLenum error;          // the error when nothing
    } steps[] = {
        {std::string("NL\x00\x05hel", 7), "<none>", NL_NO_PENDING},           // half a packet
        {"lo", "hello", NL_NO_ERROR},                          // the rest
        {Frame("") + Frame("ab"), "", NL_NO_ERROR},            // an empty packet is a packet
        {"", "ab", NL_NO_ERROR},                               // the next one was kept
        {Frame(std::string(3500, 'z')) + Frame("after"), "<none>", NL_BUFFER_SIZE}, // too big for the reader: skipped
        {"", "after", NL_NO_ERROR},                            // and the stream stays in step
        {Frame("last") + "XY", "last", NL_NO_ERROR},           // what came before lost framing is still read
        {"", "<none>", NL_PACKET_SYNC},
        {Frame("never"), "<none>", NL_PACKET_SYNC},            // nothing after it
    };
    for (const Step& step : steps) {
        if (!step.raw.empty()) {
            ASSERT_TRUE(pair.peer.SendRaw(step.raw));
        }
        NLenum error;
        std::string got = pair.Read(step.expect == "<none>" ? 200 : 2000, &error);
        EXPECT_EQ(got, step.expect) << step.raw;
        EXPECT_EQ(error, step.error) << step.raw;
    }
}

TEST(NetLayerTest, PeerEndAfterPackets) {
    Pair pair;
    ASSERT_NE(pair.accepted, NL_INVALID);
    pair.peer.SendRaw(Frame("one") + Frame("two"));
    pair.peer.Close();
    NLenum error;
    EXPECT_EQ(pair.Read(2000), "one");
    EXPECT_EQ(pair.Read(2000), "two");
    EXPECT_EQ(pair.Read(2000, &error), "<none>");
    EXPECT_EQ(error, NL_MESSAGE_END);
    // Over the limit: the connection is given up.
    Pair big;
    std::string frame = std::string("NL\x40\x01", 4) + std::string(16385, 'b');
    big.peer.SendRaw(frame);
    EXPECT_EQ(big.Read(2000, &error), "<none>");
    EXPECT_EQ(error, NL_PACKET_SYNC);
}

TEST(NetLayerTest, WritesWholePacketsAndNeverBlock) {
    Pair pair;
    ASSERT_NE(pair.accepted, NL_INVALID);
    EXPECT_EQ(nlWrite(pair.accepted, "abc", 3), 3);
    auto p = pair.peer.Read(2000);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bytes, Frame("abc"));
    EXPECT_EQ(nlWrite(pair.accepted, "x", 16385), NL_INVALID);
    EXPECT_EQ(nlGetError(), NL_PACKET_SIZE);

    // The peer stops reading: packets are held back up to 256 KiB, then refused whole.
    std::string block(16000, 'w');
    int accepted = 0;
    NLint result = 0;
    for (int i = 0; i < 10000 && result != NL_INVALID; ++i) {
        result = nlWrite(pair.accepted, block.data(), static_cast<NLint>(block.size()));
        if (result != NL_INVALID) ++accepted;
    }
    ASSERT_EQ(result, NL_INVALID);
    EXPECT_EQ(nlGetError(), NL_BUFFER_SIZE);
    EXPECT_GE(nlPendingBytes(pair.accepted), kNlOutgoingLimit);
    EXPECT_LT(nlPendingBytes(pair.accepted), kNlOutgoingLimit + 16004);
    // Everything taken arrives, whole and in order, once the peer reads again.
    NLsocket watch[] = {pair.accepted};
    int packets = 0;
    for (int i = 0; i < 2000 && packets < accepted; ++i) {
        nlWaitSockets(watch, 1, 5);
        while (auto packet = pair.peer.Read(1)) {
            ASSERT_EQ(packet->bytes, Frame(block));
            ++packets;
        }
    }
    EXPECT_EQ(packets, accepted);
    EXPECT_EQ(nlPendingBytes(pair.accepted), 0);

    // Writing to a peer that has gone fails instead of raising a signal.
    pair.peer.Close();
    NLint last = 0;
    for (int i = 0; i < 100 && last != NL_INVALID; ++i) {
        last = nlWrite(pair.accepted, "gone", 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(last, NL_INVALID);
}

TEST(NetLayerTest, AddressesGroupsAndMisuse) {
    nlInit();
    NLaddress address;
    char text[32];
    ASSERT_TRUE(nlGetAddrFromName("127.0.0.1", &address));
    nlSetAddrPort(&address, 27013);
    EXPECT_STREQ(nlAddrToString(&address, text), "127.0.0.1:27013");
    nlSetAddrPort(&address, 0);
    EXPECT_STREQ(nlAddrToString(&address, text), "127.0.0.1");
    EXPECT_FALSE(nlGetAddrFromName("no-such-host.invalid", &address));
    EXPECT_FALSE(nlSelectNetwork(7));
    EXPECT_EQ(nlOpen(0, 5), NL_INVALID);

    // Unknown sockets and groups are refused, never used.
    char buffer[8];
    EXPECT_EQ(nlRead(987654, buffer, 8), NL_INVALID);
    EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
    EXPECT_EQ(nlWrite(987654, buffer, 8), NL_INVALID);
    EXPECT_FALSE(nlClose(987654));
    EXPECT_FALSE(nlGroupAddSocket(9999, 1));
    NLsocket ready[4];
    EXPECT_EQ(nlPollGroup(-1, NL_READ_STATUS, ready, 4, 0), NL_INVALID);

    // A group reports only its sockets that have something to read.
    Pair one, two;
    NLint group = nlGroupCreate();
    ASSERT_NE(group, NL_INVALID);
    ASSERT_TRUE(nlGroupAddSocket(group, one.accepted));
    ASSERT_TRUE(nlGroupAddSocket(group, two.accepted));
    EXPECT_EQ(nlPollGroup(group, NL_READ_STATUS, ready, 4, 0), 0);
    two.peer.SendRaw(Frame("x"));
    EXPECT_TRUE(Eventually([&] { return nlPollGroup(group, NL_READ_STATUS, ready, 4, 0) == 1; }, 2000));
    EXPECT_EQ(ready[0], two.accepted);
    EXPECT_TRUE(nlGroupDestroy(group));
    // A listening socket reads nothing; a connected one accepts nothing.
    EXPECT_EQ(nlRead(one.listener, buffer, 8), NL_INVALID);
    EXPECT_EQ(nlAcceptConnection(one.accepted), NL_INVALID);
    EXPECT_EQ(nlGetError(), NL_NOT_LISTEN);
}

} // namespace

TEST(NetLayerTest, PacketsWrittenFirstOvertakeTheBacklog) {
    Pair pair;
    ASSERT_NE(pair.accepted, NL_INVALID);
    // The peer does not read: whole packets pile up behind one that is partly out.
    auto numbered = [](int i) { return "d" + std::to_string(i) + std::string(1000, '.'); };
    int written = 0;
    while (nlPendingBytes(pair.accepted) < 40000 && written < 100000) {
        std::string p = numbered(written++);
        ASSERT_EQ(nlWrite(pair.accepted, p.data(), static_cast<NLint>(p.size())), static_cast<NLint>(p.size()));
    }
    int heldPackets = nlPendingBytes(pair.accepted) / 1006;
    ASSERT_EQ(nlWriteFirst(pair.accepted, "first1", 6), 6);
    ASSERT_EQ(nlWriteFirst(pair.accepted, "first2", 6), 6);
    std::string after = numbered(written++);
    ASSERT_EQ(nlWrite(pair.accepted, after.data(), static_cast<NLint>(after.size())), static_cast<NLint>(after.size()));

    std::vector<std::string> got;
    NLsocket watch[] = {pair.accepted};
    for (int i = 0; i < 2000 && static_cast<int>(got.size()) < written + 2; ++i) {
        nlWaitSockets(watch, 1, 5);
        while (auto packet = pair.peer.Read(1)) got.push_back(packet->bytes.substr(4));
    }
    ASSERT_EQ(static_cast<int>(got.size()), written + 2);
    auto first1 = std::find(got.begin(), got.end(), "first1");
    ASSERT_NE(first1, got.end());
    EXPECT_EQ(*(first1 + 1), "first2");
    // Every other packet whole and in its order; most of the backlog after the two.
    int next = 0;
    for (const std::string& p : got) {
        if (p.rfind("first", 0) != 0) {
            EXPECT_EQ(p, numbered(next++));
        }
    }
    EXPECT_GE(got.end() - first1 - 2, heldPackets - 1);
}
