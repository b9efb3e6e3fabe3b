// FileDialog: the system's open or save dialog, with the window hidden meanwhile.
#include "runtime/frame/file_dialog.h"
#include "runtime/engine/engine_state.h"

#include <cctype>

#include "runtime/frame/frame_internal.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/platform_dialog.h"

namespace corvane {

namespace {

constexpr size_t kFilterBytes = 1022;

std::string CaseFree(const std::string& pattern) {
    std::string out;
    for (char c : pattern) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80 && std::isalpha(u)) {
            out += '[';
            out += static_cast<char>(std::tolower(u));
            out += static_cast<char>(std::toupper(u));
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

void PumpDuringDialog() { PumpMessages(); }

} // namespace

std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter) {
    std::string text = filter.substr(0, std::min(filter.size(), kFilterBytes));
    // Each "|" ends one text; a NUL inside the text ends it as well.
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        std::string pattern = i + 1 < parts.size() ? parts[i + 1] : std::string();
        pairs.emplace_back(parts[i], pattern);
        if (pattern.empty()) break;
    }
    return pairs;
}

std::string DialogPatterns(const std::string& patterns) {
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t semi = patterns.find(';', start);
        std::string one = patterns.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        while (!one.empty() && one.front() == ' ') one.erase(0, 1);
        while (!one.empty() && one.back() == ' ') one.pop_back();
        std::string converted = (one.empty() || one == "*.*") ? "*" : CaseFree(one);
        if (!(one.empty() && !out.empty())) {
            if (!out.empty()) out += ' ';
            out += converted;
        }
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return out;
}

RtString FileDialog(double openFlag, const RtString& filter) {
    platform::FileDialogRequest request;
    request.save = openFlag == 0.0;
    std::string text(filter.Buffer(), filter.length);
    for (auto& [description, patterns] : ParseDialogFilter(text))
        request.filters.emplace_back(description, DialogPatterns(patterns));

    // The current directory is kept whole and is where the dialog starts.
    std::string directory = platform::CurrentDirectory();
    request.directory = directory;

    HideForDialog();
    std::string answer;
    bool chosen = platform::RunFileDialog(request, &answer, PumpDuringDialog);
    if (!directory.empty()) platform::SetCurrentDirectory(directory);
    RestoreStartupWindowMode();
    // The focus the window gets back is handled now, so the program goes on unpaused.
    for (int i = 0; i < 30 && engine.paused; ++i) {
        PumpMessages();
        platform::SleepMilliseconds(10);
    }
    PumpMessages();

    if (!chosen) return RtString("NO_FILE");
    for (char& c : answer)
        if (c == '\\') c = '/';
    RtString result;
    result.Assign(answer.data(), static_cast<std::uint32_t>(answer.size()));
    return result;
}

void CloseFileDialog() { platform::EndFileDialog(); }

} // namespace corvane
