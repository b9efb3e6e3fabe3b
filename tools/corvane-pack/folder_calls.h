// Folder-relative file calls for corvane-pack. POSIX has them (openat and its
// kin); on Windows an open folder is a placeholder descriptor remembered with the
// folder's path, and a link or junction met on the way counts as a link.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>

inline int OpenFolder(const char* path) { return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

#else
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <direct.h>
#include <io.h>
// The build names these for GL/gl.h; windows.h gives them their own way.
#undef WINGDIAPI
#undef APIENTRY
#include <windows.h>

#include <cerrno>
#include <map>
#include <string>

// Flags of their own, so that the calls below can tell what was asked.
#define O_DIRECTORY 0x200000
#define O_NOFOLLOW 0x400000
#define O_CLOEXEC 0
#define AT_SYMLINK_NOFOLLOW 0x100
#ifndef S_IFLNK
#define S_IFLNK 0120000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m) & 0170000) == S_IFLNK)
#endif

namespace folder_calls {
inline std::map<int, std::string>& Folders() {
    static std::map<int, std::string> folders;
    return folders;
}
inline std::string Inside(int at, const char* name) {
    auto it = Folders().find(at);
    return (it == Folders().end() ? std::string(".") : it->second) + "/" + name;
}
inline DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
inline int Folder(const std::string& path) {
    const int fd = _open("NUL", _O_RDONLY);
    if (fd >= 0) Folders()[fd] = path;
    return fd;
}
} // namespace folder_calls

inline int OpenFolder(const char* path) {
    const DWORD a = folder_calls::Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = a == INVALID_FILE_ATTRIBUTES ? ENOENT : ENOTDIR;
        return -1;
    }
    return folder_calls::Folder(path);
}

inline int openat(int at, const char* name, int flags, int = 0) {
    const std::string path = folder_calls::Inside(at, name);
    const DWORD a = folder_calls::Attributes(path);
    if ((flags & O_NOFOLLOW) && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        errno = ELOOP;
        return -1;
    }
    if (flags & O_DIRECTORY) {
        if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = a == INVALID_FILE_ATTRIBUTES ? ENOENT : ENOTDIR;
            return -1;
        }
        return folder_calls::Folder(path);
    }
    return _open(path.c_str(), (flags & ~(O_DIRECTORY | O_NOFOLLOW)) | _O_BINARY, _S_IREAD | _S_IWRITE);
}

inline int mkdirat(int at, const char* name, int) { return _mkdir(folder_calls::Inside(at, name).c_str()); }

inline int unlinkat(int at, const char* name, int) { return _unlink(folder_calls::Inside(at, name).c_str()); }

// Replaces the target in one step, a link standing there included.
inline int renameat(int from, const char* fromName, int to, const char* toName) {
    if (MoveFileExA(folder_calls::Inside(from, fromName).c_str(), folder_calls::Inside(to, toName).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = EACCES;
    return -1;
}

inline int fstatat(int at, const char* name, struct stat* st, int) {
    const std::string path = folder_calls::Inside(at, name);
    const DWORD a = folder_calls::Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return -1;
    }
    if (stat(path.c_str(), st) != 0) *st = {};
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) st->st_mode = S_IFLNK;
    return 0;
}

// Windows files carry no mode bits; the folder's access list decides.
inline int fchmod(int, int) { return 0; }
#define fsync _commit
#endif
