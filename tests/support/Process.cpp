#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace zc::test {

namespace {

using Clock = std::chrono::steady_clock;

// Starts `argv` with stdin from /dev/null and stdout and stderr to `outFd` (or /dev/null).
pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        if (outFd < 0) outFd = open("/dev/null", O_WRONLY);
        dup2(outFd, 1);
        dup2(outFd, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(left.count());
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, double timeoutSeconds) {
    int pipeFds[2];
    ProcessResult result;
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    pid_t pid = Spawn(argv, pipeFds[1]);
    close(pipeFds[1]);
    auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    char buffer[4096];
    pollfd p{pipeFds[0], POLLIN, 0};
    for (int left; (left = MillisecondsLeft(deadline)) > 0 && poll(&p, 1, left) > 0;) {
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    result.exitCode = WaitProcess(pid, std::max(0.0, timeoutSeconds / 10));
    if (result.exitCode == -1) StopProcess(pid);
    return result;
}

pid_t StartProcess(const std::vector<std::string>& argv) { return Spawn(argv, -1); }

int WaitProcess(pid_t pid, double timeoutSeconds) {
    auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void StopProcess(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace zc::test
