#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace corvane::testing {

struct ChildProcess::Impl {
    pid_t pid = -1;
    int in = -1, out = -1;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    CloseInput();
    if (impl_->pid > 0) Wait(5000);
    if (impl_->out >= 0) close(impl_->out);
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::vector<std::string>& unset) {
    if (args.empty() || impl_->pid > 0) return false;
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return false;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    std::vector<std::string> entries;
    auto dropped = [&](const std::string& entry) {
        for (const std::string& name : unset)
            if (entry.rfind(name + "=", 0) == 0) return true;
        for (const std::string& e : env)
            if (entry.rfind(e.substr(0, e.find('=') + 1), 0) == 0) return true;
        return false;
    };
    for (char** e = environ; *e; ++e)
        if (!dropped(*e)) entries.emplace_back(*e);
    entries.insert(entries.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) impl_->pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    impl_->in = toChild[1];
    impl_->out = fromChild[0];
    if (impl_->pid <= 0) {
        CloseInput();
        close(impl_->out);
        impl_->out = -1;
    }
    return impl_->pid > 0;
}

bool ChildProcess::running() const { return impl_->pid > 0; }

void ChildProcess::Send(const std::string& line) {
    const std::string l = line + "\n";
    if (impl_->in < 0) return;
    // A child that has gone must not end the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    ssize_t n = write(impl_->in, l.data(), l.size());
    (void)n;
}

bool ChildProcess::Fill(int timeoutMs) {
    pollfd pf{impl_->out, POLLIN, 0};
    if (impl_->out < 0 || poll(&pf, 1, timeoutMs) <= 0) return false;
    char chunk[4096];
    const ssize_t n = read(impl_->out, chunk, sizeof chunk);
    if (n <= 0) {
        close(impl_->out);
        impl_->out = -1;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

void ChildProcess::CloseInput() {
    if (impl_->in >= 0) close(impl_->in);
    impl_->in = -1;
}

int ChildProcess::Wait(int timeoutMs) {
    if (impl_->pid <= 0) return -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(impl_->pid, &status, WNOHANG) != impl_->pid) {
        if (std::chrono::steady_clock::now() >= until) {
            Kill();
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    impl_->pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Kill() {
    if (impl_->pid <= 0) return;
    kill(impl_->pid, SIGKILL);
    waitpid(impl_->pid, nullptr, 0);
    impl_->pid = -1;
}

} // namespace corvane::testing
