// Test support: a child program with its standard input and output as pipes, driven
// line by line, bounded in time. One interface; child_process_posix.cpp and
// child_process_win32.cpp implement it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvane::testing {

class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();  // closes its input, waits up to 5 s, then kills it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts args (a name without a folder is looked for on PATH) with this
    // process's environment, `env` entries ("NAME=value") replacing theirs and the
    // names in `unset` removed. Standard error goes where this process's goes.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
               const std::vector<std::string>& unset = {});
    bool running() const;
    void Send(const std::string& line);                // the line and '\n'
    std::string ReadLine(int timeoutMs);               // without its end; "<timeout>" or "<closed>"
    void CloseInput();
    // Exit status once it ends within timeoutMs; killed after that (-1).
    int Wait(int timeoutMs);
    void Kill();

    struct Impl;

private:
    bool Fill(int timeoutMs);                          // more output within the time
    std::unique_ptr<Impl> impl_;
    std::string buffer_;
};

} // namespace corvane::testing
