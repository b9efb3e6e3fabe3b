// Two runtime processes in one session, driven through net_probe.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/net/net_test_support.h"

using namespace corvane::nettest;

namespace {

// Polls a probe's queue until a text arrives (or 3 s pass).
std::string NextMessage(Probe& probe, const std::string& id) {
    for (int i = 0; i < 60; ++i) {
        std::string text = probe.Run("GetNetMessage " + id);
        if (!text.empty()) return text;
        probe.Run("Sleep 50");
    }
    return "<none>";
}

TEST(NetProbeTest, TwoProcessesPlayTogether) {
    Probe host, client;
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(client.started());
    std::string port = std::to_string(FreePort());
    ASSERT_EQ(host.Run("HostGame " + port), "1");
    ASSERT_EQ(host.Run("CreatePlayer h"), "101");
    ASSERT_EQ(client.Run("JoinGame 127.0.0.1 " + port), "1");
    ASSERT_EQ(client.Run("CreatePlayer c"), "103"); // the probe took 102
    EXPECT_EQ(host.Run("GetPlayerCount"), "2");
    EXPECT_EQ(client.Run("GetPlayerId 0"), "101");
    EXPECT_EQ(client.Run("GetPlayerId 1"), "103");
    EXPECT_EQ(client.Run("GetPlayerName 101"), "h");

    // Messages both ways, in order.
    for (const char* text : {"one", "two words", "three"}) EXPECT_EQ(client.Run(std::string("SendNetMessage 103 101 ") + text), "1");
    EXPECT_EQ(NextMessage(host, "101"), "one");
    EXPECT_EQ(NextMessage(host, "101"), "two words");
    EXPECT_EQ(NextMessage(host, "101"), "three");
    EXPECT_EQ(host.Run("SendNetMessage 101 0 to all"), "1");
    EXPECT_EQ(NextMessage(client, "103"), "to all");
    EXPECT_EQ(host.Run("GetNetMessage 101"), ""); // the sender gets no copy

    // A second player of the client; removing it lowers the count.
    ASSERT_EQ(client.Run("CreatePlayer d"), "104");
    EXPECT_EQ(host.Run("GetPlayerCount"), "3");
    EXPECT_EQ(client.Run("RemovePlayer 104"), "1");
    bool removed = false; // the leave and the host's own request travel different connections
    for (int i = 0; i < 40 && !removed; ++i) removed = host.Run("GetPlayerCount") == "2";
    EXPECT_TRUE(removed);

    // The client's end says goodbye for its players.
    auto start = std::chrono::steady_clock::now();
    client.Send("Quit");
    EXPECT_EQ(client.Wait(5000), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    bool lowered = false;
    for (int i = 0; i < 40 && !lowered; ++i) lowered = host.Run("GetPlayerCount") == "1";
    EXPECT_TRUE(lowered);
    host.Send("Quit");
    EXPECT_EQ(host.Wait(5000), 0);
}

TEST(NetProbeTest, PeerThatStopsReadingWhileFlooded) {
    Probe host;
    ASSERT_TRUE(host.started());
    int port = FreePort();
    ASSERT_EQ(host.Run("HostGame " + std::to_string(port)), "1");
    RawPeer good(port), stuck;
    stuck.receiveBuffer = 4096;
    ASSERT_TRUE(stuck.Connect(port));
    std::int32_t id = JoinAs(good, "good");
    std::int32_t stuckId = JoinAs(stuck, "stuck");
    ASSERT_GT(stuckId, 0);
    // The stuck peer asks and asks and never reads the answers (over 1 MB of them).
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += Frame(Msg(104, 0, stuckId));
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(stuck.SendRaw(burst)) << round;
        if (round % 10 == 0) {
            auto reply = Ask(good, 104, id, "", 1000);
            ASSERT_TRUE(reply) << "others are served, round " << round;
        }
    }
    EXPECT_TRUE(Ask(good, 104, id, "", 1000));
    EXPECT_EQ(host.Run("GetLocalAddresses").empty(), false);
    auto start = std::chrono::steady_clock::now();
    host.Send("Quit");
    EXPECT_EQ(host.Wait(5000), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

TEST(NetProbeTest, EndRightAfterHosting) {
    Probe probe;
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(probe.Run("HostGame " + std::to_string(FreePort())), "1");
    probe.Send("Quit");
    EXPECT_EQ(probe.Wait(5000), 0);
}

} // namespace
