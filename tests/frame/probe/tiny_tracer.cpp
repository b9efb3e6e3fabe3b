// Runs a program under ptrace, as a debugger would, passing every signal on, and
// exits with the program's status.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    pid_t child = fork();
    if (child == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    bool first = true;
    while (waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        int sig = WIFSTOPPED(status) ? WSTOPSIG(status) : 0;
        // The stop after exec is the tracer's own; every other signal goes on.
        if (first && sig == SIGTRAP) sig = 0;
        first = false;
        ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<long>(sig)));
    }
    return 1;
}
