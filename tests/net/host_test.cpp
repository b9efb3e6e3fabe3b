// The session hosted in this test process, with independent raw-socket peers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "runtime/net/net_internal.h"
#include "runtime/net/net_session.h"
#include "tests/net/net_test_support.h"

using namespace corvane;
using namespace corvane::nettest;

namespace {

class NetHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitNetwork();
    }
    void TearDown() override { ReleaseNetwork(); }

    // Hosts on a fresh port; returns it.
    int Host() {
        int port = FreePort();
        EXPECT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0);
        return port;
    }

    // Every packet the host sends is exactly 4 + 17 + its length bytes.
    static void ExpectExactSize(const Packet& p) {
        EXPECT_EQ(p.bytes.size(), 4u + 17u + static_cast<std::size_t>(p.length));
        EXPECT_EQ(p.bytes.substr(4, 4), "CRVN");
    }
};

RtString Text(long value) { return RtString(std::to_string(value).c_str()); }

TEST_F(NetHostTest, DefaultPortIsTheWellKnownOne) {
    RawPeer probe;
    for (const char* text : {"", "0", "-5"}) {
        if (probe.Connect(27013)) GTEST_SKIP() << "port 27013 is taken on this machine";
        ASSERT_EQ(HostGame(RtString(text)), 1.0) << text;
        RawPeer peer(27013);
        ASSERT_GE(peer.fd, 0) << text;
        EXPECT_EQ(JoinAs(peer, "x"), 101) << text;
        ReleaseNetwork();
        InitNetwork();
    }
    EXPECT_EQ(HostGame(RtString("65536")), 0.0); // not wrapped round to another port
    EXPECT_EQ(HostGame(RtString("70000")), 0.0);
}

TEST_F(NetHostTest, PlayersRequestsAndMessages) {
    int port = Host();
    RawPeer a(port), b(port);
    ASSERT_GE(a.fd, 0);
    ASSERT_GE(b.fd, 0);
    // A hidden record first, so the index lookups must skip it at index 0 itself.
    ASSERT_EQ(JoinAs(b, "", 1), 101);
    EXPECT_EQ(std::string(CreatePlayer(RtString("host")).Buffer()), "102");
    ASSERT_EQ(JoinAs(a, "alice"), 103);
    ASSERT_EQ(JoinAs(b, "bob"), 104);

    struct Case {
        int type;
        std::string payload;
        std::int32_t expectInt;      // for int replies
        std::string expectText;      // for name replies
    } cases[] = {
        {101, "", 3, ""},
        {102, Int32(0), 102, ""},
        {102, Int32(1), 103, ""},
        {102, Int32(2), 104, ""},
        {102, Int32(3), 0, ""},
        {102, Int32(-1), 0, ""},
        {103, Int32(104), 0, "bob"},
        {103, Int32(999), 0, ""},
        {104, "", 1, ""},
    };
    for (const Case& c : cases) {
        auto reply = Ask(a, c.type, 103, c.payload);
        ASSERT_TRUE(reply) << "type " << c.type;
        ExpectExactSize(*reply);
        if (c.type == 103) EXPECT_EQ(reply->payload, c.expectText);
        else EXPECT_EQ(reply->PayloadInt(), c.expectInt) << "type " << c.type;
    }
    // The same through the commands of the host's own process.
    EXPECT_EQ(GetPlayerCount(), 3.0);
    EXPECT_EQ(std::string(GetPlayerId(0).Buffer()), "102");
    EXPECT_EQ(std::string(GetPlayerId(2.9).Buffer()), "104");
    EXPECT_EQ(std::string(GetPlayerId(3).Buffer()), "0");
    EXPECT_EQ(std::string(GetPlayerName(Text(103)).Buffer()), "alice");
    EXPECT_EQ(std::string(GetPlayerName(Text(55)).Buffer()), "");

    // Requests for somebody unknown, or for a player of another connection: no answer.
    EXPECT_FALSE(Ask(a, 104, 555, "", 1000));
    EXPECT_FALSE(Ask(a, 104, 104, "", 300));

    // Unicast reaches its player once; nobody else.
    ASSERT_TRUE(a.Send(Msg(3, 104, 103, "hello")));
    auto got = b.Read(2000);
    ASSERT_TRUE(got);
    ExpectExactSize(*got);
    EXPECT_EQ(got->bytes.substr(4), Msg(3, 104, 103, "hello")); // forwarded unchanged
    ASSERT_TRUE(a.Send(Msg(3, 102, 103, "to host")));
    std::string text;
    EXPECT_TRUE(Eventually([&] { return (text = GetNetMessage(Text(102)).Buffer()) != ""; }, 2000));
    EXPECT_EQ(text, "to host");

    // Broadcast from the host's player: each other connection once, the sender never.
    EXPECT_EQ(SendNetMessage(Text(102), RtString("0"), RtString("all")), 1.0);
    for (RawPeer* peer : {&a, &b}) {
        auto p = peer->Read(2000);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->bytes.substr(4), Msg(3, -1, 102, "all"));
    }
    // Broadcast from a peer: the host's player gets one copy.
    ASSERT_TRUE(a.Send(Msg(3, -1, 103, "from a")));
    EXPECT_TRUE(Eventually([&] { return (text = GetNetMessage(Text(102)).Buffer()) != ""; }, 2000));
    EXPECT_EQ(text, "from a");
    ASSERT_TRUE(b.Read(2000));
    ASSERT_TRUE(a.Read(2000)); // its own connection gets it back once, too
    // Exactly once everywhere.
    EXPECT_FALSE(a.Read(300));
    EXPECT_FALSE(b.Read(10));
    EXPECT_EQ(std::string(GetNetMessage(Text(102)).Buffer()), "");

    // A leave for an unknown id changes nothing; a leave for another connection's player neither.
    ASSERT_TRUE(a.Send(Msg(4, 0, 777)));
    ASSERT_TRUE(a.Send(Msg(4, 0, 104)));
    EXPECT_EQ(Ask(a, 101, 103)->PayloadInt(), 3);
    ASSERT_TRUE(a.Send(Msg(4, 0, 103)));
    EXPECT_TRUE(Eventually([] { return GetPlayerCount() == 2.0; }, 2000));
    // A closed connection takes every record it carried (the hidden one too).
    b.Close();
    EXPECT_TRUE(Eventually([] { return GetPlayerCount() == 1.0; }, 2000));
    EXPECT_EQ(std::string(GetPlayerId(0).Buffer()), "102");
    // Messages for a player that is not local, or to nobody known, are dropped.
    EXPECT_EQ(std::string(GetNetMessage(Text(103)).Buffer()), "");
    EXPECT_EQ(RemovePlayer(Text(102)), 1.0);
    RawPeer c(port);
    ASSERT_EQ(JoinAs(c, "c"), 105);
    EXPECT_EQ(Ask(c, 101, 105)->PayloadInt(), 1);
}

TEST_F(NetHostTest, ArgumentLimits) {
    // Without a session nothing is sent and nothing waits.
    EXPECT_EQ(RemovePlayer(RtString("101")), 0.0);
    EXPECT_EQ(SendNetMessage(RtString("101"), RtString("0"), RtString("x")), 0.0);
    EXPECT_EQ(std::string(CreatePlayer(RtString("n")).Buffer()), "-1");
    EXPECT_EQ(GetPlayerCount(), 0.0);
    EXPECT_EQ(std::string(GetPlayerName(RtString("101")).Buffer()), "NO_DATA");

    int port = Host();
    RawPeer a(port);
    ASSERT_EQ(JoinAs(a, "a"), 101);
    std::string longName(300, 'n');
    ASSERT_EQ(std::string(CreatePlayer(RtString(longName.c_str())).Buffer()), "102");
    EXPECT_EQ(Ask(a, 103, 101, Int32(102))->payload, std::string(126, 'n'));

    // A wire name ends at its first NUL within the field, and keeps at most 126 bytes.
    struct NameCase {
        std::string field;   // the 127 name bytes as sent
        std::string stored;
    } names[] = {
        {std::string(127, 'q'), std::string(126, 'q')},
        {std::string("ab\0cd", 5) + std::string(122, 'z'), "ab"},
        {std::string(127, '\0'), ""},
    };
    for (const NameCase& n : names) {
        std::string record = Int32(-1) + Int32(-1) + '\0' + n.field + std::string(16, '\0');
        ASSERT_TRUE(a.Send(Msg(1, 0, 0, record)));
        auto reply = a.Read(2000);
        ASSERT_TRUE(reply && reply->type == 2);
        EXPECT_EQ(Ask(a, 103, 101, Int32(reply->target))->payload, n.stored);
    }

    std::string limit(2048, 'x');
    EXPECT_EQ(SendNetMessage(RtString("102"), RtString("101"), RtString(limit.c_str())), 1.0);
    auto p = a.Read(2000);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->payload, limit);
    EXPECT_EQ(SendNetMessage(RtString("102"), RtString("101"), RtString((limit + "y").c_str())), 0.0);
    EXPECT_FALSE(a.Read(300));
    // Bytes travel unchanged, whatever they are.
    std::string bytes = "\x01\xff\x80 \t|";
    EXPECT_EQ(SendNetMessage(RtString("102"), RtString("101"), RtString(bytes.c_str())), 1.0);
    EXPECT_EQ(a.Read(2000)->payload, bytes);
}

TEST_F(NetHostTest, LocalAddressesMatchTheSystem) {
#ifdef _WIN32
    GTEST_SKIP() << "no independent list of the machine's addresses on Windows (hostname -I is a Linux tool)";
#endif
    FILE* pipe = popen("hostname -I 2>/dev/null", "r");
    if (!pipe) GTEST_SKIP() << "no hostname command";
    char line[1024] = {};
    bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    if (!read) GTEST_SKIP() << "hostname -I printed nothing";
    std::string expected;
    std::string word;
    for (char* c = line;; ++c) {
        if (*c && *c != ' ' && *c != '\n') {
            word += *c;
            continue;
        }
        if (!word.empty() && word.find(':') == std::string::npos) expected += (expected.empty() ? "" : "|") + word;
        word.clear();
        if (!*c) break;
    }
    if (expected.empty()) expected = "127.0.0.1";
    EXPECT_EQ(std::string(GetLocalAddresses().Buffer()), expected);
    RawPeer probe;
    if (!probe.Connect(27013) && HostGame(RtString("")) == 1.0) {
        EXPECT_EQ(std::string(GetLocalAddresses().Buffer()), expected);
    }
}

TEST_F(NetHostTest, SessionChangeClosesTheOldPort) {
    int first = Host();
    RawPeer a(first);
    ASSERT_EQ(JoinAs(a, "a"), 101);
    ASSERT_EQ(std::string(CreatePlayer(RtString("h")).Buffer()), "102");
    int second = Host();
    EXPECT_TRUE(a.ClosedWithin(2000));
    RawPeer late;
    EXPECT_FALSE(late.Connect(first));
    // Fresh ids and no players left from before.
    RawPeer b(second);
    EXPECT_EQ(JoinAs(b, "b"), 101);
    EXPECT_EQ(std::string(GetNetMessage(RtString("102")).Buffer()), "");
    EXPECT_EQ(GetPlayerCount(), 0.0); // no local player left to ask with
}

TEST_F(NetHostTest, RestartsAndEndsRightAfterStarting) {
    for (int i = 0; i < 100; ++i) {
        int port = FreePort();
        ASSERT_EQ(HostGame(RtString(std::to_string(port).c_str())), 1.0) << i;
        if (i % 2) {
            ASSERT_EQ(HostGame(RtString(std::to_string(FreePort()).c_str())), 1.0) << i;
        } else {
            ReleaseNetwork();
            EXPECT_EQ(ActiveNetSession(), nullptr);
            InitNetwork();
        }
    }
}

TEST_F(NetHostTest, FloodWhilePlayersComeAndRead) {
    int port = Host();
    std::atomic<bool> stop{false};
    std::vector<std::thread> flooders;
    std::vector<std::int32_t> ids(3, -1);
    for (int f = 0; f < 3; ++f) {
        flooders.emplace_back([&, f] {
            RawPeer peer(port);
            ids[f] = JoinAs(peer, "f" + std::to_string(f));
            std::string burst;
            for (int i = 0; i < 50; ++i) burst += Frame(Msg(3, -1, ids[f], "flood"));
            while (!stop) {
                if (!peer.SendRaw(burst)) break;
                while (peer.Read(0)) {
                } // reads what came, as a player does
            }
        });
    }
    int received = 0;
    std::vector<std::string> created;
    for (int i = 0; i < 20; ++i) {
        RtString id = CreatePlayer(RtString("p"));
        created.push_back(id.Buffer());
        for (const std::string& p : created) {
            for (int n = 0; n < 100 && GetNetMessage(RtString(p.c_str())).length; ++n) ++received;
        }
    }
    stop = true;
    for (auto& t : flooders) t.join();
    for (const std::string& id : created) EXPECT_NE(id, "-1");
    EXPECT_GT(received, 0);
}

} // namespace
