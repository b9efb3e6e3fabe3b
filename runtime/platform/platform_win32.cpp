// Win32 implementation of the basic system services.
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_win32.h"

#include <cstdio>

namespace corvane::platform {

std::string ModulePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return win32::ForwardSlashes(path);
        }
        path.resize(path.size() * 2);
    }
}

void DebugOutput(const std::string& text) {
    // The debugger's window and the console both: a console program's own output
    // is where a person running it from a terminal looks.
    OutputDebugStringA(text.c_str());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool DebuggerPresent() { return IsDebuggerPresent() != 0; }

} // namespace corvane::platform
