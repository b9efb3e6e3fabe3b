// Win32 implementation of creating a file beside another, so that a writer can
// finish it before moving it over the old one with MoveFileEx.
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_win32.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
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

} // namespace corvane::platform
