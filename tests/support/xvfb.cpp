#include "tests/support/xvfb.h"

#include "tests/support/engine_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::testing {

namespace {

bool OnPath(const char* tool) {
    std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

} // namespace

bool HaveXvfb() { return OnPath("Xvfb") && OnPath("xwininfo") && OnPath("xdotool"); }

XvfbServer::XvfbServer() {
    if (!HaveXvfb()) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fdText = std::to_string(fds[1]);
    // -noreset: without it the server resets whenever its last client leaves, and a
    // program connecting during that reset is refused (seen as a rare "no display").
    const char* argv[] = {"Xvfb", "-displayfd", fdText.c_str(), "-noreset", "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return;
    }
    pid_ = pid;
    // Xvfb writes its display number once it accepts connections; wait at most 10 s.
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    while (std::chrono::steady_clock::now() < deadline) {
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n == 1) {
            if (c == '\n') break;
            number.push_back(c);
        } else if (n == 0) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

void XvfbServer::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string XvfbServer::Shell(const std::string& command) const {
    std::string full = "DISPLAY=" + display_ + " timeout 10 sh -c '" + command + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(full.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string XvfbServer::FindWindow(const std::string& title, double timeoutSeconds) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    std::string quoted = "\"" + title + "\"";
    do {
        std::string tree = Shell("xwininfo -root -tree");
        size_t at = tree.find(quoted);
        while (at != std::string::npos) {
            size_t lineStart = tree.rfind('\n', at);
            lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
            size_t idStart = tree.find("0x", lineStart);
            if (idStart != std::string::npos && idStart < at) {
                size_t idEnd = tree.find(' ', idStart);
                return tree.substr(idStart, idEnd - idStart);
            }
            at = tree.find(quoted, at + 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::string();
}

bool XvfbServer::AnswerSoftwareWarning(double timeoutSeconds) const {
    std::string box = FindWindow("!!OpenGL Software Emulation!!", timeoutSeconds);
    if (box.empty()) return false;
    Shell("xdotool windowfocus " + box + " key Return");
    return true;
}

std::string XvfbServer::FindProgramWindow(const std::string& title) const {
    AnswerSoftwareWarning(8.0);
    // Paused, the window carries " <pause>" in its title; focus resumes it and
    // restores the title.
    std::string paused = FindWindow(title + " <pause>", 3.0);
    if (!paused.empty()) Shell("xdotool windowfocus " + paused);
    return FindWindow(title, 20.0);
}

bool XvfbServer::WindowOrigin(const std::string& id, int& left, int& top) const {
    left = top = -1;
    const std::string info = Shell("xwininfo -id " + id);
    const size_t x = info.find("Absolute upper-left X:"), y = info.find("Absolute upper-left Y:");
    if (x != std::string::npos) left = std::atoi(info.c_str() + x + 22);
    if (y != std::string::npos) top = std::atoi(info.c_str() + y + 22);
    return left >= 0 && top >= 0;
}

std::string XvfbServer::ScreenRgb(const std::string& scratchPath) const {
    Shell("import -window root -depth 8 rgb:" + scratchPath);
    std::string rgb = ReadFile(scratchPath);
    return rgb.size() == 1024u * 768u * 3u ? rgb : std::string();
}

} // namespace corvane::testing
