// ChildProcess on Windows: CreateProcess with anonymous pipes; waits by polling
// the pipe (PeekNamedPipe), as anonymous pipes cannot be waited on.
#include "tests/support/child_process.h"

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
#include <cstring>
#include <thread>

namespace corvane::testing {

std::string QuotedWindowsArgument(const std::string& arg);  // process_win32.cpp
std::string WindowsEnvironmentBlock(const std::vector<std::string>& env, const std::vector<std::string>& unset);

struct ChildProcess::Impl {
    HANDLE process = nullptr;
    HANDLE in = nullptr, out = nullptr;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    CloseInput();
    if (impl_->process) Wait(5000);
    if (impl_->out) CloseHandle(impl_->out);
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::vector<std::string>& unset) {
    if (args.empty() || impl_->process) return false;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, parentIn = nullptr, parentOut = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &parentIn, &inherit, 0)) return false;
    if (!CreatePipe(&parentOut, &childOut, &inherit, 0)) {
        CloseHandle(childIn);
        CloseHandle(parentIn);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine;
    for (const std::string& a : args) commandLine += (commandLine.empty() ? "" : " ") + QuotedWindowsArgument(a);
    std::string block = WindowsEnvironmentBlock(env, unset);
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, block.data(), nullptr,
                                        &startup, &info);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) {
        CloseHandle(parentIn);
        CloseHandle(parentOut);
        return false;
    }
    CloseHandle(info.hThread);
    impl_->process = info.hProcess;
    impl_->in = parentIn;
    impl_->out = parentOut;
    return true;
}

bool ChildProcess::running() const { return impl_->process != nullptr; }

void ChildProcess::Send(const std::string& line) {
    const std::string l = line + "\n";
    DWORD written = 0;
    if (impl_->in) WriteFile(impl_->in, l.data(), static_cast<DWORD>(l.size()), &written, nullptr);
}

bool ChildProcess::Fill(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (impl_->out) {
        DWORD available = 0;
        if (!PeekNamedPipe(impl_->out, nullptr, 0, nullptr, &available, nullptr)) {
            CloseHandle(impl_->out);  // the writer has gone
            impl_->out = nullptr;
            return false;
        }
        if (available > 0) {
            char chunk[4096];
            DWORD n = 0;
            if (!::ReadFile(impl_->out, chunk, available < sizeof chunk ? available : sizeof chunk, &n, nullptr) || n == 0)
                return false;
            buffer_.append(chunk, n);
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void ChildProcess::CloseInput() {
    if (impl_->in) CloseHandle(impl_->in);
    impl_->in = nullptr;
}

int ChildProcess::Wait(int timeoutMs) {
    if (!impl_->process) return -1;
    if (WaitForSingleObject(impl_->process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        Kill();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(impl_->process, &code);
    CloseHandle(impl_->process);
    impl_->process = nullptr;
    return static_cast<int>(code);
}

void ChildProcess::Kill() {
    if (!impl_->process) return;
    TerminateProcess(impl_->process, 1);
    WaitForSingleObject(impl_->process, INFINITE);
    CloseHandle(impl_->process);
    impl_->process = nullptr;
}

} // namespace corvane::testing
