// POSIX implementation of creating a file beside another, so that a writer can
// finish it before renaming it over the old one.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/platform/platform_files.h"

namespace corvane::platform {

namespace {

std::atomic<long long> g_writeLimit{-1};
std::atomic<int> g_writeLimitError{ENOSPC};

// A new private file in the folder of found (the same folder keeps the later
// rename on one file system); -1 when none can be made.
int CreateDescriptorBeside(const std::string& found, std::string* createdPath) {
    const std::string::size_type slash = found.find_last_of('/');
    std::string pattern = (slash == std::string::npos ? std::string() : found.substr(0, slash + 1)) + ".corvane-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd >= 0) *createdPath = name.data();
    return fd;
}

} // namespace

std::FILE* CreateFileBeside(const char* target, std::string* createdPath) {
    if (!target || !*target) return nullptr;
    std::string name;
    const int fd = CreateDescriptorBeside(SystemPath(target), &name);
    if (fd < 0) return nullptr;
    // mkstemp makes the file private; the finished file is an ordinary one.
    fchmod(fd, 0644);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    *createdPath = name;
    return f;
}

bool ReplaceFileContents(const char* path, const void* data, std::size_t size, std::string* why) {
    auto fail = [why](int error) {
        if (why) *why = std::strerror(error);
        return false;
    };
    if (!path || !*path) return fail(ENOENT);
    if (size > 0 && !data) return fail(EINVAL);
    const std::string found = SystemPath(path);
    std::string temporary;
    const int fd = CreateDescriptorBeside(found, &temporary);
    if (fd < 0) return fail(errno);
    struct stat old;
    fchmod(fd, stat(found.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 0777) : 0644);

    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    long long limit = g_writeLimit.load();
    int error = 0;
    while (left > 0 && !error) {
        std::size_t chunk = left;
        if (limit >= 0 && static_cast<long long>(chunk) > limit) chunk = static_cast<std::size_t>(limit);
        if (chunk == 0) {
            error = g_writeLimitError.load();
            break;
        }
        ssize_t n = write(fd, p, chunk);
        if (n < 0) {
            if (errno != EINTR) error = errno;
            continue;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        if (limit >= 0) limit -= n;
    }
    // On disk before it takes the old file's place.
    if (!error && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && !error) error = errno;
    if (!error && rename(temporary.c_str(), found.c_str()) != 0) error = errno;
    if (error) {
        unlink(temporary.c_str());
        return fail(error);
    }
    return true;
}

void LimitReplaceWritesForTesting(long long limit, int error) {
    g_writeLimitError = error;
    g_writeLimit = limit;
}

} // namespace corvane::platform
