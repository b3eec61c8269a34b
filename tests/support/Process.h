#pragma once
// Runs the project's programs as real processes in tests.
#include <sys/types.h>

#include <string>
#include <vector>

namespace zc::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not end in time (it is then killed)
    std::string output; // stdout and stderr together
};

// Runs to the end, or kills it after `timeoutSeconds`.
ProcessResult RunProcess(const std::vector<std::string>& argv, double timeoutSeconds = 60);

// Starts in the background; the caller ends it with StopProcess or waits with WaitProcess.
pid_t StartProcess(const std::vector<std::string>& argv);
// Waits up to `timeoutSeconds`; the exit code, or -1 when still running.
int WaitProcess(pid_t pid, double timeoutSeconds);
void StopProcess(pid_t pid);

}  // namespace zc::test
