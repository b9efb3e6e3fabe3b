// POSIX implementation of files, directory listing, processes and the machine id.
#include "runtime/platform/platform_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace corvane::platform {

namespace {

int OpenRegularForReading(const char* path) {
    if (!path || !*path) return -1;
    // Without O_NONBLOCK, opening a FIFO that has no writer would wait forever.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    // A directory opens on POSIX but never counts as a file here.
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return -1;
    }
    // Reads block as usual again (a FIFO without a writer reads as its end).
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t w = write(fd, data, size);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

} // namespace

bool IsReadableFile(const char* path) {
    int fd = OpenRegularForReading(path);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::FILE* OpenFileForReading(const char* path) {
    int fd = OpenRegularForReading(path);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "rb");
    if (!f) close(fd);
    return f;
}

bool CopyFileContents(const char* source, const char* target) {
    if (!target || !*target) return false;
    int in = OpenRegularForReading(source);
    if (in < 0) return false;
    struct stat srcStat;
    if (fstat(in, &srcStat) != 0) {
        close(in);
        return false;
    }
    // Creating the target truncates it; when it is the source itself that would
    // destroy the data being copied.
    struct stat dstStat;
    if (stat(target, &dstStat) == 0 && dstStat.st_dev == srcStat.st_dev && dstStat.st_ino == srcStat.st_ino) {
        close(in);
        return false;
    }
    int out = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    static constexpr size_t kChunk = 64 * 1024;
    std::vector<char> buffer(kChunk);
    off_t left = srcStat.st_size;
    bool ok = true;
    while (left > 0) {
        size_t want = left < static_cast<off_t>(kChunk) ? static_cast<size_t>(left) : kChunk;
        ssize_t got = read(in, buffer.data(), want);
        if (got < 0 && errno == EINTR) continue;
        if (got != static_cast<ssize_t>(want) || !WriteAll(out, buffer.data(), want)) {
            ok = false;
            break;
        }
        left -= got;
    }
    close(in);
    if (close(out) != 0) ok = false;
    if (!ok) unlink(target);
    return ok;
}

bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    DIR* dir = opendir(path && *path ? path : ".");
    if (!dir) return false;
    int dirFd = dirfd(dir);
    while (struct dirent* e = readdir(dir)) {
        DirectoryEntry entry;
        entry.name = e->d_name;
        if (e->d_type == DT_DIR) {
            entry.isDirectory = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            entry.isDirectory = fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return true;
}

// ---------------------------------------------------------------- processes

namespace {

// Children started without waiting are reaped here so that they leave no zombies.
std::mutex unreapedMutex;
std::vector<pid_t> unreaped;

void ReapFinished() {
    std::lock_guard<std::mutex> lock(unreapedMutex);
    for (size_t i = 0; i < unreaped.size();) {
        int status = 0;
        pid_t r = waitpid(unreaped[i], &status, WNOHANG);
        if (r == unreaped[i] || (r < 0 && errno == ECHILD)) {
            unreaped[i] = unreaped.back();
            unreaped.pop_back();
        } else {
            ++i;
        }
    }
}

bool IsShellSpecial(char c) {
    return std::strchr("|&;<>()$`\\\"'*?[]#~=%{}!", c) != nullptr;
}

bool IsShellBuiltin(const std::string& word) {
    static const char* const kBuiltins[] = {
        ".", ":", "[", "alias", "bg", "break", "cd", "command", "continue", "echo", "eval", "exec",
        "exit", "export", "false", "fg", "getopts", "hash", "jobs", "kill", "printf", "pwd", "read",
        "readonly", "return", "set", "shift", "test", "times", "trap", "true", "type", "ulimit",
        "umask", "unalias", "unset", "wait", "if", "while", "until", "for", "case", "!", "{"};
    for (const char* b : kBuiltins) {
        if (word == b) return true;
    }
    return false;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

bool ShellCommandProgramFound(const char* commandLine) {
    if (!commandLine) return false;
    const char* p = commandLine;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    if (!*p) return false;
    std::string word;
    while (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
        // Anything the shell itself expands is left to the shell to judge.
        if (IsShellSpecial(*p)) return true;
        word.push_back(*p++);
    }
    if (IsShellBuiltin(word)) return true;
    if (word.find('/') != std::string::npos) return IsExecutableFile(word);
    const char* pathEnv = std::getenv("PATH");
    std::string paths = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        std::string dir = paths.substr(start, end - start);
        if (dir.empty()) dir = ".";
        if (IsExecutableFile(dir + "/" + word)) return true;
        start = end + 1;
    }
    return false;
}

ProcessId StartShellCommand(const char* commandLine) {
    ReapFinished();
    if (!commandLine) return 0;
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    std::string command = commandLine;
    char* argv[] = {shell, dashC, command.data(), nullptr};
    // The new program gets the standard streams only, none of this program's
    // other descriptors (open files, sockets).
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return 0;
    pid_t pid = 0;
    int r = 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    r = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    if (r == 0) r = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) return 0;
    return static_cast<ProcessId>(pid);
}

bool ProcessHasEnded(ProcessId process, std::uint32_t* exitCode) {
    if (process <= 0) return true;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(static_cast<pid_t>(process), &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    std::uint32_t code = 0;
    if (r > 0) {
        if (WIFEXITED(status)) code = static_cast<std::uint32_t>(WEXITSTATUS(status));
        else if (WIFSIGNALED(status)) code = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    if (exitCode) *exitCode = code;
    return true;
}

void ReleaseProcess(ProcessId process) {
    if (process <= 0) return;
    int status = 0;
    if (waitpid(static_cast<pid_t>(process), &status, WNOHANG) != 0) return; // reaped or not ours
    std::lock_guard<std::mutex> lock(unreapedMutex);
    unreaped.push_back(static_cast<pid_t>(process));
}

// ---------------------------------------------------------------- machine

bool MachineSerialNumber(std::uint32_t* serial) {
    static const char* const kFiles[] = {"/etc/machine-id", "/var/lib/dbus/machine-id"};
    for (const char* path : kFiles) {
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char text[8];
        ssize_t n = read(fd, text, sizeof text);
        close(fd);
        if (n != static_cast<ssize_t>(sizeof text)) continue;
        std::uint32_t value = 0;
        bool ok = true;
        for (char c : text) {
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else {
                ok = false;
                break;
            }
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        if (!ok) continue;
        if (serial) *serial = value;
        return true;
    }
    return false;
}

} // namespace corvane::platform
