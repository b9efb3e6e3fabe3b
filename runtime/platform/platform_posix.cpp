// POSIX implementation of the basic system services.
#include "runtime/platform/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace corvane::platform {

std::string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/') path.push_back('/');
    return path;
}

std::string ModulePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    buf[n] = '\0';
    return std::string(buf);
}

std::string CurrentDirectory() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return std::string();
    return std::string(buf);
}

bool SetCurrentDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

bool DeleteFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool AppendLineToFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::string line = text;
    line += "\r\n";
    const char* p = line.data();
    size_t left = line.size();
    bool ok = true;
    while (left > 0) {
        ssize_t w = write(fd, p, left);
        if (w <= 0) {
            ok = false;
            break;
        }
        p += w;
        left -= static_cast<size_t>(w);
    }
    close(fd);
    return ok;
}

void DebugOutput(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool DebuggerPresent() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
    }
    return false;
}

} // namespace corvane::platform
