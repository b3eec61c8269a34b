// The file system adapter against the real Win32 file functions under Wine. Its listing (plain
// files only) shows in the whole transfer's resend.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Support.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinText.h"

namespace zc::test {

namespace {

void SetAttributes(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(::SetFileAttributesW(win32::Widen(path).c_str(), attributes)) << path;
}

}  // namespace

TEST(FileSystem, MakesCopiesMovesFlushesAndDeletesWithWindowsOwnReasons) {
    win32::Win32FileSystem files;
    TempDir dir;
    Error orphan = ErrorOf([&] { files.MkDir(dir / "missing\\Export"); });
    EXPECT_EQ(orphan.number(), kErrPathNotFound);
    EXPECT_EQ(orphan.description(), "Path not found: " + dir / "missing\\Export" + " (" + win32::SystemMessage(3) + ")");
    files.MkDir(dir / "Upload");
    EXPECT_NE(ErrorOf([&] { files.MkDir(dir / "Upload"); }).number(), 0) << "a folder that exists";

    WriteFile(dir / "a.txt", std::string("one\0two", 7));
    WriteFile(dir / "b.txt", "old");
    files.FileCopy(dir / "a.txt", dir / "b.txt");
    EXPECT_EQ(ReadFile(dir / "b.txt"), std::string("one\0two", 7)) << "replaced";
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(dir / "none.txt", dir / "c.txt"); }).number(), kErrFileNotFound);
    // Refused onto a read-only file: that file keeps its bytes, and no working copy stays behind.
    WriteFile(dir / "ro.txt", "kept");
    SetAttributes(dir / "ro.txt", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(dir / "b.txt", dir / "ro.txt"); }).number(), kErrPermissionDenied);
    EXPECT_EQ(ReadFile(dir / "ro.txt"), "kept");
    EXPECT_EQ(files.ListFiles(dir.path(), "*.*"), (std::vector<std::string>{"a.txt", "b.txt", "ro.txt"}));

    // A read-only file moves by rename, never over an existing file, and is flushed as it is.
    SetAttributes(dir / "a.txt", FILE_ATTRIBUTE_READONLY);
    files.MoveFile(dir / "a.txt", dir / "Upload\\a.txt");
    EXPECT_FALSE(IsFile(dir / "a.txt"));
    files.Flush(dir / "Upload\\a.txt");
    files.Flush(dir / "Upload");
    EXPECT_EQ(::GetFileAttributesW(win32::Widen(dir / "Upload\\a.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    WriteFile(dir / "a.txt", "new");
    EXPECT_NE(ErrorOf([&] { files.MoveFile(dir / "a.txt", dir / "Upload\\a.txt"); }).number(), 0);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "new");
    EXPECT_EQ(ReadFile(dir / "Upload\\a.txt"), std::string("one\0two", 7));
    EXPECT_NE(ErrorOf([&] { files.Flush(dir / "none.txt"); }).number(), 0);
    // From another volume (/dev/shm is a file system of its own), a read-only file too.
    const std::string other = "Z:\\dev\\shm\\zc-wintest-" + std::to_string(::GetCurrentProcessId());
    WriteFile(other, "elsewhere");
    SetAttributes(other, FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(ErrorOf([&] { files.MoveFile(other, dir / "Upload\\a.txt"); }).number(), 0);
    files.MoveFile(other, dir / "elsewhere.txt");
    EXPECT_EQ(ReadFile(dir / "elsewhere.txt"), "elsewhere");
    EXPECT_FALSE(IsFile(other));

    // Deleting: a read-only file is refused, with Windows' reason.
    Error refused = ErrorOf([&] { files.Kill(dir / "Upload\\a.txt"); });
    EXPECT_EQ(refused.number(), kErrPermissionDenied);
    EXPECT_NE(refused.description().find(win32::SystemMessage(ERROR_ACCESS_DENIED)), std::string::npos);
    files.Kill(dir / "b.txt");
    EXPECT_FALSE(IsFile(dir / "b.txt"));
}

// The ANSI code page and the CR LF of the text show in the whole transfer's export file.
TEST(FileSystem, TextFilesAndWholeFileReadsFailAsWindowsDoes) {
    win32::Win32FileSystem files;
    TempDir dir;
    WriteFile(dir / "c_zilba.txt", "an older, longer content");
    auto text = files.CreateText(dir / "c_zilba.txt");
    text->Close();
    EXPECT_EQ(ReadFile(dir / "c_zilba.txt"), "") << "truncated";
    EXPECT_NE(ErrorOf([&] { text->PrintLine("late"); }).number(), 0);
    EXPECT_EQ(ErrorOf([&] { files.CreateText(dir / "missing\\x.txt"); }).number(), kErrPathNotFound);

    EXPECT_TRUE(files.ReadBinary(dir / "new.bmp").empty());
    EXPECT_TRUE(IsFile(dir / "new.bmp")) << "a missing file is created empty";
    files.MkDir(dir / "folder.bmp");
    EXPECT_NE(ErrorOf([&] { files.ReadBinary(dir / "folder.bmp"); }).number(), 0);
}

}  // namespace zc::test
