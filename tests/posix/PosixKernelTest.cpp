#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/PosixKernel.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using namespace posix;  // the kernel and its Windows error numbers

// What a separate process sees when it asks for the mutex: 0 it got it, 1 already held
// (ERROR_ALREADY_EXISTS), 2 no handle, 3 anything else.
int MutexInChild(const std::string& lockFolder) {
    pid_t pid = fork();
    if (pid == 0) {
        PosixKernel kernel(lockFolder);
        SECURITY_ATTRIBUTES sa;
        HANDLE h = kernel.CreateMutexA(&sa, false, "ZCMutex");
        uint32_t err = kernel.GetLastError();
        _exit(h == 0 ? 2 : err == 0 ? 0 : err == kErrorAlreadyExists ? 1 : 3);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(PosixKernel, MutexIsHeldAgainstOtherProcessesUntilReleasedAndNotInherited) {
    TempDir dir;
    PosixKernel kernel(dir.path());
    SECURITY_ATTRIBUTES sa;
    HANDLE mine = kernel.CreateMutexA(&sa, false, "ZCMutex");
    ASSERT_NE(mine, 0);
    EXPECT_EQ(kernel.GetLastError(), 0u);
    EXPECT_EQ(fs::status(dir / "ZCMutex.lock").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(MutexInChild(dir.path()), 1);

    // A second ask from the same process also finds it taken, as a second instance would.
    EXPECT_NE(kernel.CreateMutexA(&sa, false, "ZCMutex"), 0);
    EXPECT_EQ(kernel.GetLastError(), kErrorAlreadyExists);

    // A program started while we hold it (say, by the docking software) runs on; once we let
    // go, the mutex is free although that program still runs.
    pid_t sleeper = fork();
    if (sleeper == 0) {
        execl("/bin/sleep", "sleep", "5", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(sleeper, 0);
    usleep(100 * 1000);  // let it reach exec
    EXPECT_TRUE(kernel.CloseHandle(mine));
    EXPECT_EQ(MutexInChild(dir.path()), 0);
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);

}

}  // namespace
}  // namespace zc::test
