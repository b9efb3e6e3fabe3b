// Window modes, the file dialog and the debugger breakpoint, seen from outside:
// the probe program runs each scenario as a real process, headless or under a
// private Xvfb whose display modes xrandr reports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "runtime/frame/file_dialog.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_dialog.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/xvfb.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

struct ProbeRun {
    ProcessResult process;
    std::map<std::string, std::vector<std::string>> seen;  // every value a key was reported with
    std::vector<std::string> log;                          // the run's error log
    std::string First(const std::string& key) const {
        auto it = seen.find(key);
        return it == seen.end() || it->second.empty() ? std::string("<none>") : it->second.front();
    }
    std::string Last(const std::string& key) const {
        auto it = seen.find(key);
        return it == seen.end() || it->second.empty() ? std::string("<none>") : it->second.back();
    }
    int LogCount(const std::string& line) const {
        int n = 0;
        for (const std::string& l : log) n += l == line;
        return n;
    }
};

// Each run gets its own temporary directory, so its error log is its own.
std::string FreshDir(const std::string& name) {
    static int counter = 0;
    std::string dir = TestTempDir() + name + "-" + std::to_string(++counter) + "/";
    mkdir(dir.c_str(), 0700);
    return dir;
}

ProbeRun RunProbe(const std::vector<std::string>& args, std::vector<std::string> env, double timeout = 30.0) {
    std::string dir = FreshDir("probe");
    env.push_back("TMPDIR=" + dir);
    std::vector<std::string> argv = {BuiltProgram("window_probe")};
    argv.insert(argv.end(), args.begin(), args.end());
    ProbeRun run;
    run.process = RunProcess(argv, env, timeout);
    size_t start = 0;
    const std::string& out = run.process.output;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos) run.seen[line.substr(0, eq)].push_back(line.substr(eq + 1));
        start = end + 1;
    }
    run.log = ErrorLogLines(dir, "window_probe");
    return run;
}

const std::vector<std::string> kHeadless = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};

} // namespace

// ---------------------------------------------------------------- headless

TEST(WindowModesHeadless, FullScreenStartDrawsLikeAWindowAndLeavingTakesHalfASecond) {
    ProbeRun run = RunProbe({"fs-draw"}, kHeadless);
    ASSERT_EQ(run.process.exitStatus, 0) << run.process.output;
    EXPECT_EQ(run.First("isFullscreen"), "1");
    EXPECT_EQ(run.First("drawable"), "640x480");
    EXPECT_EQ(run.LogCount("No Fullscreen Mode available"), 0);
    // The first attempt at the desktop's depth succeeds: the pixel format is not reported again.
    EXPECT_EQ(run.LogCount("OpenGL Software Emulation") + run.LogCount("OpenGL Hardware Support"), 1);
    // The rectangle lands on the same pixels in both modes.
    EXPECT_EQ(run.seen["inside_red"], (std::vector<std::string>{"255", "255"}));
    EXPECT_EQ(run.seen["outside_red"], (std::vector<std::string>{"0", "0"}));
    EXPECT_GE(std::atof(run.First("leave_ms").c_str()), 500.0);
    EXPECT_EQ(run.Last("isFullscreen"), "0");
    EXPECT_EQ(run.Last("drawable"), "640x480");
}

TEST(WindowModesHeadless, CloseBoxDuringAVideoEndsTheProgramCleanly) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg missing";
    std::string clip = TestTempDir() + "close.avi";
    std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=s=160x120:r=25:d=1 "
                      "-c:v mpeg4 '" + clip + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ProbeRun run = RunProbe({"video-close", clip}, kHeadless);
    EXPECT_EQ(run.process.exitStatus, 0) << run.process.output;
    EXPECT_FALSE(run.process.timedOut);
}

TEST(Breakpoint, TextIsTheLow32BitsInLowerCaseHex) {
    const struct { double value; const char* text; } cases[] = {
        {255, "BPff"}, {-1, "BPffffffff"}, {0, "BP0"}, {3.9, "BP3"}, {-3.9, "BPfffffffd"},
        {-2147483648.0, "BP80000000"}, {0xABCDEF, "BPabcdef"},
    };
    for (const auto& c : cases) EXPECT_EQ(BreakpointText(c.value), c.text) << c.value;
}

TEST(Breakpoint, WrittenOnlyUnderATracerAndTheProgramGoesOn) {
    std::vector<std::string> probe = {BuiltProgram("window_probe"), "breakpoint", "255", "-1", "0"};
    std::vector<std::string> traced = {BuiltProgram("tiny_tracer")};
    traced.insert(traced.end(), probe.begin(), probe.end());
    std::vector<std::string> env = kHeadless;
    env.push_back("TMPDIR=" + FreshDir("bp"));
    std::vector<std::string> tracedEnv = env;
    // A leak check stops the threads with ptrace, which a traced process cannot.
    const char* asan = std::getenv("ASAN_OPTIONS");
    tracedEnv.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
    ProcessResult underTracer = RunProcess(traced, tracedEnv, 30.0);
    EXPECT_EQ(underTracer.exitStatus, 0) << underTracer.output;
    EXPECT_NE(underTracer.output.find("BPff\nBPffffffff\nBP0\n"), std::string::npos) << underTracer.output;
    EXPECT_NE(underTracer.output.find("paused=0"), std::string::npos) << underTracer.output;

    ProcessResult alone = RunProcess(probe, env, 30.0);
    EXPECT_EQ(alone.exitStatus, 0) << alone.output;
    EXPECT_EQ(alone.output.find("BP"), std::string::npos) << alone.output;
}

TEST(DialogDirectory, ACurrentDirectoryLongerThanAnyBufferComesBackWhole) {
    std::string start = platform::CurrentDirectory();
    ASSERT_FALSE(start.empty());
    ASSERT_TRUE(platform::SetCurrentDirectory(TestTempDir()));
    std::string expected = platform::CurrentDirectory();
    const std::string part(200, 'd');
    for (int i = 0; i < 25; ++i) {  // about 5000 bytes, past PATH_MAX
        mkdir(part.c_str(), 0700);
        ASSERT_TRUE(platform::SetCurrentDirectory(part));
        expected += "/" + part;
    }
    EXPECT_EQ(platform::CurrentDirectory(), expected);
    platform::SetCurrentDirectory(start);
}

TEST(DialogFilter, PairsAndPatternsAsTheDialogGetsThem) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const struct { std::string filter; Pairs pairs; } cases[] = {
        {"Images", {{"Images", ""}}},
        {"Bitmaps|*.bmp|All|*.*", {{"Bitmaps", "*.bmp"}, {"All", "*.*"}}},
        {"A|*.a|", {{"A", "*.a"}}},
        {"A||B|*.b", {{"A", ""}}},                       // an empty pattern ends the list
        {"", {}},
        {"|*.x", {}},                                    // an empty description ends it too
        {"Q|'$(rm -rf /)';\"x\"", {{"Q", "'$(rm -rf /)';\"x\""}}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDialogFilter(c.filter), c.pairs) << c.filter;

    // Cut at 1022 bytes: the rest of a longer text is not read.
    std::string longText = "D|" + std::string(1018, 'p') + "XYZ";
    Pairs cut = ParseDialogFilter(longText);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].second, std::string(1018, 'p') + "XY");

    const struct { const char* in; const char* out; } patterns[] = {
        {"*.bmp", "*.[bB][mM][pP]"}, {"*.*", "*"}, {"", "*"}, {"*.bmp;*.jpg", "*.[bB][mM][pP] *.[jJ][pP][gG]"},
        {"*.*;*.txt", "* *.[tT][xX][tT]"}, {"a1_.b", "[aA]1_.[bB]"}, {"*.wav; *.ogg", "*.[wW][aA][vV] *.[oO][gG][gG]"},
    };
    for (const auto& p : patterns) EXPECT_EQ(DialogPatterns(p.in), p.out) << p.in;
}

// ---------------------------------------------------------------- under Xvfb

namespace {

// An Xvfb (1024 x 768) whose output also offers 640 x 480 when asked.
struct ModeServer {
    XvfbServer x;
    explicit ModeServer(bool with640) {
        if (x.running() && with640)
            x.Shell("xrandr --newmode \"640x480\" 25.175 640 656 752 800 480 490 492 525 -hsync -vsync;"
                    " xrandr --addmode screen 640x480");
    }
    std::string Mode() const {
        std::string line = x.Shell("xrandr | head -n 1");
        size_t at = line.find("current ");
        if (at == std::string::npos) return line;
        size_t end = line.find(',', at);
        return line.substr(at + 8, end - at - 8);
    }
    std::vector<std::string> Env(const std::string& path = "") const {
        std::vector<std::string> env = {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"};
        if (!path.empty()) env.push_back("PATH=" + path);
        return env;
    }
};

// A stand-in for zenity: for a file selection it records its arguments (NUL
// after each), the window's map state and the display mode at that moment, then
// prints the set answer (or leaves a process that prints it later) and exits with
// the set status. As the message box SDL
// shows, it just says OK.
std::string StandInZenityDir() {
    static std::string dir;
    if (!dir.empty()) return dir;
    dir = TestTempDir() + "standin-bin/";
    mkdir(dir.c_str(), 0700);
    WriteFile(dir + "zenity",
              "#!/bin/sh\n"
              "case \"$1\" in --file-selection) ;; *) exit 0 ;; esac\n"
              "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$STANDIN_DIR/args\"\n"
              "id=$(xwininfo -root -tree | grep '\"window_probe' | awk '{print $1}')\n"
              "xwininfo -id \"$id\" | grep 'Map State' > \"$STANDIN_DIR/state\"\n"
              "xrandr | head -n 1 >> \"$STANDIN_DIR/state\"\n"
              // With "late" the answer comes from a process it leaves behind, after it has ended.
              "if [ -e \"$STANDIN_DIR/late\" ]; then ( sleep 0.3; cat \"$STANDIN_DIR/answer\" ) &\n"
              "else cat \"$STANDIN_DIR/answer\" 2>/dev/null; fi\n"
              "exit $(cat \"$STANDIN_DIR/status\" 2>/dev/null || echo 0)\n");
    chmod((dir + "zenity").c_str(), 0755);
    return dir;
}

std::vector<std::string> SplitNul(const std::string& bytes) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        out.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

} // namespace

TEST(WindowModesXvfb, DesktopModeComesBackOnEveryWayOut) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb missing";
    ModeServer server(true);
    ASSERT_TRUE(server.x.running());
    std::string path = StandInZenityDir() + ":" + std::getenv("PATH");
    // A crash ends as it would without the restoring handler: the windowed run of
    // the same scenario, which never installs it, says how (a sanitizer build
    // turns both into an abort).
    const struct { const char* scenario; const char* baseline; } cases[] = {
        {"fs-normal", nullptr}, {"fs-quit", nullptr}, {"fs-exit", nullptr}, {"fs-term", nullptr},
        {"fs-segv", "segv"}, {"fs-abort", "abort"},
    };
    for (const auto& c : cases) {
        int status = 0, signal = 0;
        if (c.baseline) {
            ProbeRun windowed = RunProbe({c.baseline}, server.Env(path));
            EXPECT_EQ(windowed.First("isFullscreen"), "0");
            EXPECT_NE(windowed.process.signal, 0) << c.baseline;
            status = windowed.process.exitStatus;
            signal = windowed.process.signal;
        }
        ProbeRun run = RunProbe({c.scenario}, server.Env(path));
        EXPECT_EQ(run.First("isFullscreen"), "1") << c.scenario << run.process.output;
        EXPECT_EQ(run.First("drawable"), "640x480") << c.scenario;
        EXPECT_EQ(run.First("mode_during"), "640 x 480") << c.scenario;
        EXPECT_EQ(run.process.exitStatus, status) << c.scenario << run.process.output;
        EXPECT_EQ(run.process.signal, signal) << c.scenario;
        EXPECT_EQ(server.Mode(), "1024 x 768") << c.scenario;
    }
}

TEST(WindowModesXvfb, CloseBoxInFullScreenRestoresTheMode) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb missing";
    ModeServer server(true);
    ASSERT_TRUE(server.x.running());
    std::string path = StandInZenityDir() + ":" + std::getenv("PATH");
    auto run = std::async(std::launch::async, [&] { return RunProbe({"fs-wait"}, server.Env(path), 40.0); });
    std::string id = server.x.FindWindow("window_probe", 20.0);
    ASSERT_FALSE(id.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(server.Mode(), "640 x 480");
    std::string info = server.x.Shell("xwininfo -id " + id);
    EXPECT_NE(info.find("Absolute upper-left X:  0\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Absolute upper-left Y:  0\n"), std::string::npos) << info;
    server.x.Shell(BuiltProgram("x11_close") + " " + id);
    ProbeRun done = run.get();
    EXPECT_EQ(done.process.exitStatus, 0) << done.process.output;
    EXPECT_EQ(server.Mode(), "1024 x 768");
}

TEST(WindowModesXvfb, MissingModeFallsBackOnceAndDepth16TakesTheSecondAttempt) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb missing";
    std::string path = StandInZenityDir() + ":" + std::getenv("PATH");
    {
        ModeServer server(false);
        ASSERT_TRUE(server.x.running());
        ProbeRun run = RunProbe({"fs-normal"}, server.Env(path));
        EXPECT_EQ(run.process.exitStatus, 0) << run.process.output;
        EXPECT_EQ(run.LogCount("No Fullscreen Mode available"), 1);
        EXPECT_EQ(run.First("isFullscreen"), "0");
        EXPECT_EQ(run.First("drawable"), "640x480");
        EXPECT_EQ(server.Mode(), "1024 x 768");
    }
    {
        ModeServer server(true);
        ASSERT_TRUE(server.x.running());
        ProbeRun run = RunProbe({"bits16"}, server.Env(path));
        EXPECT_EQ(run.process.exitStatus, 0) << run.process.output;
        EXPECT_EQ(run.First("result"), "1");
        EXPECT_EQ(run.Last("colorBits"), "32");  // the desktop's, after the second attempt
        EXPECT_EQ(run.LogCount("OpenGL Software Emulation") + run.LogCount("OpenGL Hardware Support"), 2);
        EXPECT_EQ(run.LogCount("No Fullscreen Mode available"), 0);
    }
}

TEST(FileDialog, NoDialogWithoutADisplayOrWithoutZenity) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb missing";
    ModeServer server(false);
    ASSERT_TRUE(server.x.running());
    // Offscreen, even with a live display named: nothing is shown there.
    std::vector<std::string> env = kHeadless;
    env.push_back("DISPLAY=" + server.x.display());
    ProbeRun headless = RunProbe({"dialog", "1", "All|*.*"}, env);
    EXPECT_EQ(headless.First("answer"), "NO_FILE") << headless.process.output;
    EXPECT_LT(std::atof(headless.First("dialog_ms").c_str()), 1000.0);
    EXPECT_NE(headless.process.output.find("FileDialog: no display"), std::string::npos);
    EXPECT_EQ(server.x.Shell("xwininfo -root -tree").find("zenity"), std::string::npos);

    // No zenity on PATH: SDL's own warning box comes instead of the stand-in's.
    std::string empty = TestTempDir() + "empty-bin";
    mkdir(empty.c_str(), 0700);
    auto run = std::async(std::launch::async, [&] { return RunProbe({"dialog", "0", ""}, server.Env(empty)); });
    server.x.AnswerSoftwareWarning(8.0);
    ProbeRun missing = run.get();
    EXPECT_EQ(missing.First("answer"), "NO_FILE") << missing.process.output;
    EXPECT_NE(missing.process.output.find("FileDialog: zenity is not installed"), std::string::npos);
}

TEST(FileDialog, ArgumentsAnswersAndTheWindowAroundTheDialog) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb missing";
    ModeServer server(true);
    ASSERT_TRUE(server.x.running());
    std::string bin = StandInZenityDir();
    std::string path = bin + ":" + std::getenv("PATH");
    std::string work = FreshDir("dialog");
    const std::string longFilter = "Long|" + std::string(4995, '7');
    const std::string longAnswer = "/" + std::string(599, 'a');
    const struct {
        const char* scenario;
        const char* open;
        std::string filter;
        std::string answer;     // what the stand-in prints
        int status;             // its exit status
        std::string expected;   // FileDialog's result
        std::vector<std::string> filterArgs;
    } cases[] = {
        {"dialog", "1", "Bitmaps|*.bmp;*.BMP|All|*.*", "/tmp/x.bmp\n", 0, "/tmp/x.bmp",
         {"--file-filter=Bitmaps | *.[bB][mM][pP] *.[bB][mM][pP]", "--file-filter=All | *"}},
        {"dialog", "0", "Q|'$(:>1)';\"2\"", "a\\b\n", 0, "a/b", {"--file-filter=Q | '$(:>1)' \"2\""}},
        {"dialog", "1", "Images", "", 0, "NO_FILE", {"--file-filter=Images | *"}},
        {"dialog", "1", longFilter, longAnswer + "\n", 0, longAnswer, {"--file-filter=Long | " + std::string(1017, '7')}},
        {"dialog", "1", "", "/chosen\n", 1, "NO_FILE", {}},
        {"fs-dialog", "1", "", "/from/fullscreen\n", 0, "/from/fullscreen", {}},
    };
    for (const auto& c : cases) {
        WriteFile(work + "answer", c.answer);
        WriteFile(work + "status", std::to_string(c.status));
        unlink((work + "args").c_str());
        std::vector<std::string> env = server.Env(path);
        env.push_back("STANDIN_DIR=" + work);
        ProbeRun run = RunProbe({c.scenario, c.open, c.filter}, env);
        SCOPED_TRACE(c.filter.substr(0, 40));
        EXPECT_EQ(run.process.exitStatus, 0) << run.process.output;
        EXPECT_EQ(run.Last("answer"), c.expected);
        EXPECT_EQ(run.Last("cwd_kept"), "1");
        std::vector<std::string> args = SplitNul(ReadFile(work + "args"));
        ASSERT_GE(args.size(), 2u);
        EXPECT_EQ(args[0], "--file-selection");
        bool save = std::string(c.open) == "0";
        EXPECT_EQ(args[1] == "--save", save);
        std::vector<std::string> filters;
        for (const std::string& a : args) {
            if (a.rfind("--filename=", 0) == 0) {
                EXPECT_EQ(a.back(), '/');
            }
            if (a.rfind("--file-filter=", 0) == 0) filters.push_back(a);
        }
        EXPECT_EQ(filters, c.filterArgs);
        // During the dialog the window is hidden and the desktop mode is back.
        std::string state = ReadFile(work + "state");
        EXPECT_NE(state.find("IsUnMapped"), std::string::npos) << state;
        EXPECT_NE(state.find("current 1024 x 768"), std::string::npos) << state;
        // After it the window is back as it was started, active.
        bool fullscreen = std::string(c.scenario) == "fs-dialog";
        EXPECT_EQ(run.Last("isFullscreen"), fullscreen ? "1" : "0");
        EXPECT_EQ(run.Last("drawable"), "640x480");
        EXPECT_EQ(run.Last("position"), run.First("position"));
        EXPECT_EQ(run.Last("paused"), "0");
        EXPECT_EQ(run.Last("mode_after"), fullscreen ? "640 x 480" : "1024 x 768");
    }
}

TEST(FileDialogAnswer, EveryByteIsReadWhenEverTheProgramEnds) {
    // No window: the platform's dialog is run directly, the stand-in on PATH.
    std::string standin = TestTempDir() + "standin-answer/";
    mkdir(standin.c_str(), 0700);
    std::string path = StandInZenityDir() + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    setenv("STANDIN_DIR", standin.c_str(), 1);
    const std::string longPath = "/" + std::string(100000, 'x') + ".it";
    const struct {
        const char* what;
        std::string printed;
        bool late;
        int status;
        bool chosen;
        std::string answer;
    } cases[] = {
        {"at once", "/music/song.it\n", false, 0, true, "/music/song.it"},
        {"after the program ended", "/music/late.it\n", true, 0, true, "/music/late.it"},
        {"longer than the pipe holds", longPath + "\n", false, 0, true, longPath},
        {"cancelled", "", false, 1, false, ""},
        {"nothing chosen", "", false, 0, false, ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(standin + "answer", c.printed));
        ASSERT_TRUE(WriteFile(standin + "status", std::to_string(c.status)));
        if (c.late) ASSERT_TRUE(WriteFile(standin + "late", ""));
        else std::remove((standin + "late").c_str());
        std::string answer = "stale";
        platform::FileDialogRequest request;
        request.directory = standin;
        EXPECT_EQ(platform::RunFileDialog(request, &answer, nullptr), c.chosen) << c.what;
        EXPECT_EQ(answer, c.answer) << c.what;
    }
}
