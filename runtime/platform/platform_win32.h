// The Win32 headers as the seam's Windows files include them, and the helpers
// they share. Included by runtime/platform/*_win32.cpp only.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace corvane::platform::win32 {

// Paths leave the seam with '/' between parts, as on every other system: code
// above it splits names at '/'. Win32 takes either separator.
inline std::string ForwardSlashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The attributes of the entry itself (a link is not followed); INVALID_FILE_ATTRIBUTES when absent.
inline DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

inline bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Restores the desktop display mode once, from a crash or a console close; set by
// the display service when it changes the mode.
void InstallCrashHandlers(void (*restore)());

} // namespace corvane::platform::win32
