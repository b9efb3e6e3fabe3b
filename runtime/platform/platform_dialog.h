// Platform services: the system's file open/save dialog.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace corvane::platform {

struct FileDialogRequest {
    bool save = false;                              // a save dialog instead of an open dialog
    std::string directory;                          // where it starts
    std::vector<std::pair<std::string, std::string>> filters; // description and the dialog's pattern text
};

// Shows the dialog and waits for it, calling idle (when given) every few
// milliseconds meanwhile. True with the chosen path in *answer (bytes as the
// dialog gave them); false when it was cancelled or failed. When no dialog can be
// shown at all (no display, no dialog program) it returns false at once and says
// why in one line on standard error.
bool RunFileDialog(const FileDialogRequest& request, std::string* answer, void (*idle)());

// The argument vector of the dialog program for a request (without the program).
std::vector<std::string> FileDialogArguments(const FileDialogRequest& request);

// Ends a dialog that is open (the program is ending); nothing when none is.
void EndFileDialog();

} // namespace corvane::platform
