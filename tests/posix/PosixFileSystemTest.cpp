#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/Error.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

bool RunningAsRoot() { return geteuid() == 0; }

// The error a call raises; fails the test when it raises none.
Error Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return Error(0, "");
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PosixFileSystem, ListsPlainVisibleFilesMatchingThePattern) {
    TempDir dir;
    for (const char* name : {"b.bmp", "A.BMP", "C.bmp", ".hidden.bmp", "notes.txt", "noext"})
        WriteFile(dir / name, "x");
    fs::create_directory(dir / "x.bmp");
    fs::create_symlink(dir / "missing", dir / "broken.bmp");
    PosixFileSystem files;

    EXPECT_EQ(files.ListFiles(dir.path(), "*.bmp"),
              (std::vector<std::string>{"A.BMP", "b.bmp", "C.bmp"}));
    EXPECT_EQ(files.ListFiles(dir.path(), "*.*"),
              (std::vector<std::string>{"A.BMP", "b.bmp", "C.bmp", "noext", "notes.txt"}));
    EXPECT_TRUE(files.ListFiles(dir.path(), "*.mdb").empty());

    Error e = Raised([&] { files.ListFiles(dir / "nope", "*.*"); });
    EXPECT_EQ(e.number(), kErrPathNotFound);
    EXPECT_EQ(e.description(), "Path not found: " + (dir / "nope") + " (No such file or directory)");
}

TEST(PosixFileSystem, ExistsAndMkDir) {
    TempDir dir;
    PosixFileSystem files;
    WriteFile(dir / "Export", "");
    EXPECT_TRUE(files.Exists(dir / "Export"));  // a plain file counts
    EXPECT_TRUE(files.Exists(dir.path()));
    EXPECT_FALSE(files.Exists(dir / "Upload"));
    EXPECT_FALSE(files.Exists(""));

    files.MkDir(dir / "Upload");
    EXPECT_TRUE(fs::is_directory(dir / "Upload"));

    Error again = Raised([&] { files.MkDir(dir / "Upload"); });
    EXPECT_EQ(again.number(), kErrPathFileAccess);
    EXPECT_EQ(again.description(), "Path/File access error: " + (dir / "Upload") + " (File exists)");

    // One level only: a missing parent is not created.
    Error parent = Raised([&] { files.MkDir(dir / "a/b"); });
    EXPECT_EQ(parent.number(), kErrPathNotFound);
    EXPECT_EQ(parent.description(),
              "Path not found: " + (dir / "a/b") + " (No such file or directory)");
    EXPECT_FALSE(fs::exists(dir / "a"));

    Error underFile = Raised([&] { files.MkDir(dir / "Export/sub"); });
    EXPECT_EQ(underFile.number(), kErrPathNotFound);
}

TEST(PosixFileSystem, MkDirInReadOnlyFolderIsPermissionDenied) {
    if (RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    PosixFileSystem files;
    Error e = Raised([&] { files.MkDir(dir / "locked/Export"); });
    EXPECT_EQ(e.number(), kErrPermissionDenied);
    EXPECT_EQ(e.description(),
              "Permission denied: " + (dir / "locked/Export") + " (Permission denied)");
}

TEST(PosixFileSystem, CopyReplacesTheDestinationAndKeepsTheSource) {
    TempDir dir;
    PosixFileSystem files;
    const std::string bytes("sig\0nature\r\n\xFF", 14);
    WriteFile(dir / "a.bmp", bytes);
    WriteFile(dir / "b.bmp", "an older, longer file that must be replaced entirely");
    chmod((dir / "a.bmp").c_str(), 0640);

    files.FileCopy(dir / "a.bmp", dir / "b.bmp");
    EXPECT_EQ(ReadFile(dir / "b.bmp"), bytes);
    EXPECT_EQ(ReadFile(dir / "a.bmp"), bytes);
    struct stat st {};
    ASSERT_EQ(stat((dir / "b.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No working copy is left behind.
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"a.bmp", "b.bmp"}));

    fs::create_directory(dir / "Export");
    files.FileCopy(dir / "a.bmp", dir / "Export/a.bmp");
    EXPECT_EQ(ReadFile(dir / "Export/a.bmp"), bytes);
}

TEST(PosixFileSystem, CopyOntoItselfLeavesTheFileWhole) {
    TempDir dir;
    PosixFileSystem files;
    const std::string bytes(5000, 'z');
    WriteFile(dir / "c_zilba_1.txt", bytes);
    fs::create_hard_link(dir / "c_zilba_1.txt", dir / "link.txt");

    files.FileCopy(dir / "c_zilba_1.txt", dir / "c_zilba_1.txt");
    files.FileCopy(dir / "c_zilba_1.txt", dir.path() + "/./c_zilba_1.txt");
    files.FileCopy(dir / "link.txt", dir / "c_zilba_1.txt");
    EXPECT_EQ(ReadFile(dir / "c_zilba_1.txt"), bytes);
    EXPECT_EQ(ReadFile(dir / "link.txt"), bytes);
}

TEST(PosixFileSystem, CopyFailuresNameThePathAndDamageNothing) {
    TempDir dir;
    PosixFileSystem files;
    WriteFile(dir / "a.bmp", "abc");

    Error missing = Raised([&] { files.FileCopy(dir / "none.bmp", dir / "b.bmp"); });
    EXPECT_EQ(missing.number(), kErrFileNotFound);
    EXPECT_EQ(missing.description(),
              "File not found: " + (dir / "none.bmp") + " (No such file or directory)");
    EXPECT_FALSE(fs::exists(dir / "b.bmp"));

    Error noFolder = Raised([&] { files.FileCopy(dir / "a.bmp", dir / "Export/a.bmp"); });
    EXPECT_EQ(noFolder.number(), kErrPathNotFound);
    EXPECT_NE(noFolder.description().find(dir / "Export/a.bmp"), std::string::npos);

    // A read-only destination is refused, as Windows refuses it, and stays as it was.
    WriteFile(dir / "ro.bmp", "keep");
    chmod((dir / "ro.bmp").c_str(), 0444);
    Error readOnly = Raised([&] { files.FileCopy(dir / "a.bmp", dir / "ro.bmp"); });
    EXPECT_EQ(readOnly.number(), kErrPermissionDenied);
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), "keep");

    fs::create_directory(dir / "folder");
    Error ontoFolder = Raised([&] { files.FileCopy(dir / "a.bmp", dir / "folder"); });
    EXPECT_EQ(ontoFolder.number(), kErrPathFileAccess);
    EXPECT_EQ(ReadFile(dir / "a.bmp"), "abc");
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"a.bmp", "folder", "ro.bmp"}));
}

TEST(PosixFileSystem, KillDeletesPlainFilesOnly) {
    TempDir dir;
    PosixFileSystem files;
    WriteFile(dir / "a.bmp", "abc");
    files.Kill(dir / "a.bmp");
    EXPECT_FALSE(fs::exists(dir / "a.bmp"));

    Error missing = Raised([&] { files.Kill(dir / "a.bmp"); });
    EXPECT_EQ(missing.number(), kErrFileNotFound);

    // A read-only file is not deleted (the backup then reports it), as on Windows.
    WriteFile(dir / "ro.bmp", "keep");
    chmod((dir / "ro.bmp").c_str(), 0444);
    Error readOnly = Raised([&] { files.Kill(dir / "ro.bmp"); });
    EXPECT_EQ(readOnly.number(), kErrPathFileAccess);
    EXPECT_EQ(readOnly.description(), "Path/File access error: " + (dir / "ro.bmp") + " (read-only file)");
    EXPECT_TRUE(fs::exists(dir / "ro.bmp"));

    fs::create_directory(dir / "sub");
    EXPECT_EQ(Raised([&] { files.Kill(dir / "sub"); }).number(), kErrPathFileAccess);
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

TEST(PosixFileSystem, TextFileWritesCrLfLinesWithoutBom) {
    TempDir dir;
    PosixFileSystem files;
    WriteFile(dir / "out.txt", "old content that is longer than the new one, to be truncated");
    auto out = files.CreateText(dir / "out.txt");
    out->PrintLine("&&START%%");
    out->PrintLine("&&SITE+++d\xC3\xA9p\xC3\xB4t%%");
    out->PrintLine("");
    out->Close();
    out->Close();  // closing twice is harmless
    EXPECT_EQ(ReadFile(dir / "out.txt"), "&&START%%\r\n&&SITE+++d\xC3\xA9p\xC3\xB4t%%\r\n\r\n");
    EXPECT_EQ(Raised([&] { out->PrintLine("late"); }).number(), 52);

    // Many lines go through the buffer whole and in order.
    auto big = files.CreateText(dir / "big.txt");
    for (int i = 0; i < 1000000; ++i) big->PrintLine(i % 1000 == 0 ? "marker" : "x");
    big->Close();
    std::string content = ReadFile(dir / "big.txt");
    EXPECT_EQ(content.size(), 1000u * 8 + 999000u * 3);
    EXPECT_EQ(content.substr(0, 11), "marker\r\nx\r\n");
    EXPECT_EQ(content.substr(content.size() - 3), "x\r\n");

    // Lines printed before a failure reach the file even without Close.
    {
        auto partial = files.CreateText(dir / "partial.txt");
        partial->PrintLine("&&START%%");
    }
    EXPECT_EQ(ReadFile(dir / "partial.txt"), "&&START%%\r\n");
}

TEST(PosixFileSystem, TextFileFailuresRaise) {
    TempDir dir;
    PosixFileSystem files;
    Error noFolder = Raised([&] { files.CreateText(dir / "Export/c_zilba_1.txt"); });
    EXPECT_EQ(noFolder.number(), kErrPathNotFound);

    // A full disk shows when the buffered lines are written out at Close.
    auto full = files.CreateText("/dev/full");
    full->PrintLine("&&START%%");
    Error e = Raised([&] { full->Close(); });
    EXPECT_EQ(e.number(), kErrDiskFull);
    EXPECT_EQ(e.description(), "Disk full: /dev/full (No space left on device)");
}

TEST(PosixFileSystem, ReadBinaryReadsWholeFileOrCreatesItEmpty) {
    TempDir dir;
    PosixFileSystem files;
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i % 251));
    WriteFile(dir / "a.bmp", bytes);
    std::vector<uint8_t> read = files.ReadBinary(dir / "a.bmp");
    EXPECT_EQ(std::string(read.begin(), read.end()), bytes);

    EXPECT_TRUE(files.ReadBinary(dir / "new.txt").empty());
    EXPECT_TRUE(fs::is_regular_file(dir / "new.txt"));
    EXPECT_EQ(fs::file_size(dir / "new.txt"), 0u);

    Error noFolder = Raised([&] { files.ReadBinary(dir / "Export/x.txt"); });
    EXPECT_EQ(noFolder.number(), kErrPathNotFound);
    EXPECT_FALSE(fs::exists(dir / "Export"));

    EXPECT_EQ(Raised([&] { files.ReadBinary(dir.path()); }).number(), kErrPathFileAccess);
}

TEST(PosixFileSystem, ReadBinaryOfUnreadableFileIsPermissionDenied) {
    if (RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    WriteFile(dir / "secret.bmp", "abc");
    chmod((dir / "secret.bmp").c_str(), 0);
    PosixFileSystem files;
    Error e = Raised([&] { files.ReadBinary(dir / "secret.bmp"); });
    EXPECT_EQ(e.number(), kErrPermissionDenied);
    EXPECT_EQ(e.description(), "Permission denied: " + (dir / "secret.bmp") + " (Permission denied)");
}

}  // namespace
}  // namespace zc::posix
