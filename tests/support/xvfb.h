// Test support: a private Xvfb server and the window tools that drive it, for
// end-to-end tests of the real window.
#pragma once

#include <string>

namespace corvane::testing {

class XvfbServer {
public:
    XvfbServer();                       // starts Xvfb on a free display (640x480 is too small: 1024x768x24)
    ~XvfbServer();                      // stops it
    void Kill();                        // kills the server at once, as a dropped session would
    bool running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"

    // Runs a shell command with DISPLAY set to this server; returns its output.
    std::string Shell(const std::string& command) const;

    // Finds a top-level window whose name is exactly `title` (xwininfo -root -tree),
    // polling up to timeoutSeconds; returns its id ("0x...") or "".
    std::string FindWindow(const std::string& title, double timeoutSeconds) const;

    // Answers the software-renderer warning box if it shows within timeoutSeconds.
    bool AnswerSoftwareWarning(double timeoutSeconds) const;

    // A runtime program's window as a user meets it: answers the software-renderer
    // warning, focuses the window if the box left it paused (there is no window
    // manager to do it), then waits up to 20 s for the window titled `title`.
    // Returns its id, or "".
    std::string FindProgramWindow(const std::string& title) const;

    // Where a window's drawing surface lies on the screen (xwininfo); false when unknown.
    bool WindowOrigin(const std::string& id, int& left, int& top) const;

    // The whole screen as 8-bit RGB bytes, row by row from the top (import); "" when
    // the shot failed or has another size.
    std::string ScreenRgb(const std::string& scratchPath) const;

private:
    int pid_ = -1;
    std::string display_;
};

bool HaveXvfb();                        // Xvfb, xwininfo and xdotool are installed

} // namespace corvane::testing
