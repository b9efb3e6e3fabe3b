// The Win32 headers as the seam's Windows files include them, and the helpers
// they share. Included by runtime/platform/*_win32.cpp only.
#pragma once

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
// windows.h maps these names to their A/W forms; the seam has functions of its own so named.
#undef SetCurrentDirectory
#undef CreateFile
#undef DeleteFile
#undef CopyFile

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

// The system's message for an error code, on one line.
inline std::string ErrorText(DWORD code) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' ' || buffer[n - 1] == '.')) --n;
    return n ? std::string(buffer, n) : "error " + std::to_string(code);
}

inline bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Restores the desktop display mode once, from a crash or a console close; set by
// the display service when it changes the mode.
void InstallCrashHandlers(void (*restore)());

} // namespace corvane::platform::win32
