// A session between this system's runtime and the Windows build's, over 127.0.0.1:
// the cross-built net_probe.exe runs under Wine (on a private Xvfb, for its window)
// and plays host or client against this build's net_probe and a raw peer. The wire
// is the same bytes on both; skipped where no Windows build or Wine is at hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/net/net_test_support.h"
#include "tests/support/xvfb.h"

using namespace corvane::nettest;

namespace {

std::string WindowsBuildProgram(const std::string& name) {
    const char* build = std::getenv("CORVANE_WIN_BUILD");
    std::filesystem::path dir = build && *build ? build : "build-win";
    if (dir.is_relative()) dir = std::filesystem::path(CORVANE_SOURCE_DIR) / dir;
    return (dir / "bin" / name).string();
}

std::string NextMessage(Probe& probe, const std::string& id) {
    for (int i = 0; i < 60; ++i) {
        std::string text = probe.Run("GetNetMessage " + id);
        if (!text.empty()) return text;
        probe.Run("Sleep 50");
    }
    return "<none>";
}

TEST(WindowsPeerTest, LinuxAndWindowsPlayOneSession) {
    const std::string exe = WindowsBuildProgram("net_probe.exe");
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << "no Windows build (" << exe << "): scripts/windows/build.sh";
    if (std::system("command -v wine > /dev/null 2>&1") != 0) GTEST_SKIP() << "Wine is not installed";
    corvane::testing::XvfbServer x;
    if (!x.running()) GTEST_SKIP() << "no Xvfb for the Windows program's window";
    const std::vector<std::string> windowsCommand = {std::string(CORVANE_SOURCE_DIR) + "/scripts/windows/wine-run.sh", exe};
    const std::vector<std::string> windowsEnv = {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=windows",
                                                 "CORVANE_NO_SOFTWARE_GL_BOX=1"};

    for (const bool windowsHosts : {true, false}) {
        SCOPED_TRACE(windowsHosts ? "Windows hosts" : "Linux hosts");
        Probe windows(windowsCommand, windowsEnv), linux;
        ASSERT_TRUE(windows.started());
        ASSERT_TRUE(linux.started());
        Probe& host = windowsHosts ? windows : linux;
        Probe& client = windowsHosts ? linux : windows;
        const int port = FreePort();
        ASSERT_EQ(host.Run("HostGame " + std::to_string(port)), "1");
        ASSERT_EQ(host.Run("CreatePlayer h"), "101");
        ASSERT_EQ(client.Run("JoinGame 127.0.0.1 " + std::to_string(port)), "1");
        ASSERT_EQ(client.Run("CreatePlayer c"), "103");  // the client's own connection took 102
        // A raw peer written from the wire tables joins the same session.
        RawPeer raw(port);
        EXPECT_EQ(JoinAs(raw, "raw", 0, 5000), 104);
        EXPECT_EQ(host.Run("GetPlayerCount"), "3");
        EXPECT_EQ(client.Run("GetPlayerName 101"), "h");

        for (const char* text : {"one", "two words"}) EXPECT_EQ(client.Run(std::string("SendNetMessage 103 101 ") + text), "1");
        EXPECT_EQ(NextMessage(host, "101"), "one");
        EXPECT_EQ(NextMessage(host, "101"), "two words");
        EXPECT_EQ(host.Run("SendNetMessage 101 0 to all"), "1");
        EXPECT_EQ(NextMessage(client, "103"), "to all");
        // The raw peer gets the same message as bytes, whichever system sent them.
        std::optional<Packet> toRaw;
        while ((toRaw = raw.Read(5000)) && toRaw->type != 3) {
        }
        ASSERT_TRUE(toRaw);
        EXPECT_EQ(toRaw->bytes.substr(4), Msg(3, -1, 101, "to all"));

        client.Send("Quit");
        EXPECT_EQ(client.Wait(10000), 0);
        host.Send("Quit");
        EXPECT_EQ(host.Wait(10000), 0);
    }
}

} // namespace
