// The music player as a user meets it: a real window under Xvfb, real clicks, the
// music in the audio output, the two lines on screen.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "runtime/frame/frame.h"
#include "runtime/gfx2d/gfx2d.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

using namespace corvane::testing;

namespace {

struct Screen {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // top row first
    bool Lit(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return p[0] > 128 && p[1] > 128 && p[2] > 128;
    }
};

bool ReadPpm(const std::string& path, Screen& s) {
    std::string bytes = ReadFile(path);
    int maxValue = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &s.width, &s.height, &maxValue, &consumed) != 3) return false;
    size_t need = static_cast<size_t>(s.width) * s.height * 3;
    if (bytes.size() < consumed + 1 + need) return false;
    s.rgb.assign(bytes.begin() + consumed + 1, bytes.begin() + consumed + 1 + need);
    return true;
}

// Seconds of 10 ms windows whose peak passes 1 % of full scale (16-bit stereo).
double AudibleSeconds(const std::string& raw, int rate) {
    std::string bytes = ReadFile(raw);
    const auto* s = reinterpret_cast<const short*>(bytes.data());
    size_t frames = bytes.size() / 4, window = static_cast<size_t>(rate) / 100;
    int loud = 0;
    for (size_t start = 0; start + window <= frames; start += window) {
        int peak = 0;
        for (size_t i = start * 2; i < (start + window) * 2; ++i) peak = std::max(peak, std::abs(int(s[i])));
        if (peak > 327) ++loud;
    }
    return loud * 0.01;
}

struct Session {
    std::string line1, line2;
    Screen screen;
    double audibleSeconds = 0;
    bool endedBeforeClick = false;
    ProcessResult process;
};

std::string ScreenText(const std::string& ppm, int x, int y) {
    std::string out;
    std::string cmd = BuiltProgram("screen-text") + " " + ppm + " " + std::to_string(x) + " " + std::to_string(y);
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// Runs the player in `dir` under a fresh Xvfb, acting as its user.
Session RunPlayer(const std::string& dir, bool holdButtonFirst) {
    Session session;
    XvfbServer x;
    if (!x.running()) return session;
    std::string out = TestTempDir();
    std::string music = out + "music.raw";
    unlink(music.c_str());
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({dir + "/fmod_player"},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=disk",
                           "SDL_DISKAUDIOFILE=" + out + "program.raw", "FMOD_DISKAUDIOFILE=" + music,
                           "TMPDIR=" + out},
                          60.0, &stop);
    });
    if (holdButtonFirst) {
        // Pressed while start-up still waits on the software-rendering box, the button
        // is held from before the first frame; once the box is answered the player
        // runs straight on to its wait. A corner of the window, clear of the box.
        std::string early = x.FindWindow("fmod_player", 20.0);
        if (!early.empty()) x.Shell("xdotool mousemove --window " + early + " 20 20 mousedown 1");
    }
    std::string id = x.FindProgramWindow("fmod_player");
    if (id.empty()) {
        stop = true;   // the window never came: no use waiting out the time limit
        session.process = run.get();
        return session;
    }

    // Wait for the two lines, reading the window back like a user's eyes.
    std::string ppm = out + "screen.ppm";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string geometry = x.Shell("xwininfo -id " + id);
        int wx = 0, wy = 0;
        size_t px = geometry.find("Absolute upper-left X:"), py = geometry.find("Absolute upper-left Y:");
        if (px != std::string::npos) wx = std::atoi(geometry.c_str() + px + 22);
        if (py != std::string::npos) wy = std::atoi(geometry.c_str() + py + 22);
        x.Shell("import -window root -crop 640x480+" + std::to_string(wx) + "+" + std::to_string(wy) +
                " +repage -depth 8 " + ppm);
        session.line2 = ScreenText(ppm, 100, 120);
        if (session.line2 == "click mouse to stop") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    session.line1 = ScreenText(ppm, 100, 100);
    ReadPpm(ppm, session.screen);

    std::this_thread::sleep_for(std::chrono::seconds(2));  // music plays meanwhile
    if (holdButtonFirst) {
        // The press held from before the frame must not end the wait.
        session.endedBeforeClick |= run.wait_for(std::chrono::milliseconds(500)) == std::future_status::ready;
        x.Shell("xdotool mouseup 1");
        session.endedBeforeClick |= run.wait_for(std::chrono::milliseconds(800)) == std::future_status::ready;
    }
    x.Shell("xdotool mousemove --window " + id + " 320 240 click 1");
    session.process = run.get();
    session.audibleSeconds = AudibleSeconds(music, 44100);
    return session;
}

std::string BinDir() { return std::string(CORVANE_BINARY_DIR) + "/bin"; }

} // namespace

TEST(PlayerEndToEnd, ShowsTheLoadResultPlaysMusicAndEndsOnANewClick) {
    if (!HaveXvfb() || std::system("command -v import >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb tools";
    Session s = RunPlayer(BinDir(), true);
    EXPECT_EQ(s.line1, "PLAY: yoshi1.it returns: 1");
    EXPECT_EQ(s.line2, "click mouse to stop");
    EXPECT_FALSE(s.endedBeforeClick);
    EXPECT_FALSE(s.process.timedOut);
    EXPECT_EQ(s.process.exitStatus, 0) << s.process.output;
    EXPECT_GT(s.audibleSeconds, 1.0);

    // Pixel for pixel, the lines are the same text drawn into a reference frame.
    ASSERT_EQ(s.screen.width, 640);
    ASSERT_TRUE(StartHeadlessEngine());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    corvane::PrintText(corvane::RtString("PLAY: yoshi1.it returns: 1"), 100, 100);
    corvane::PrintText(corvane::RtString("click mouse to stop"), 100, 120);
    std::vector<unsigned char> ref = ReadBackBuffer(0, 0, 640, 480);
    int differing = 0;
    for (int y = 90; y < 140; ++y)
        for (int x = 90; x < 400; ++x) {
            const unsigned char* p = &ref[(static_cast<size_t>(479 - y) * 640 + x) * 4];
            bool refLit = p[0] > 128 && p[1] > 128 && p[2] > 128;
            differing += refLit != s.screen.Lit(x, y);
        }
    EXPECT_EQ(differing, 0);
}

TEST(PlayerEndToEnd, WithoutTheLibraryShowsZeroAndStillEndsOnTheClick) {
    if (!HaveXvfb() || std::system("command -v import >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb tools";
    std::string dir = TestTempDir() + "nolib";
    std::string copy = "mkdir -p " + dir + " && cp " + BinDir() + "/fmod_player " + BinDir() + "/yoshi1.it " + dir;
    ASSERT_EQ(std::system(copy.c_str()), 0);
    Session s = RunPlayer(dir, false);
    EXPECT_EQ(s.line1, "PLAY: yoshi1.it returns: 0");
    EXPECT_EQ(s.line2, "click mouse to stop");
    EXPECT_FALSE(s.process.timedOut);
    EXPECT_EQ(s.process.exitStatus, 0) << s.process.output;
    EXPECT_LT(s.audibleSeconds, 0.05);
}

TEST(PlayerEndToEnd, EndsWithinTwoSecondsWhenTheDisplayGoesAway) {
    if (!HaveXvfb()) GTEST_SKIP() << "no Xvfb tools";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    std::string out = TestTempDir() + "display-lost/";
    ASSERT_EQ(std::system(("mkdir -p " + out).c_str()), 0);
    unlink((out + "fmod_player.log").c_str());
    std::atomic<bool> stop{false};
    auto run = std::async(std::launch::async, [&] {
        return RunProcess({BinDir() + "/fmod_player"},
                          {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "TMPDIR=" + out},
                          30.0, &stop);
    });
    std::string id = x.FindProgramWindow("fmod_player");
    if (id.empty()) stop = true;
    ASSERT_FALSE(id.empty()) << run.get().output;
    // The player draws its lines and waits for a click; then the server dies.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_NE(run.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    auto killed = std::chrono::steady_clock::now();
    x.Kill();
    bool ended = run.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
    if (!ended) stop = true;
    ProcessResult result = run.get();
    EXPECT_TRUE(ended) << "still running after " << seconds << " s";
    EXPECT_FALSE(result.timedOut);
    EXPECT_GT(result.exitStatus, 0) << result.output;    // exited by itself, not killed
    std::vector<std::string> log = ErrorLogLines(out, "fmod_player");
    EXPECT_TRUE(std::find(log.begin(), log.end(), "Display lost") != log.end()) << ReadFile(out + "fmod_player.log");
}
