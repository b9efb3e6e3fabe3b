// The process's arguments as the one command-line text programs read.
#include <string>

#include "runtime/frame/frame_internal.h"

namespace corvane {

std::string JoinCommandLine(int argc, const char* const* argv) {
    // Quoted as a Windows program's runtime expects to split it again: blanks
    // or quotes inside an argument (or an empty one) need quotes around it, a
    // quote inside becomes \", and backslashes before a quote are doubled.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (i > 1) line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

} // namespace corvane
