// The file system adapter on the real Win32 file functions under Wine, where the whole transfer
// does not reach: refusals, failures in Windows' own words, and no file lost or half written.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include "Support.h"
#include "platform/win32/Win32FileSystem.h"

namespace zc::test {

TEST(FileSystem, RefusesWithWindowsOwnReasonsAndNeverLeavesAFileHalfWrittenOrReplaced) {
    win32::Win32FileSystem files;
    TempDir dir;
    auto readOnly = [](const std::string& path) { EXPECT_TRUE(::SetFileAttributesW(P(path).c_str(), FILE_ATTRIBUTE_READONLY)); };
    Error orphan = ErrorOf([&] { files.MkDir(dir / "missing\\Export"); });
    EXPECT_EQ(orphan.number(), kErrPathNotFound);
    EXPECT_EQ(orphan.description(), "Path not found: " + dir / "missing\\Export" + " (" + win32::SystemMessage(3) + ")");
    Error missing = ErrorOf([&] { files.FileCopy(dir / "none.txt", dir / "c.txt"); });
    EXPECT_EQ(missing.number(), kErrFileNotFound);
    EXPECT_NE(missing.description().find(dir / "none.txt"), std::string::npos) << "names the source";

    // A copy replaces the destination whole or not at all: a read-only one keeps its bytes, and
    // no working copy stays behind.
    const std::string bytes("one\0two", 7);
    WriteFile(dir / "a.txt", bytes);
    WriteFile(dir / "b.txt", "an older, longer content");
    files.FileCopy(dir / "a.txt", dir / "b.txt");
    EXPECT_EQ(ReadFile(dir / "b.txt"), bytes);
    WriteFile(dir / "ro.txt", "kept");
    readOnly(dir / "ro.txt");
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(dir / "b.txt", dir / "ro.txt"); }).number(), kErrPermissionDenied);
    EXPECT_EQ(ReadFile(dir / "ro.txt"), "kept");
    EXPECT_EQ(files.ListFiles(dir.path(), "*.*"), (std::vector<std::string>{"a.txt", "b.txt", "ro.txt"}));
    // A new text file over an older one keeps nothing of it.
    files.CreateText(dir / "b.txt")->Close();
    EXPECT_EQ(ReadFile(dir / "b.txt"), "");

    // A move never replaces a file, on one volume or from another (/dev/shm is a file system of
    // its own, where a read-only file moves by copy, flush and delete).
    files.MkDir(dir / "Upload");
    readOnly(dir / "a.txt");
    files.MoveFile(dir / "a.txt", dir / "Upload\\a.txt");
    WriteFile(dir / "a.txt", "new");
    EXPECT_NE(ErrorOf([&] { files.MoveFile(dir / "a.txt", dir / "Upload\\a.txt"); }).number(), 0);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "new");
    const std::string other = "Z:\\dev\\shm\\zc-wintest-" + std::to_string(::GetCurrentProcessId());
    WriteFile(other, "elsewhere");
    readOnly(other);
    EXPECT_NE(ErrorOf([&] { files.MoveFile(other, dir / "Upload\\a.txt"); }).number(), 0);
    EXPECT_EQ(ReadFile(dir / "Upload\\a.txt"), bytes);
    files.MoveFile(other, dir / "elsewhere.txt");
    EXPECT_EQ(ReadFile(dir / "elsewhere.txt"), "elsewhere");
    EXPECT_FALSE(std::filesystem::exists(P(other)));

    // A read-only file is not deleted, with Windows' reason.
    Error refused = ErrorOf([&] { files.Kill(dir / "Upload\\a.txt"); });
    EXPECT_EQ(refused.number(), kErrPermissionDenied);
    EXPECT_NE(refused.description().find(win32::SystemMessage(ERROR_ACCESS_DENIED)), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "Upload\\a.txt"), bytes);
}

}  // namespace zc::test
