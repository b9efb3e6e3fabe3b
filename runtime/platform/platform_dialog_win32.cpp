// The file dialog as the system's own: GetOpenFileName/GetSaveFileName. A hook
// keeps calling the caller's idle function while the dialog is open (the
// program's window events keep flowing), and lets EndFileDialog close it.
#include "runtime/platform/platform_dialog.h"
#include "runtime/platform/platform_win32.h"

#include <SDL.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

namespace corvane::platform {

namespace {

HWND g_dialog = nullptr;           // the open dialog, null when none
bool g_running = false;
void (*g_idle)() = nullptr;
constexpr UINT_PTR kIdleTimer = 1;

void SayWhy(const char* why) {
    std::fprintf(stderr, "FileDialog: %s\n", why);
    std::fflush(stderr);
}

bool DisplayCanShowDialogs() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    return !(driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0));
}

// A pattern as the runtime hands it ("*.[tT][xX][tT]", several separated by
// spaces) as the system's dialog takes it ("*.txt;..."): it ignores case itself.
std::string SystemPatterns(const std::string& patterns) {
    std::string out;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        char c = patterns[i];
        if (c == '[' && i + 3 < patterns.size() && patterns[i + 3] == ']') {
            out.push_back(patterns[i + 1]);
            i += 3;
        } else if (c == ' ') {
            if (!out.empty() && out.back() != ';') out.push_back(';');
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == ';') out.pop_back();
    return out.empty() ? std::string("*.*") : (out == "*" ? std::string("*.*") : out);
}

UINT_PTR CALLBACK DialogHook(HWND hook, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = GetParent(hook);
        SetTimer(hook, kIdleTimer, 15, nullptr);
        return TRUE;
    case WM_TIMER:
        if (g_idle) g_idle();
        return TRUE;
    case WM_DESTROY:
        KillTimer(hook, kIdleTimer);
        g_dialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

// The filter text the dialog is given: description and patterns, each ended by a NUL.
std::vector<std::string> FileDialogArguments(const FileDialogRequest& request) {
    std::vector<std::string> parts;
    for (const auto& [description, patterns] : request.filters) {
        parts.push_back(description);
        parts.push_back(SystemPatterns(patterns));
    }
    return parts;
}

bool RunFileDialog(const FileDialogRequest& request, std::string* answer, void (*idle)()) {
    if (answer) answer->clear();
    if (g_running) return false;  // one dialog at a time
    if (!DisplayCanShowDialogs()) {
        SayWhy("no display to show a dialog on");
        return false;
    }
    std::string filter;
    for (const std::string& part : FileDialogArguments(request)) {
        filter += part;
        filter.push_back('\0');
    }
    filter.push_back('\0');
    std::string directory = request.directory;
    for (char& c : directory) {
        if (c == '/') c = '\\';
    }
    char file[32768] = {0};
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING |
                (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    ofn.lpfnHook = DialogHook;
    g_running = true;
    g_idle = idle;
    BOOL chosen = request.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    g_running = false;
    g_idle = nullptr;
    g_dialog = nullptr;
    if (!chosen) {
        if (DWORD error = CommDlgExtendedError()) {
            char why[64];
            std::snprintf(why, sizeof why, "the system dialog failed (error %lu)", static_cast<unsigned long>(error));
            SayWhy(why);
        }
        return false;
    }
    if (!file[0]) return false;
    if (answer) *answer = file;
    return true;
}

void EndFileDialog() {
    // Called from the idle function (the program is ending): the dialog closes as
    // if cancelled and its call returns.
    if (g_dialog) PostMessageA(g_dialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace corvane::platform
