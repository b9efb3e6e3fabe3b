// Test support on Windows: child processes through CreateProcess, their output in
// a file, ended with TerminateProcess at the time limit.
#include "tests/support/engine_fixture.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The build names these for GL/gl.h; windows.h gives them their own way.
#undef WINGDIAPI
#undef APIENTRY
#include <windows.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace corvane::testing {

// One argument as the C runtime's parser reads it back (quotes and backslashes kept).
std::string QuotedWindowsArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

// This process's environment with `env` entries replacing theirs and the `unset`
// names removed, as CreateProcess takes it (names compare without letter case).
std::string WindowsEnvironmentBlock(const std::vector<std::string>& env, const std::vector<std::string>& unset) {
    std::vector<std::string> entries;
    if (char* block = GetEnvironmentStringsA()) {
        for (char* e = block; *e; e += std::strlen(e) + 1) entries.emplace_back(e);
        FreeEnvironmentStringsA(block);
    }
    auto drop = [&entries](const std::string& prefix) {
        for (auto it = entries.begin(); it != entries.end();) {
            if (_strnicmp(it->c_str(), prefix.c_str(), prefix.size()) == 0) it = entries.erase(it);
            else ++it;
        }
    };
    for (const std::string& name : unset) drop(name + "=");
    // A later entry of `env` replaces an earlier one of the same name, as on POSIX:
    // Windows would read the first of two.
    for (const std::string& extra : env) {
        drop(extra.substr(0, extra.find('=') + 1));
        entries.push_back(extra);
    }
    std::string block;
    for (const std::string& e : entries) block += e + '\0';
    return block + '\0';
}

namespace {

// The ending of a crashed program as the signal a POSIX system would name.
int SignalOf(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_STACK_OVERFLOW: case EXCEPTION_IN_PAGE_ERROR: return SIGSEGV;
    case EXCEPTION_ILLEGAL_INSTRUCTION: case EXCEPTION_PRIV_INSTRUCTION: return SIGILL;
    case EXCEPTION_INT_DIVIDE_BY_ZERO: case EXCEPTION_FLT_DIVIDE_BY_ZERO: return SIGFPE;
    case 0xC0000409: return SIGABRT;  // the C library's fast fail (abort)
    default: return 0;
    }
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                         double timeoutSeconds, const std::atomic<bool>* stop, int onlyStream) {
    ProcessResult result;
    if (args.empty()) return result;
    const std::string outPath = TestTempDir() + "child-output-" + std::to_string(GetCurrentProcessId()) + ".txt";

    std::string environment = WindowsEnvironmentBlock(extraEnv, {});

    std::string commandLine;
    for (const std::string& a : args) commandLine += (commandLine.empty() ? "" : " ") + QuotedWindowsArgument(a);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE discard = onlyStream ? CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                              OPEN_EXISTING, 0, nullptr)
                                : INVALID_HANDLE_VALUE;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = onlyStream == 2 ? discard : out;
    startup.hStdError = onlyStream == 1 ? discard : out;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    // A name without a folder is looked for on PATH, as posix_spawnp does.
    BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, environment.data(), nullptr,
                                  &startup, &info);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (discard != INVALID_HANDLE_VALUE) CloseHandle(discard);
    if (!started) {
        DeleteFileA(outPath.c_str());
        return result;
    }
    CloseHandle(info.hThread);
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (WaitForSingleObject(info.hProcess, 10) == WAIT_TIMEOUT) {
        if (std::chrono::steady_clock::now() > deadline || (stop && stop->load())) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, INFINITE);
            result.timedOut = true;
            break;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    if (!result.timedOut) {
        result.signal = SignalOf(code);
        if (!result.signal) result.exitStatus = static_cast<int>(code);
    }
    result.output = TextLines(ReadFile(outPath));
    DeleteFileA(outPath.c_str());
    return result;
}

} // namespace corvane::testing
