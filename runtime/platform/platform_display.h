// Platform services: display modes and the window's frame (captioned window or
// full-screen), and putting the desktop mode back on every way out.
#pragma once

namespace corvane::platform {

// ---------------------------------------------------------------- display modes
// Switches the display to exactly width x height (and bits per pixel when bits is
// not 0; 24-bit modes count as 32) with the window full-screen on it. Succeeds only
// when the display offers that exact mode and the drawable then has that size;
// otherwise the window is left as it was and false is returned.
bool EnterFullscreenDisplayMode(int width, int height, int bits);
void RestoreDesktopDisplayMode();                   // the desktop's mode back; nothing when it was not changed
bool DisplayModeChanged();                          // a full-screen mode is in force
int  DisplayCount();                                // displays SDL knows (0 before video starts)

// ---------------------------------------------------------------- window frame
// A bordered window whose drawing area is exactly width x height, at its last
// windowed position (centred when it never had one), shown and raised.
void SetCaptionedWindow(int width, int height);
void HideWindowForDialog();                         // leaves full screen and hides the window
void ShowAndRaiseWindow();                          // shown, raised, given the input focus

// Fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT, SIGHUP) put the
// desktop mode back once, then go on to the handler that was there before (or
// the default action). Installed once; later calls do nothing.
void InstallDisplayRestoreOnFatalSignals();

} // namespace corvane::platform
