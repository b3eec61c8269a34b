#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "export/Export.h"
#include "export/ExportWorld.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kStamp = "05122026_140709";

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(BackupFiles, MovesThePlainFilesIntoOneDatedFolder) {
    World w;
    WriteFile(w.Export("c_zilba_05122026_140001.txt"), "&&START%%\r\n");
    WriteFile(w.Export("a.bmp"), std::string("BM\0\1\2", 5));
    WriteFile(w.Export("NOEXT"), "x");
    WriteFile(w.Export(".hidden"), "h");
    fs::create_directory(w.Export("sub"));
    WriteFile(w.Export("sub/inner.bmp"), "i");

    BackupFiles(w.f);

    const std::string backup = w.Upload(kStamp);
    EXPECT_EQ(w.form.log, std::vector<std::string>{"Backing up files"});
    EXPECT_EQ(Names(w.localDir + "/Upload"), std::vector<std::string>{kStamp});
    EXPECT_EQ(Names(backup),
              (std::vector<std::string>{"NOEXT", "a.bmp", "c_zilba_05122026_140001.txt"}));
    EXPECT_EQ(ReadFile(backup + "/a.bmp"), std::string("BM\0\1\2", 5));
    EXPECT_EQ(ReadFile(backup + "/c_zilba_05122026_140001.txt"), "&&START%%\r\n");
    // Hidden files and folders stay where they are.
    EXPECT_EQ(Names(w.localDir + "/Export"), (std::vector<std::string>{".hidden", "sub"}));
    EXPECT_EQ(ReadFile(w.Export("sub/inner.bmp")), "i");
}

TEST(BackupFiles, EmptyExportFolderStillMakesTheFolder) {
    World w;
    w.clock.style = FixedClock::Style::MonthDayYear;
    BackupFiles(w.f);
    EXPECT_TRUE(fs::is_directory(w.Upload("1252026_20709_PM")));
    EXPECT_TRUE(Names(w.Upload("1252026_20709_PM")).empty());
}

TEST(BackupFiles, FolderThatExistsOrCannotBeMadeMovesNothing) {
    {  // two backups within the same second; the first one's files are never mixed or replaced
        World w;
        WriteFile(w.Export("one.bmp"), "first");
        BackupFiles(w.f);
        WriteFile(w.Export("one.bmp"), "second");
        Error e = ErrorOf([&] { BackupFiles(w.f); });
        EXPECT_NE(e.description().find(w.Upload(kStamp)), std::string::npos);
        EXPECT_EQ(ReadFile(w.Upload(kStamp + "/one.bmp")), "first");
        EXPECT_EQ(ReadFile(w.Export("one.bmp")), "second");
    }
    {  // no backup folder
        World w;
        WriteFile(w.Export("one.bmp"), "x");
        fs::remove(w.localDir + "/Upload");
        Error e = ErrorOf([&] { BackupFiles(w.f); });
        EXPECT_EQ(e.number(), kErrPathNotFound);
        EXPECT_EQ(ReadFile(w.Export("one.bmp")), "x");
    }
}

TEST(BackupFiles, FailureLosesNothing) {
    {  // the second copy fails: the first file is in the backup only, the rest stay
        World w;
        for (const char* name : {"a.bmp", "b.bmp", "c.txt"}) WriteFile(w.Export(name), name);
        w.plan.FailCall("FileCopy", 2);
        Error e = ErrorOf([&] { BackupFiles(w.f); });
        EXPECT_EQ(e.number(), kErrPathFileAccess);
        EXPECT_EQ(Names(w.Upload(kStamp)), std::vector<std::string>{"a.bmp"});
        EXPECT_EQ(Names(w.localDir + "/Export"), (std::vector<std::string>{"b.bmp", "c.txt"}));
        EXPECT_EQ(ReadFile(w.Export("b.bmp")), "b.bmp");
        EXPECT_EQ(w.plan.Count("Kill"), 1);
    }
    {  // a read-only file is copied, its delete fails, and the later files stay
        World w;
        for (const char* name : {"a.bmp", "b.bmp", "c.txt"}) WriteFile(w.Export(name), name);
        fs::permissions(w.Export("b.bmp"), fs::perms::owner_read);
        Error e = ErrorOf([&] { BackupFiles(w.f); });
        EXPECT_NE(e.description().find(w.Export("b.bmp")), std::string::npos);
        EXPECT_EQ(Names(w.Upload(kStamp)), (std::vector<std::string>{"a.bmp", "b.bmp"}));
        EXPECT_EQ(Names(w.localDir + "/Export"), (std::vector<std::string>{"b.bmp", "c.txt"}));
        EXPECT_EQ(ReadFile(w.Upload(kStamp + "/b.bmp")), "b.bmp");
    }
}

TEST(BackupFiles, MovesAFileLeftByAFailedExport) {
    World w;
    w.Database("INSERT INTO Control VALUES('depot7');"
               "INSERT INTO Jobs VALUES(1, 1, 11, '2026-12-05 09:30:00', 'a', 'b');");
    w.form.fields[Field::Events] = "32767";
    ErrorOf([&] { CreateExportFile(w.f); });
    w.clock.now.second = 30;

    BackupFiles(w.f);

    EXPECT_TRUE(Names(w.localDir + "/Export").empty());
    EXPECT_EQ(ReadFile(w.Upload("05122026_140730/c_zilba_05122026_140709.txt")).substr(0, 11),
              "&&START%%\r\n");
}

TEST(BackupFiles, LocalDirectoryWithTrailingSeparatorIsUsedAsTyped) {
    World w;
    WriteFile(w.Export("a.bmp"), "a");
    w.form.fields[Field::LocalDir] = w.localDir + "/";
    BackupFiles(w.f);
    EXPECT_TRUE(w.files.Exists(w.localDir + "//Upload/" + kStamp + "/a.bmp"));
    EXPECT_NE(std::find(w.plan.calls.begin(), w.plan.calls.end(),
                        "Kill " + w.localDir + "//Export/a.bmp"),
              w.plan.calls.end());
}

}  // namespace zc::test
