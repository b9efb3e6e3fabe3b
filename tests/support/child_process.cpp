// The parts of ChildProcess common to both systems.
#include "tests/support/child_process.h"

#include <chrono>

namespace corvane::testing {

std::string ChildProcess::ReadLine(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows child's text mode
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "<timeout>";
        if (!Fill(static_cast<int>(left.count()))) {
            if (std::chrono::steady_clock::now() < until) return "<closed>";
            return "<timeout>";
        }
    }
}

} // namespace corvane::testing
