#pragma once
// Runs the project's programs as real processes in tests, their output dropped.
#include <sys/types.h>

#include <string>
#include <vector>

namespace zc::test {

// Starts in the background; the caller ends it with StopProcess or waits with WaitProcess.
pid_t StartProcess(const std::vector<std::string>& argv);
// Waits up to `timeoutSeconds`; the exit code, or -1 when still running.
int WaitProcess(pid_t pid, double timeoutSeconds);
void StopProcess(pid_t pid);
// Runs to the end, or kills it after `timeoutSeconds` (and gives -1); the exit code.
int RunProcess(const std::vector<std::string>& argv, double timeoutSeconds = 60);

}  // namespace zc::test
