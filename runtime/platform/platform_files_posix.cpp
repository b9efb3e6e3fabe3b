// POSIX implementation of files, directory listing, temporary files, processes and the machine id.
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_files_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace corvane::platform {

namespace {

std::string Found(const char* path) {
    std::string found;
    internal::FindExistingName(path, &found);
    return found;
}

// A descriptor opened with O_NONBLOCK, checked: -1 (closed) for a directory,
// else with blocking I/O restored.
int FinishOpen(int fd) {
    if (fd < 0) return -1;
    struct stat st;
    // A directory opens on POSIX but never counts as a file here.
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return -1;
    }
    int current = fcntl(fd, F_GETFL);
    if (current < 0 || fcntl(fd, F_SETFL, current & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Opens without waiting: a FIFO without its other end would block for ever.
// Returns with blocking I/O restored, or -1 (also for a directory).
int OpenNonBlocking(const std::string& path, int flags, mode_t mode) {
    if (path.empty()) return -1;
    return FinishOpen(open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode));
}

int OpenRegularForReading(const char* path) {
    int fd = -1;
    internal::TryPath(path, [&](const char* p) {
        fd = open(p, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        return fd >= 0;
    });
    return FinishOpen(fd);
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

std::FILE* StreamOf(int fd, const char* mode) {
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, mode);
    if (!f) close(fd);
    return f;
}

// Whether the permission bits let this process read the file, judged as the
// kernel would for the owner, group and others classes.
bool ModeAllowsReading(const struct stat& st) {
    static const uid_t euid = geteuid();
    if (euid == 0) return true;
    if (st.st_uid == euid) return (st.st_mode & S_IRUSR) != 0;
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> list(1, getegid());
        int n = getgroups(0, nullptr);
        if (n > 0) {
            std::vector<gid_t> more(static_cast<size_t>(n));
            n = getgroups(n, more.data());
            if (n > 0) list.insert(list.end(), more.begin(), more.begin() + n);
        }
        return list;
    }();
    for (gid_t g : groups) {
        if (g == st.st_gid) return (st.st_mode & S_IRGRP) != 0;
    }
    return (st.st_mode & S_IROTH) != 0;
}

bool ReadAll(int fd, std::vector<unsigned char>& bytes, std::size_t limit) {
    bytes.clear();
    std::size_t used = 0;
    for (;;) {
        if (used == limit) return true;
        std::size_t room = std::min<std::size_t>(limit - used, std::size_t{1} << 20);
        bytes.resize(used + room);
        ssize_t got = read(fd, bytes.data() + used, room);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            bytes.clear();
            return false;
        }
        used += static_cast<std::size_t>(got);
        bytes.resize(used);
        if (got == 0) return true;
    }
}

// A new or emptied file at a name of the runtime's own, never through a link:
// a link, or a file that is not a plain file, is removed and a fresh file made.
int CreateOwnFile(const std::string& path, int flags, mode_t mode) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(path.c_str(), flags | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (attempt ? O_EXCL : 0),
                      mode);
        if (fd >= 0) {
            struct stat st;
            if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
                int current = fcntl(fd, F_GETFL);
                if (current >= 0 && fcntl(fd, F_SETFL, current & ~O_NONBLOCK) == 0) return fd;
            }
            close(fd);
        } else if (errno != ELOOP && errno != EACCES && errno != EPERM && errno != ENXIO &&
                   errno != EEXIST && errno != EISDIR) {
            return -1;
        }
        if (attempt == 0 && unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    }
    return -1;
}

} // namespace

std::string ReadProblem(const char* path) {
    if (!path || !*path) return "no file name";
    const std::string found = SystemPath(path);
    struct stat st;
    if (stat(found.c_str(), &st) != 0) return errno == EACCES ? "permission denied" : "not found";
    if (S_ISDIR(st.st_mode)) return "a folder, not a file";
    const int fd = OpenNonBlocking(found, O_RDONLY, 0);
    if (fd < 0) return errno == EACCES || errno == EPERM ? "permission denied" : "unreadable";
    close(fd);
    return std::string();
}

std::string WriteProblem(const char* path) {
    if (!path || !*path) return "no file name";
    const std::string found = SystemPath(path);
    struct stat st;
    if (stat(found.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return "a folder, not a file";
        return access(found.c_str(), W_OK) == 0 ? std::string() : "permission denied";
    }
    const std::string::size_type slash = found.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : found.substr(0, slash));
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "folder not found";
    return access(folder.c_str(), W_OK) == 0 ? std::string() : "permission denied";
}

bool IsReadableFile(const char* path) {
    struct stat st;
    std::string found;
    // One look-up for the common case; the bits cannot speak for access lists
    // that grant more, so a refusal is checked by opening.
    if (!internal::TryPath(path, [&](const char* p) {
            found = p;
            return stat(p, &st) == 0;
        })) {
        return false;
    }
    if (S_ISDIR(st.st_mode)) return false;
    if (ModeAllowsReading(st)) return true;
    int fd = OpenNonBlocking(found, O_RDONLY, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::FILE* OpenFileForReading(const char* path) { return StreamOf(OpenRegularForReading(path), "rb"); }

bool ReadFileBytes(const char* path, std::vector<unsigned char>& bytes, std::size_t limit) {
    int fd = OpenRegularForReading(path);
    if (fd < 0) {
        bytes.clear();
        return false;
    }
    bool ok = ReadAll(fd, bytes, limit);
    close(fd);
    return ok;
}

bool GetFileInfo(const char* path, FileInfo* info) {
    struct stat st;
    if (!internal::TryPath(path, [&](const char* p) { return stat(p, &st) == 0; })) return false;
    if (info) {
        info->isDirectory = S_ISDIR(st.st_mode);
        info->size = static_cast<std::uint64_t>(st.st_size);
        info->modifiedSeconds = static_cast<std::int64_t>(st.st_mtime);
    }
    return true;
}

std::FILE* CreateFileForWriting(const char* path) {
    if (!path || !*path) return nullptr;
    return StreamOf(OpenNonBlocking(Found(path), O_WRONLY | O_CREAT | O_TRUNC, 0644), "wb");
}

bool WriteFileBytes(const char* path, const void* data, std::size_t size) {
    if (!path || !*path || (size > 0 && !data)) return false;
    std::string found = Found(path);
    int fd = OpenNonBlocking(found, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, static_cast<const char*>(data), size);
    if (close(fd) != 0) ok = false;
    if (!ok) unlink(found.c_str());
    return ok;
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
    std::string targetPath = Found(target);
    // Creating the target truncates it; when it is the source itself that would
    // destroy the data being copied.
    struct stat dstStat;
    if (stat(targetPath.c_str(), &dstStat) == 0 && dstStat.st_dev == srcStat.st_dev &&
        dstStat.st_ino == srcStat.st_ino) {
        close(in);
        return false;
    }
    int out = OpenNonBlocking(targetPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    if (!ok) unlink(targetPath.c_str());
    return ok;
}

bool RenameFile(const char* from, const char* to) {
    if (!from || !*from || !to || !*to) return false;
    std::string source;
    if (!internal::FindExistingName(from, &source)) return false;
    return rename(source.c_str(), Found(to).c_str()) == 0;
}

bool DeleteFileAt(const std::string& path) {
    return internal::TryPath(path.c_str(), [](const char* p) { return unlink(p) == 0; });
}

bool MakeDirectory(const char* path) {
    if (!path || !*path) return false;
    std::string found = Found(path);
    if (mkdir(found.c_str(), 0755) == 0) return true;
    struct stat st;
    return errno == EEXIST && stat(found.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------- directories

bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    DIR* dir = nullptr;
    if (!path || !*path) path = ".";
    internal::TryPath(path, [&](const char* p) { return (dir = opendir(p)) != nullptr; });
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
    // The file system's own order is a hash order on many systems; programs get
    // the order a Windows listing would give.
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        const std::size_t n = std::min(a.name.size(), b.name.size());
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(a.name[i]), y = static_cast<unsigned char>(b.name[i]);
            unsigned char fx = (x >= 'A' && x <= 'Z') ? x + 32 : x, fy = (y >= 'A' && y <= 'Z') ? y + 32 : y;
            if (fx != fy) return fx < fy;
        }
        if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
        return a.name < b.name;
    });
    return true;
}

std::string CurrentDirectory() {
    // Any length: a directory cut short would send later file commands elsewhere.
    char* buf = getcwd(nullptr, 0);
    if (!buf) return std::string();
    std::string dir(buf);
    std::free(buf);
    return dir;
}

bool SetCurrentDirectory(const std::string& path) {
    return internal::TryPath(path.c_str(), [](const char* p) { return chdir(p) == 0; });
}

// ---------------------------------------------------------------- temporary files

std::FILE* CreateTemporaryFile(const std::string& path) {
    if (path.empty()) return nullptr;
    return StreamOf(CreateOwnFile(path, O_WRONLY | O_TRUNC, 0600), "wb");
}

bool AppendLineToFile(const std::string& path, const std::string& text) {
    if (path.empty()) return false;
    int fd = CreateOwnFile(path, O_WRONLY | O_APPEND, 0644);
    if (fd < 0) return false;
    std::string line = text;
    line += "\r\n";
    bool ok = WriteAll(fd, line.data(), line.size());
    if (close(fd) != 0) ok = false;
    return ok;
}

bool DeleteTemporaryFile(const std::string& path) { return !path.empty() && unlink(path.c_str()) == 0; }

// ---------------------------------------------------------------- processes

namespace {

// Children started without waiting are reaped here so that they leave no zombies.
std::mutex unreapedMutex;
std::vector<pid_t> unreaped;

void ReapFinished();

} // namespace

void ReapReleasedProcesses() { ReapFinished(); }

namespace {

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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A first word naming a program by path ("Tools\Helper") is found as any other
// file name; the command keeps the rest of its text as written.
std::string WithProgramFound(const char* commandLine) {
    std::string command = commandLine ? commandLine : "";
    std::size_t start = 0;
    while (start < command.size() && IsBlank(command[start])) ++start;
    std::size_t end = start;
    bool path = false;
    while (end < command.size() && !IsBlank(command[end])) {
        char c = command[end++];
        if (c == '/' || c == '\\') path = true;
        else if (IsShellSpecial(c)) return command;
    }
    if (!path) return command;
    std::string found;
    internal::FindExistingName(command.substr(start, end - start).c_str(), &found);
    std::string quoted;
    bool plain = true;
    for (char c : found) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("/._+-,:@", c)) plain = false;
    }
    if (plain) {
        quoted = found;
    } else {
        quoted = "'";
        for (char c : found) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
    }
    return command.substr(0, start) + quoted + command.substr(end);
}

} // namespace

bool ShellCommandProgramFound(const char* commandLine) {
    if (!commandLine) return false;
    const std::string command = WithProgramFound(commandLine);
    const char* p = command.c_str();
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
    std::string command = WithProgramFound(commandLine);
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
