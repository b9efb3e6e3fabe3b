#include "tests/support/windows_compat.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The build names these for GL/gl.h; windows.h gives them their own way.
#undef WINGDIAPI
#undef APIENTRY
#include <windows.h>

#include <cerrno>
#include <string>

int symlink(const char* target, const char* link) {
    // Relative targets are taken from the link's folder, as POSIX does.
    std::string linkPath = link, resolved = target;
    const auto slash = linkPath.find_last_of("/\\");
    if (!(resolved.size() > 1 && resolved[1] == ':') && resolved[0] != '/' && resolved[0] != '\\' &&
        slash != std::string::npos)
        resolved = linkPath.substr(0, slash + 1) + resolved;
    const DWORD a = GetFileAttributesA(resolved.c_str());
    DWORD flags = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    if (CreateSymbolicLinkA(link, target, flags)) return 0;
    errno = EPERM;
    return -1;
}

bool ShownAsLink(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}
