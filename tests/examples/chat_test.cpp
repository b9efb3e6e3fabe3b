// chat as two players meet it: a host and a joiner on 127.0.0.1, names typed into
// InputText, three messages typed and sent; both screens show all three, in order,
// with their senders.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/examples/example_run.h"

using namespace example_test;

namespace {

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) close(s);
    return port;
}

TEST(ChatExample, TwoPlayersExchangeThreeMessages) {
    if (!ExampleBuilt("chat")) GTEST_SKIP() << "examples not built";
    const int port = FreePort();
    ASSERT_GT(port, 0);
    // Clock input: the names go into InputText, which shows frames of its own; the
    // first key comes late enough for a slow start (a sanitizer build) to have joined.
    // The joiner starts 0.7 s after the host and stays until the host's last line is in.
    // Host time: "hi bob" 4.3 s, "hey alice" 6.3 s, "bye now" 7.4 s; the joiner ends at 9.4 s.
    const std::string host =
        "@1500 type alice\n@2300 key Return\n@3500 type hi bob\n@4300 key Return\n@6500 type bye now\n@7400 key Return\n";
    const std::string joiner = "@1500 type bob\n@2100 key Return\n@4500 type hey alice\n@5600 key Return\n@8700 up Space\n";
    auto hostRun = std::async(std::launch::async,
                              [&] { return RunExample("chat", {"host", std::to_string(port)}, host, 20, 60); });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ExampleRun joinRun = RunExample("chat", {"join", "127.0.0.1", std::to_string(port)}, joiner, 20, 60);
    ExampleRun hostRunDone = hostRun.get();

    struct Side {
        const char* who;
        ExampleRun* run;
        std::string header;
    } sides[] = {
        {"host", &hostRunDone, "chat: hosting on port " + std::to_string(port) + " as alice"},
        {"joiner", &joinRun, "chat: joined 127.0.0.1:" + std::to_string(port) + " as bob"},
    };
    for (const Side& side : sides) {
        SCOPED_TRACE(side.who);
        ASSERT_FALSE(side.run->process.timedOut) << side.run->process.output;
        ASSERT_EQ(0, side.run->process.exitStatus) << side.run->process.output;
        const std::string header = ScreenText(side.run->shotPath, 8, 8);
        EXPECT_EQ(side.header, header.substr(0, side.header.size())) << header;
        EXPECT_EQ("alice: hi bob", ScreenText(side.run->shotPath, 8, 32));
        EXPECT_EQ("bob: hey alice", ScreenText(side.run->shotPath, 8, 44));
        EXPECT_EQ("alice: bye now", ScreenText(side.run->shotPath, 8, 56));
        EXPECT_EQ("", ScreenText(side.run->shotPath, 8, 68)) << "a message shown twice";
        EXPECT_EQ("> _", ScreenText(side.run->shotPath, 8, 460)) << "the typed line was not cleared";
    }
}

} // namespace
