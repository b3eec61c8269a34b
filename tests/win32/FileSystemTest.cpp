// The file system adapter on the real Win32 file functions under Wine, where the whole transfer
// does not reach: refusals and failures in Windows' own words, and no file lost or half written.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include "Support.h"
#include "platform/win32/Win32FileSystem.h"

namespace zc::test {

TEST(FileSystem, RefusesWithWindowsOwnReasonsAndNeverLeavesAFileHalfWrittenOrReplaced) {
    win32::Win32FileSystem files;
    TempDir dir;
    Error missing = ErrorOf([&] { files.FileCopy(dir / "none.txt", dir / "c.txt"); });
    EXPECT_EQ(missing.number(), kErrFileNotFound);
    EXPECT_NE(missing.description().find(dir / "none.txt"), std::string::npos) << "names the source";
    // Nor is a missing file read as an empty one, or made.
    EXPECT_EQ(ErrorOf([&] { files.ReadBinary(dir / "none.txt"); }).number(), kErrFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(P(dir / "none.txt")));

    // A copy replaces the destination whole or not at all: a read-only one keeps its bytes, and
    // no working copy stays behind.
    const std::string bytes("one\0two", 7);
    WriteFile(dir / "a.txt", bytes);
    WriteFile(dir / "b.txt", "an older, longer content");
    files.FileCopy(dir / "a.txt", dir / "b.txt");
    EXPECT_EQ(ReadFile(dir / "b.txt"), bytes);
    WriteFile(dir / "ro.txt", "kept");
    ::SetFileAttributesW(P(dir / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(dir / "b.txt", dir / "ro.txt"); }).number(), kErrPermissionDenied);
    EXPECT_EQ(files.ListFiles(dir.path, "*.*"), (std::vector<std::string>{"a.txt", "b.txt", "ro.txt"}));

    // A move never replaces a file; a read-only file is not deleted, with Windows' reason.
    WriteFile(dir / "c.txt", "new");
    EXPECT_NE(ErrorOf([&] { files.MoveFile(dir / "c.txt", dir / "a.txt"); }).number(), 0);
    EXPECT_EQ(ReadFile(dir / "c.txt") + ReadFile(dir / "a.txt"), "new" + bytes);
    Error refused = ErrorOf([&] { files.Kill(dir / "ro.txt"); });
    EXPECT_EQ(refused.number(), kErrPermissionDenied);
    EXPECT_NE(refused.description().find(win32::SystemMessage(ERROR_ACCESS_DENIED)), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "ro.txt"), "kept") << "neither copied over nor deleted";
}

TEST(FileSystem, ListingKeepsCloudPlaceholdersAndLeavesOutLinksAndMountPoints) {
    // A file of a Documents folder synced to the cloud, as its sync client marks it (the last
    // is FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS, which older headers lack).
    constexpr DWORD kPlaceholder = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_SPARSE_FILE |
                                   FILE_ATTRIBUTE_OFFLINE | 0x00400000;
    const struct {
        DWORD attributes, tag;
        bool listed;
    } entries[] = {
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 0, true},
        {FILE_ATTRIBUTE_ARCHIVE, IO_REPARSE_TAG_SYMLINK, true},  // the tag means nothing without the attribute
        {kPlaceholder, IO_REPARSE_TAG_CLOUD, true},
        {kPlaceholder, IO_REPARSE_TAG_CLOUD_3, true},
        {kPlaceholder, IO_REPARSE_TAG_ONEDRIVE, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DEDUP, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, false},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, false},
        {kPlaceholder | FILE_ATTRIBUTE_HIDDEN, IO_REPARSE_TAG_CLOUD_3, false},  // hidden, as any file
        {FILE_ATTRIBUTE_SYSTEM, 0, false},
    };
    for (const auto& entry : entries)
        EXPECT_EQ(win32::IsListed(entry.attributes, entry.tag), entry.listed)
            << std::hex << entry.attributes << " " << entry.tag;
}

// Run with ZC_DISK_FILLS_AT only (wine-run.sh): no file this program writes grows past ZC_DISK_FILLS_AT bytes, and a
// write that reaches the limit stops part-way, then fails, as on a disk that fills.
TEST(FullDisk, TheExportTextEndsInAWholeLine) {
    char limit[32] = {};
    ASSERT_GT(::GetEnvironmentVariableA("ZC_DISK_FILLS_AT", limit, sizeof limit), 0u) << "run with ZC_DISK_FILLS_AT";
    win32::Win32FileSystem files;
    TempDir dir;
    const std::string line(999, 'e');
    Error e = ErrorOf([&] {
        auto text = files.CreateText(dir / "c_zilba_1.txt");
        for (int i = 0; i <= std::stoi(limit) / 1000; ++i) text->PrintLine(line);
        text->Close();
    });
    EXPECT_NE(e.description().find(dir / "c_zilba_1.txt"), std::string::npos) << e.description();
    const std::string written = ReadFile(dir / "c_zilba_1.txt");
    EXPECT_TRUE(written.size() > 0 && written.size() % 1001 == 0) << written.size() << " bytes: not whole lines";
}

}  // namespace zc::test
