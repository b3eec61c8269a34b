#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixKernel.h"
#include "support/TempDir.h"

namespace zc::test {

namespace {

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

}  // namespace

// Everything the program makes (folders, copies, the export file, signature copies) gets the
// mode the user's umask gives, whether written in place or under a temporary name; a copy keeps
// no more of its source's permissions than the umask allows.
TEST(Umask, CreatedFilesAndFoldersFollowIt) {
    TempDir dir;
    posix::PosixFileSystem files;
    posix::PosixKernel kernel;
    WriteFile(dir / "source", "bytes");
    for (mode_t mask : {mode_t(022), mode_t(077)}) {
        mode_t saved = ::umask(mask);
        std::string sub = dir / ("m" + std::to_string(mask));
        files.MkDir(sub);
        files.FileCopy(dir / "source", sub + "/copy");
        files.CreateText(sub + "/export.txt")->Close();
        HANDLE h = kernel.CreateFileA(sub + "/S_1.bmp", kGenericWrite, 0, nullptr, kCreateAlways, 0, 0);
        ASSERT_NE(h, kInvalidHandle);
        kernel.CloseHandle(h);
        ::umask(saved);
        EXPECT_EQ(Mode(sub), 0777 & ~mask);
        for (const char* name : {"copy", "export.txt", "S_1.bmp"}) EXPECT_EQ(Mode(sub + "/" + name), 0666 & ~mask) << name;
    }
}

}  // namespace zc::test
