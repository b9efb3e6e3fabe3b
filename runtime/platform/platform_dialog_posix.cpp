// The file dialog as the `zenity` program, started with an argument vector (never
// through a shell), its answer read from a pipe while the caller keeps its window
// events flowing.
#include "runtime/platform/platform_dialog.h"

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace corvane::platform {

namespace {

pid_t g_dialog = 0;  // the running dialog program, 0 when none

// How long the pipe is still read, when empty, after the program has ended.
constexpr Uint32 kAnswerAfterEndMs = 1000;

void SayWhy(const char* why) {
    std::fprintf(stderr, "FileDialog: %s\n", why);
    std::fflush(stderr);
}

// The program's full path on PATH, or "" when there is none that can run.
std::string FindOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return std::string();
    std::string all(path);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        // An empty entry is the current directory.
        std::string full = end > start ? all.substr(start, end - start) : std::string(1, '.');
        full += '/';
        full.append(program);
        struct stat st;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
        start = end + 1;
    }
    return std::string();
}

bool DisplayCanShowDialogs() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    return !(driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0));
}

} // namespace

std::vector<std::string> FileDialogArguments(const FileDialogRequest& request) {
    std::vector<std::string> args = {"--file-selection"};
    if (request.save) args.push_back("--save");
    std::string dir = request.directory;
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    args.push_back("--filename=" + dir);
    for (const auto& [description, patterns] : request.filters)
        args.push_back("--file-filter=" + description + " | " + patterns);
    return args;
}

bool RunFileDialog(const FileDialogRequest& request, std::string* answer, void (*idle)()) {
    if (answer) answer->clear();
    if (g_dialog) return false;  // one dialog at a time
    if (!DisplayCanShowDialogs()) {
        SayWhy("no display to show a dialog on");
        return false;
    }
    std::string program = FindOnPath("zenity");
    if (program.empty()) {
        SayWhy("zenity is not installed");
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        SayWhy("no pipe for the dialog's answer");
        return false;
    }
    std::vector<std::string> args = FileDialogArguments(request);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        std::string why = std::string("zenity cannot start (") + std::strerror(rc) + ")";
        SayWhy(why.c_str());
        return false;
    }
    g_dialog = pid;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);

    std::string output;
    int status = 0;
    bool ended = false;
    bool pipeOpen = true;
    Uint32 endedAt = 0;
    while (!ended || pipeOpen) {
        if (pipeOpen) {
            char buf[4096];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n > 0) {
                output.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || errno != EAGAIN) {
                pipeOpen = false;  // end of file: every writer is gone
                continue;
            }
            // Nothing waiting. Once the program has ended, a process it left behind
            // may still hold the pipe: its answer is awaited a little, not forever.
            if (ended && SDL_GetTicks() - endedAt >= kAnswerAfterEndMs) {
                pipeOpen = false;
                continue;
            }
        }
        if (!ended) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid || (done < 0 && errno == ECHILD)) {
                ended = true;
                endedAt = SDL_GetTicks();
                // What it wrote before it ended is in the pipe now: read again
                // before concluding anything from the empty read above.
                continue;
            }
        }
        if (idle) idle();
        if (g_dialog == 0) break;  // ended from inside idle (the program is ending)
        SDL_Delay(10);
    }
    close(fds[0]);
    bool stillOurs = g_dialog == pid;
    g_dialog = 0;
    if (!stillOurs || !ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    if (output.empty()) return false;
    if (answer) *answer = output;
    return true;
}

void EndFileDialog() {
    pid_t pid = g_dialog;
    if (!pid) return;
    g_dialog = 0;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace corvane::platform
