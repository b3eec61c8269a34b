// The file system adapter where the whole transfer does not reach.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <sstream>

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

    // A copy replaces the destination whole or not at all, leaving no working copy.
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
    std::istringstream entries(ReadFile("Z:" ZC_DATA_DIR "\\listed-entries.txt"));
    int count = 0;
    for (std::string line, listed; std::getline(entries, line);) {
        if (line[0] == '#' || !++count) continue;
        DWORD attributes = 0, tag = 0;
        std::istringstream(line) >> std::hex >> attributes >> tag >> listed;
        EXPECT_EQ(win32::IsListed(attributes, tag), listed == "listed") << line;
    }
    EXPECT_EQ(count, 10) << "every entry of listed-entries.txt read";
}

// Run with ZC_DISK_FILLS_AT (wine-run.sh), where a write stops part-way and fails as on a full disk.
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
