#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/PosixKernel.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

// What a separate process sees when it asks for the mutex: 0 it got it, 1 already held
// (ERROR_ALREADY_EXISTS), 2 no handle, 3 anything else.
int MutexInChild(const std::string& lockFolder) {
    pid_t pid = fork();
    if (pid == 0) {
        PosixKernel kernel(lockFolder);
        SECURITY_ATTRIBUTES sa;
        HANDLE h = kernel.CreateMutexA(&sa, false, "ZCMutex");
        uint32_t err = kernel.GetLastError();
        _exit(h == 0 ? 2 : err == 0 ? 0 : err == ERROR_ALREADY_EXISTS ? 1 : 3);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(PosixKernel, MutexIsHeldAgainstOtherProcessesUntilReleased) {
    TempDir dir;
    PosixKernel kernel(dir.path());
    SECURITY_ATTRIBUTES sa;
    HANDLE mine = kernel.CreateMutexA(&sa, false, "ZCMutex");
    ASSERT_NE(mine, 0);
    EXPECT_EQ(kernel.GetLastError(), 0u);
    EXPECT_EQ(kernel.LockFile("ZCMutex"), dir / "ZCMutex.lock");
    struct stat st {};
    ASSERT_EQ(stat((dir / "ZCMutex.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(MutexInChild(dir.path()), 1);

    // A second ask from the same process also finds it taken, as a second instance would.
    HANDLE again = kernel.CreateMutexA(&sa, false, "ZCMutex");
    EXPECT_NE(again, 0);
    EXPECT_EQ(kernel.GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_TRUE(kernel.CloseHandle(mine));
    EXPECT_EQ(MutexInChild(dir.path()), 0);
}

TEST(PosixKernel, MutexIsNotInheritedByStartedPrograms) {
    TempDir dir;
    PosixKernel kernel(dir.path());
    SECURITY_ATTRIBUTES sa;
    HANDLE mine = kernel.CreateMutexA(&sa, false, "ZCMutex");
    ASSERT_NE(mine, 0);
    // A program started while we hold the lock (say, by the docking software) runs on...
    pid_t sleeper = fork();
    if (sleeper == 0) {
        execl("/bin/sleep", "sleep", "5", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(sleeper, 0);
    usleep(100 * 1000);  // let it reach exec
    // ...and once we let go, the mutex is free even though that program still runs.
    EXPECT_TRUE(kernel.CloseHandle(mine));
    EXPECT_EQ(MutexInChild(dir.path()), 0);
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

TEST(PosixKernel, MutexWithoutUsableLockFolderGivesNoHandle) {
    TempDir dir;
    WriteFile(dir / "plain", "");
    PosixKernel underFile(dir / "plain/run");
    SECURITY_ATTRIBUTES sa;
    EXPECT_EQ(underFile.CreateMutexA(&sa, false, "ZCMutex"), 0);
    EXPECT_NE(underFile.GetLastError(), 0u);
    EXPECT_NE(underFile.GetLastError(), ERROR_ALREADY_EXISTS);

    if (geteuid() != 0) {  // root writes into read-only folders anyway
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        PosixKernel readOnly(dir / "ro");
        EXPECT_EQ(readOnly.CreateMutexA(&sa, false, "ZCMutex"), 0);
        EXPECT_EQ(readOnly.GetLastError(), ERROR_ACCESS_DENIED_W);
    }
}

TEST(PosixKernel, LoadsLibrariesAndRefusesOtherFiles) {
    TempDir dir;
    PosixKernel kernel;
    EXPECT_EQ(kernel.LoadLibraryA(""), 0u);
    EXPECT_EQ(kernel.GetLastError(), ERROR_MOD_NOT_FOUND_W);

    WriteFile(dir / "adofiltr.so", "this is text, not a shared library");
    EXPECT_EQ(kernel.LoadLibraryA(dir / "adofiltr.so"), 0u);
    EXPECT_EQ(kernel.GetLastError(), ERROR_MOD_NOT_FOUND_W);
    EXPECT_NE(kernel.LastLoadError().find("adofiltr.so"), std::string::npos);
    EXPECT_EQ(kernel.LoadLibraryA(dir / "missing.so"), 0u);

    HMODULE libm = kernel.LoadLibraryA("libm.so.6");
    ASSERT_NE(libm, 0u);
    auto cosine = reinterpret_cast<double (*)(double)>(kernel.GetProcAddress(libm, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(kernel.GetProcAddress(libm, "DEVICETODESKTOP"), nullptr);
    EXPECT_EQ(kernel.GetLastError(), ERROR_PROC_NOT_FOUND_W);
    // Module 0 never means "any loaded code".
    EXPECT_EQ(kernel.GetProcAddress(0, "cos"), nullptr);
    EXPECT_TRUE(kernel.FreeLibrary(libm));
    EXPECT_FALSE(kernel.FreeLibrary(libm));
    EXPECT_FALSE(kernel.FreeLibrary(0));
}

TEST(PosixKernel, PositionedWritesLandAtTheirOffsets) {
    TempDir dir;
    PosixKernel kernel;
    const std::string path = dir / "a.bmp";
    WriteFile(path, std::string(5000, 'o'));  // an older, longer file of that name

    SECURITY_ATTRIBUTES sa;
    HANDLE h = kernel.CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fs::file_size(path), 0u);  // truncated

    std::string expected;
    for (int i = 0; i < 3000; ++i) expected.push_back(static_cast<char>('a' + i / 1024));
    OVERLAPPED pos;
    // Out of order, so a write that ignores the offset would be caught.
    for (uint32_t offset : {2048u, 0u, 1024u}) {
        uint32_t count = offset == 2048 ? 952 : 1024;
        pos.Offset = offset;
        uint32_t written = 0;
        EXPECT_TRUE(kernel.WriteFile(h, reinterpret_cast<const uint8_t*>(expected.data()) + offset,
                                     count, &written, &pos));
        EXPECT_EQ(written, count);
    }
    EXPECT_TRUE(kernel.CloseHandle(h));
    EXPECT_FALSE(kernel.CloseHandle(h));
    EXPECT_EQ(ReadFile(path), expected);

    uint32_t written = 7;
    EXPECT_FALSE(kernel.WriteFile(h, reinterpret_cast<const uint8_t*>("x"), 1, &written, &pos));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_HANDLE_W);
}

TEST(PosixKernel, CreateFileFailuresAndReadHandles) {
    TempDir dir;
    PosixKernel kernel;
    SECURITY_ATTRIBUTES sa;
    EXPECT_EQ(kernel.CreateFileA(dir / "none.bmp", GENERIC_READ, FILE_SHARE_READ, &sa,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.GetLastError(), ERROR_FILE_NOT_FOUND_W);
    EXPECT_EQ(kernel.CreateFileA(dir / "Export/a.bmp", GENERIC_WRITE, FILE_SHARE_WRITE, &sa,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.GetLastError(), ERROR_PATH_NOT_FOUND_W);
    EXPECT_EQ(kernel.CreateFileA(dir.path(), GENERIC_READ, FILE_SHARE_READ, &sa, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, 0),
              INVALID_HANDLE_VALUE);

    WriteFile(dir / "in.bmp", "abc");
    HANDLE r = kernel.CreateFileA(dir / "in.bmp", GENERIC_READ, FILE_SHARE_READ, &sa,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    uint32_t written = 0;
    OVERLAPPED pos;
    EXPECT_FALSE(kernel.WriteFile(r, reinterpret_cast<const uint8_t*>("x"), 1, &written, &pos));
    EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED_W);
    EXPECT_TRUE(kernel.CloseHandle(r));
    EXPECT_EQ(ReadFile(dir / "in.bmp"), "abc");
}

TEST(PosixKernel, KnowsTheRunningProgram) {
    PosixKernel kernel;
    EXPECT_EQ(kernel.AppExeName(), "test_posix");
    EXPECT_TRUE(fs::is_directory(kernel.AppPath()));
    EXPECT_TRUE(fs::is_regular_file(kernel.AppPath() + "/" + kernel.AppExeName()));
    EXPECT_EQ(fs::canonical(kernel.AppPath() + "/" + kernel.AppExeName()),
              fs::canonical("/proc/self/exe"));
}

}  // namespace
}  // namespace zc::posix
