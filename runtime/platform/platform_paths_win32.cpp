// Names as programs write them, on Windows: '\' and any letter case are native
// there, so a name is found as written. The temporary folder is the system's own
// per-user one.
#include "runtime/platform/platform_files.h"
#include "runtime/platform/platform_files_internal.h"
#include "runtime/platform/platform_win32.h"

#include <cstdlib>
#include <mutex>

namespace corvane::platform {

namespace internal {

bool FindFolded(const std::string& path, std::string* found) {
    *found = win32::ForwardSlashes(path);
    return !found->empty() && win32::Attributes(*found) != INVALID_FILE_ATTRIBUTES;
}

bool FindPath(const char* name, std::string* found) {
    if (!name || !*name) {
        found->clear();
        return false;
    }
    return FindFolded(name, found);
}

// A real folder, not a link or junction. Windows gives each user's temporary
// folder its own access list, so ownership needs no check of the bits here.
bool IsPrivateDirectory(const std::string& folder) {
    DWORD a = win32::Attributes(folder);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !win32::IsLink(a);
}

std::string PrivateDirectory(const std::string& folder, const std::string& fallbackParent) {
    if (!folder.empty()) {
        CreateDirectoryA(folder.c_str(), nullptr);
        if (IsPrivateDirectory(folder)) return win32::ForwardSlashes(folder) + "/";
    }
    std::string parent = fallbackParent.empty() ? std::string(".") : fallbackParent;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string fresh = parent + "/corvane-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount() + attempt);
        if (CreateDirectoryA(fresh.c_str(), nullptr)) return win32::ForwardSlashes(fresh) + "/";
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return std::string();
}

} // namespace internal

std::string SystemPath(const char* name) {
    std::string found;
    internal::FindPath(name, &found);
    return found;
}

std::string TempDirectory() {
    // $TMPDIR as on the other systems (tests point it elsewhere), else GetTempPath,
    // which already answers per user (TMP, TEMP, the profile's folder).
    const char* dir = std::getenv("TMPDIR");
    std::string path;
    if (dir && *dir) {
        path = dir;
    } else {
        char buffer[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof buffer, buffer);
        path = (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string("C:/Windows/Temp/");
    }
    path = win32::ForwardSlashes(path);
    if (path.back() != '/') path.push_back('/');
    return path;
}

} // namespace corvane::platform
