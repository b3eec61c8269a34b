#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixKernel.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

struct Files : TempDir {
    posix::PosixFileSystem files;
};

// What `call` raised on a disk that fills once a file reaches `limit` bytes.
Error WhenDiskFills(rlim_t limit, const std::function<void()>& call) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{limit, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    Error e = ErrorOf(call);
    setrlimit(RLIMIT_FSIZE, &old);
    return e;
}

TEST(PosixFileSystem, CopyReplacesTheDestinationWholeOrNotAtAll) {
    Files dir;
    const std::string bytes("sig\0nature\r\n\xFF", 14);
    WriteFile(dir / "a.bmp", bytes);
    WriteFile(dir / "b.bmp", "an older, longer file that must be replaced entirely");
    chmod((dir / "a.bmp").c_str(), 0640);
    dir.files.FileCopy(dir / "a.bmp", dir / "b.bmp");
    EXPECT_EQ(ReadFile(dir / "b.bmp"), bytes);
    EXPECT_EQ(fs::status(dir / "b.bmp").permissions(), fs::status(dir / "a.bmp").permissions());
    // A disk that fills part-way leaves the old destination whole; no working copy stays behind.
    WriteFile(dir / "big.bmp", std::string(200000, 'b'));
    EXPECT_EQ(WhenDiskFills(100000, [&] { dir.files.FileCopy(dir / "big.bmp", dir / "b.bmp"); }).number(), kErrDiskFull);
    EXPECT_EQ(ReadFile(dir / "b.bmp"), bytes);
    // A read-only destination is refused, as Windows refuses it, and keeps its bytes.
    WriteFile(dir / "ro.bmp", "keep");
    chmod((dir / "ro.bmp").c_str(), 0444);
    EXPECT_EQ(ErrorOf([&] { dir.files.FileCopy(dir / "a.bmp", dir / "ro.bmp"); }).number(), kErrPermissionDenied);
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), "keep");
    EXPECT_EQ(Names(dir.path()), (Lines{"a.bmp", "b.bmp", "big.bmp", "ro.bmp"})) << "no working copy left behind";
    // Onto itself by another spelling or through a hard link: the file stays whole.
    fs::create_hard_link(dir / "a.bmp", dir / "link.bmp");
    dir.files.FileCopy(dir / "a.bmp", dir.path() + "/./a.bmp");
    dir.files.FileCopy(dir / "link.bmp", dir / "a.bmp");
    EXPECT_EQ(ReadFile(dir / "a.bmp"), bytes);
}

TEST(PosixFileSystem, TextFileWritesCrLfLinesWithoutBomAndReadBinaryReadsThemBack) {
    Files dir;
    WriteFile(dir / "out.txt", "old content that is longer than the new one, to be truncated");
    auto out = dir.files.CreateText(dir / "out.txt");
    out->PrintLine("&&SITE+++d\xC3\xA9p\xC3\xB4t%%");
    out->PrintLine("");
    out->Close();
    std::vector<uint8_t> read = dir.files.ReadBinary(dir / "out.txt");
    EXPECT_EQ(std::string(read.begin(), read.end()), "&&SITE+++d\xC3\xA9p\xC3\xB4t%%\r\n\r\n");
    // Lines printed before a failure reach the file even without Close.
    dir.files.CreateText(dir / "partial.txt")->PrintLine("&&START%%");
    EXPECT_EQ(ReadFile(dir / "partial.txt"), "&&START%%\r\n");
    // A full disk shows when the buffered lines are written out at Close.
    auto full = dir.files.CreateText("/dev/full");
    full->PrintLine("&&START%%");
    Error e = ErrorOf([&] { full->Close(); });
    EXPECT_EQ(std::to_string(e.number()) + " " + e.description(), "61 Disk full: /dev/full (No space left on device)");
    // A disk that fills in the middle of a write leaves whole lines only.
    const std::string line(1000, 'e');
    e = WhenDiskFills(100000, [&] {
        auto text = dir.files.CreateText(dir / "filling.txt");
        for (int i = 0; i < 200; ++i) text->PrintLine(line);
        text->Close();
    });
    EXPECT_EQ(e.number(), kErrDiskFull);
    uintmax_t size = fs::file_size(dir / "filling.txt");
    EXPECT_TRUE(size > 0 && size % (line.size() + 2) == 0) << size << " bytes is not a number of whole lines";
}

// Without a runtime folder the lock lies in the user's private folder in the temp folder; one that
// others may enter, or a link, is not used: the lock fails rather than being shared.
TEST(PosixKernel, TheSingleInstanceLockIsTheUsersOwn) {
    HomeDir home;
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string own = home / ("tmp/zilba-companion-" + std::to_string(::getuid()));
    posix::PosixKernel first;
    HANDLE held = first.CreateMutexA(nullptr, false, "ZCMutex");
    ASSERT_NE(held, 0);
    EXPECT_TRUE(fs::exists(own + "/ZCMutex.lock"));
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all);
    first.CloseHandle(held);

    fs::permissions(own, fs::perms(0755));
    EXPECT_EQ(first.CreateMutexA(nullptr, false, "ZCMutex"), 0);
    fs::remove_all(own);
    fs::create_directories(home / "elsewhere");
    fs::create_directory_symlink(home / "elsewhere", own);
    EXPECT_EQ(first.CreateMutexA(nullptr, false, "ZCMutex"), 0);
    EXPECT_TRUE(fs::is_empty(home / "elsewhere"));
}

}  // namespace
}  // namespace zc::test
