#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/PosixFileSystem.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

struct Files : TempDir {
    posix::PosixFileSystem files;
    // What `call` raised: "<number> <description>".
    std::string Raised(const std::function<void()>& call) {
        Error e = ErrorOf(call);
        return std::to_string(e.number()) + " " + e.description();
    }
};

TEST(PosixFileSystem, ListsPlainVisibleFilesAndMakesOneFolderLevel) {
    Files dir;
    for (const char* name : {"b.bmp", "A.BMP", "C.bmp", ".hidden.bmp", "notes.txt", "noext"})
        WriteFile(dir / name, "x");
    fs::create_directory(dir / "x.bmp");
    fs::create_symlink(dir / "missing", dir / "broken.bmp");
    EXPECT_EQ(dir.files.ListFiles(dir.path(), "*.bmp"), (Lines{"A.BMP", "b.bmp", "C.bmp"}));
    EXPECT_EQ(dir.files.ListFiles(dir.path(), "*.*"), (Lines{"A.BMP", "b.bmp", "C.bmp", "noext", "notes.txt"}));
    EXPECT_TRUE(dir.files.Exists(dir / "noext")) << "a plain file counts";
    EXPECT_FALSE(dir.files.Exists(dir / "Upload"));
    dir.files.MkDir(dir / "Upload");
    EXPECT_TRUE(fs::is_directory(dir / "Upload"));
}

TEST(PosixFileSystem, FailuresRaiseTheClassicNumbersAndDamageNothing) {
    Files dir;
    WriteFile(dir / "a.bmp", "abc");
    WriteFile(dir / "ro.bmp", "keep");
    chmod((dir / "ro.bmp").c_str(), 0444);
    fs::create_directory(dir / "folder");
    const std::pair<int, std::function<void()>> failures[] = {
        {kErrPathNotFound, [&] { dir.files.ListFiles(dir / "nope", "*.*"); }},
        {kErrPathFileAccess, [&] { dir.files.MkDir(dir / "folder"); }},
        {kErrPathNotFound, [&] { dir.files.MkDir(dir / "a.bmp/sub"); }},
        {kErrFileNotFound, [&] { dir.files.FileCopy(dir / "none.bmp", dir / "b.bmp"); }},
        {kErrPathNotFound, [&] { dir.files.FileCopy(dir / "a.bmp", dir / "Export/a.bmp"); }},
        {kErrPermissionDenied, [&] { dir.files.FileCopy(dir / "a.bmp", dir / "ro.bmp"); }},  // as Windows refuses
        {kErrPathFileAccess, [&] { dir.files.FileCopy(dir / "a.bmp", dir / "folder"); }},
        {kErrPathFileAccess, [&] { dir.files.Kill(dir / "folder"); }},
        {kErrFileNotFound, [&] { dir.files.Kill(dir / "none.bmp"); }},
        {kErrPathNotFound, [&] { dir.files.CreateText(dir / "Export/c_zilba_1.txt"); }},
        {kErrPathNotFound, [&] { dir.files.ReadBinary(dir / "Export/x.txt"); }},
        {kErrPathFileAccess, [&] { dir.files.ReadBinary(dir.path()); }},
    };
    for (size_t i = 0; i < std::size(failures); ++i)
        EXPECT_EQ(ErrorOf(failures[i].second).number(), failures[i].first) << "failure " << i;
    // The description names the path and the system's reason; a read-only file is not deleted.
    EXPECT_EQ(dir.Raised([&] { dir.files.MkDir(dir / "a/b"); }),
              "76 Path not found: " + (dir / "a/b") + " (No such file or directory)");
    EXPECT_EQ(dir.Raised([&] { dir.files.Kill(dir / "ro.bmp"); }),
              "75 Path/File access error: " + (dir / "ro.bmp") + " (read-only file)");
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), "keep");
    EXPECT_EQ(Names(dir.path()), (Lines{"a.bmp", "folder", "ro.bmp"})) << "nothing made, nothing lost";
    dir.files.Kill(dir / "a.bmp");
    EXPECT_FALSE(fs::exists(dir / "a.bmp"));
}

TEST(PosixFileSystem, CopyReplacesTheDestinationWholeAndKeepsTheSource) {
    Files dir;
    const std::string bytes("sig\0nature\r\n\xFF", 14);
    WriteFile(dir / "a.bmp", bytes);
    WriteFile(dir / "b.bmp", "an older, longer file that must be replaced entirely");
    chmod((dir / "a.bmp").c_str(), 0640);
    dir.files.FileCopy(dir / "a.bmp", dir / "b.bmp");
    EXPECT_EQ(ReadFile(dir / "b.bmp"), bytes);
    EXPECT_EQ(fs::status(dir / "b.bmp").permissions(), fs::status(dir / "a.bmp").permissions());
    EXPECT_EQ(Names(dir.path()), (Lines{"a.bmp", "b.bmp"})) << "no working copy left behind";
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
    out->Close();  // closing twice is harmless
    std::vector<uint8_t> read = dir.files.ReadBinary(dir / "out.txt");
    EXPECT_EQ(std::string(read.begin(), read.end()), "&&SITE+++d\xC3\xA9p\xC3\xB4t%%\r\n\r\n");
    // Lines printed before a failure reach the file even without Close.
    dir.files.CreateText(dir / "partial.txt")->PrintLine("&&START%%");
    EXPECT_EQ(ReadFile(dir / "partial.txt"), "&&START%%\r\n");
    // A full disk shows when the buffered lines are written out at Close.
    auto full = dir.files.CreateText("/dev/full");
    full->PrintLine("&&START%%");
    EXPECT_EQ(dir.Raised([&] { full->Close(); }), "61 Disk full: /dev/full (No space left on device)");
    // A disk that fills in the middle of a write leaves whole lines only.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string line(1000, 'e');
    Error e = ErrorOf([&] {
        auto text = dir.files.CreateText(dir / "filling.txt");
        for (int i = 0; i < 200; ++i) text->PrintLine(line);
        text->Close();
    });
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(e.number(), kErrDiskFull);
    uintmax_t size = fs::file_size(dir / "filling.txt");
    EXPECT_TRUE(size > 0 && size % (line.size() + 2) == 0) << size << " bytes is not a number of whole lines";
    // A missing file reads as nothing and is created empty.
    EXPECT_TRUE(dir.files.ReadBinary(dir / "new.txt").empty());
    EXPECT_TRUE(fs::is_regular_file(dir / "new.txt"));
}

TEST(PosixFileSystem, MoveRenamesOrCopiesAcrossVolumesAndNeverReplacesOrFollowsLinks) {
    Files dir;
    fs::create_directory(dir / "to");
    WriteFile(dir / "ro.bmp", "read-only");
    fs::permissions(dir / "ro.bmp", fs::perms::owner_read);
    dir.files.MoveFile(dir / "ro.bmp", dir / "to/ro.bmp");
    EXPECT_EQ(ReadFile(dir / "to/ro.bmp"), "read-only");
    EXPECT_FALSE(fs::exists(dir / "ro.bmp"));
    WriteFile(dir / "ro.bmp", "second");
    EXPECT_EQ(ErrorOf([&] { dir.files.MoveFile(dir / "ro.bmp", dir / "to/ro.bmp"); }).number(), kErrPathFileAccess);
    EXPECT_EQ(ReadFile(dir / "to/ro.bmp"), "read-only");
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), "second");
    fs::create_symlink(dir / "ro.bmp", dir / "link.bmp");
    EXPECT_NE(ErrorOf([&] { dir.files.MoveFile(dir / "link.bmp", dir / "to/link.bmp"); }).number(), 0);
    EXPECT_EQ(Names(dir / "to"), Lines{"ro.bmp"});

    // Another volume: the file is copied whole, then the source goes.
    struct stat here {}, shm {};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second volume";
    TempDir other("/dev/shm");
    dir.files.MoveFile(dir / "ro.bmp", other / "ro.bmp");
    EXPECT_EQ(ReadFile(other / "ro.bmp"), "second");
    EXPECT_FALSE(fs::exists(dir / "ro.bmp"));
    EXPECT_EQ(ErrorOf([&] { dir.files.MoveFile(dir / "to/ro.bmp", other / "ro.bmp"); }).number(), kErrPathFileAccess);
    EXPECT_EQ(ReadFile(dir / "to/ro.bmp"), "read-only");
}

TEST(PosixFileSystem, PermissionsThatRefuseAreReportedAsSuch) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    Files dir;
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(dir.Raised([&] { dir.files.MkDir(dir / "locked/Export"); }),
              "70 Permission denied: " + (dir / "locked/Export") + " (Permission denied)");
    WriteFile(dir / "secret.bmp", "abc");
    chmod((dir / "secret.bmp").c_str(), 0);
    EXPECT_EQ(ErrorOf([&] { dir.files.ReadBinary(dir / "secret.bmp"); }).number(), kErrPermissionDenied);
}

}  // namespace
}  // namespace zc::test
