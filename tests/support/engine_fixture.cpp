#include "runtime/engine/engine_state.h"
#include "tests/support/engine_fixture.h"

#include <GL/gl.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <fcntl.h>

#include "tests/support/windows_compat.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "runtime/frame/frame_internal.h"
#include "runtime/gfx2d/quad_batch.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace corvane::testing {

namespace {


std::string& TempDirStorage() {
    static std::string dir;
    return dir;
}

void PrepareEnvironment() {
    static bool done = false;
    if (done) return;
    done = true;
#ifdef _WIN32
    // SDL's Windows build draws GL only in real windows (Wine on Xvfb here), so
    // the software-GL box would really show and wait: off for this process and the
    // programs it starts. Sound goes to the disk driver, into nothing.
    setenv("SDL_VIDEODRIVER", "windows", 0);
    setenv("CORVANE_NO_SOFTWARE_GL_BOX", "1", 0);
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "NUL", 0);
#else
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
#endif
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // A test must never open a message box on someone's display and wait there.
    if (std::strcmp(std::getenv("SDL_VIDEODRIVER"), "offscreen") == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    const char* base = std::getenv("TMPDIR");
#ifdef _WIN32
    if (!base || !*base) base = std::getenv("TEMP");
#endif
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/corvane-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) {
#ifdef _WIN32
        // Spelled as the runtime gives paths back: '/' between parts.
        for (char& c : buf) {
            if (c == '\\') c = '/';
        }
#endif
        TempDirStorage() = std::string(buf.data()) + "/";
        setenv("TMPDIR", buf.data(), 1);
    }
}

} // namespace

std::string TestTempDir() {
    PrepareEnvironment();
    return TempDirStorage();
}

bool StartHeadlessEngine() {
    static int state = 0;  // 0 not tried, 1 running, 2 failed
    if (state) return state == 1;
    PrepareEnvironment();
    SetRuntimeDefaults();
    StartEngine(nullptr, nullptr, "", 1, kTestProgramName);
    state = engine.windowCreated ? 1 : 2;
    return state == 1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<std::string> ErrorLogLines(const std::string& tempDir, const std::string& program) {
    std::string text = ReadFile(tempDir + program + ".log");
#ifdef _WIN32
    // A program names its log after its executable's file name: "name.exe.log" here.
    if (text.empty()) text = ReadFile(tempDir + program + ".exe.log");
#endif
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

#ifndef _WIN32
ProcessResult RunProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                         double timeoutSeconds, const std::atomic<bool>* stop, int onlyStream) {
    ProcessResult result;
    if (args.empty()) return result;
    std::string outPath = TestTempDir() + "child-output-" + std::to_string(getpid()) + ".txt";

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const std::string& extra : extraEnv) {
        std::string name = extra.substr(0, extra.find('='));
        for (auto it = envStrings.begin(); it != envStrings.end();) {
            if (it->compare(0, name.size() + 1, name + "=") == 0) it = envStrings.erase(it);
            else ++it;
        }
        envStrings.push_back(extra);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv;
    for (std::string& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int kept = onlyStream == 2 ? 2 : 1;
    posix_spawn_file_actions_addopen(&actions, kept, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (onlyStream == 0) posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else posix_spawn_file_actions_addopen(&actions, 3 - kept, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return result;
    result.started = true;

    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline || (stop && stop->load())) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.output = ReadFile(outPath);
    unlink(outPath.c_str());
    return result;
}

#endif

std::string TextLines(std::string text) {
#ifdef _WIN32
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
    return out;
#else
    return text;
#endif
}

// dup, dup2, open and close are in the Windows C library too (io.h).
std::string CaptureStandardError(const std::function<void()>& fn) {
    static int captures = 0;
    const std::string path = TestTempDir() + "stderr-" + std::to_string(++captures) + ".txt";
    std::fflush(stderr);
    const int saved = dup(2);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (saved < 0 || file < 0) {
        if (saved >= 0) close(saved);
        if (file >= 0) close(file);
        fn();
        return std::string();
    }
    dup2(file, 2);
    close(file);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text = ReadFile(path);
    unlink(path.c_str());
    return TextLines(text);
}

bool ShellToolsAvailable() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

std::string BuiltProgram(const std::string& name) {
    std::string path = std::string(CORVANE_BINARY_DIR_SUPPORT) + "/bin/" + name;
#ifdef _WIN32
    if (name.find('.') == std::string::npos) path += ".exe";
    // Spelled as the runtime gives paths back there: with its drive, '/' between parts.
    char full[4096];
    if (_fullpath(full, path.c_str(), sizeof full)) path = full;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
#endif
    return path;
}

std::vector<unsigned char> ReadBackBuffer(int x, int y, int width, int height) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    corvane::FlushQuads(); // the 2D quads drawn so far are part of the picture
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

} // namespace corvane::testing
