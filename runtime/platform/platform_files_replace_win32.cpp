// Win32 implementation of creating a file beside another, so that a writer can
// finish it before moving it over the old one with MoveFileEx.
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_win32.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace corvane::platform {

std::FILE* CreateFileBeside(const char* target, std::string* createdPath) {
    if (!target || !*target) return nullptr;
    // The same folder keeps the later move on one volume, so it stays one step.
    std::string folder = SystemPath(target);
    const std::string::size_type slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%05lx%04x", GetCurrentProcessId() & 0xFFFFFul,
                      static_cast<unsigned>((counter++ + GetTickCount()) & 0xFFFFu));
        std::string name = folder + ".corvane-" + suffix;
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        std::FILE* f = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
        if (!f) {
            if (fd >= 0) _close(fd);
            else CloseHandle(h);
            DeleteFileA(name.c_str());
            return nullptr;
        }
        *createdPath = name;
        return f;
    }
    return nullptr;
}

namespace {
std::atomic<long long> g_writeLimit{-1};
std::atomic<int> g_writeLimitError{ENOSPC};
} // namespace

bool ReplaceFileContents(const char* path, const void* data, std::size_t size, std::string* why) {
    auto fail = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (!path || !*path) return fail(std::strerror(ENOENT));
    if (size > 0 && !data) return fail(std::strerror(EINVAL));
    const std::string found = SystemPath(path);
    std::string temporary;
    std::FILE* f = CreateFileBeside(path, &temporary);
    if (!f) return fail(win32::ErrorText(GetLastError()));
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    long long limit = g_writeLimit.load();
    std::string error;
    while (left > 0 && error.empty()) {
        std::size_t chunk = left;
        if (limit >= 0 && static_cast<long long>(chunk) > limit) chunk = static_cast<std::size_t>(limit);
        if (chunk == 0) {
            error = std::strerror(g_writeLimitError.load());
            break;
        }
        std::size_t n = std::fwrite(p, 1, chunk, f);
        if (n == 0) {
            error = std::strerror(errno ? errno : EIO);
            break;
        }
        p += n;
        left -= n;
        if (limit >= 0) limit -= static_cast<long long>(n);
    }
    // On disk before it takes the old file's place.
    if (error.empty() && (std::fflush(f) != 0 || !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))))))
        error = win32::ErrorText(GetLastError());
    if (std::fclose(f) != 0 && error.empty()) error = std::strerror(errno);
    if (error.empty() && !MoveFileExA(temporary.c_str(), found.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = win32::ErrorText(GetLastError());
    if (!error.empty()) {
        DeleteFileA(temporary.c_str());
        return fail(error);
    }
    return true;
}

void LimitReplaceWritesForTesting(long long limit, int error) {
    g_writeLimitError = error;
    g_writeLimit = limit;
}

} // namespace corvane::platform
