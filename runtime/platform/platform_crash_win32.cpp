// A crash (an unhandled exception) or the console window closing puts the desktop
// display mode back before the process ends, as the signal handlers do elsewhere.
#include "runtime/platform/platform_win32.h"

namespace corvane::platform::win32 {

namespace {

void (*volatile g_restore)() = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

void RestoreOnce() {
    // Exchanged so that a second crash while restoring does not restore again.
    auto restore = reinterpret_cast<void (*)()>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_restore), nullptr));
    if (restore) restore();
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
    RestoreOnce();
    // Then whatever was there before (a debugger, the system's report) goes on.
    return g_previousFilter ? g_previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_CLOSE_EVENT || event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ||
        event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        RestoreOnce();
    }
    return FALSE;  // the default handling ends the process as before
}

} // namespace

void InstallCrashHandlers(void (*restore)()) {
    g_restore = restore;
    static bool installed = false;
    if (installed) return;
    installed = true;
    g_previousFilter = SetUnhandledExceptionFilter(OnCrash);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

} // namespace corvane::platform::win32
