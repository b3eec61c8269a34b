// The program's steps built for Windows and run under Wine on the real Windows platform: the
// local paths use "\", the handheld is the stand-in, the server the stand-in on 127.0.0.1.
#include <gtest/gtest.h>

#include <filesystem>

#include "Support.h"
#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinText.h"
#include "server/Server.h"
#include "support/FakeForm.h"

namespace zc::test {

namespace {

using Lines = std::vector<std::string>;

const std::string kExport =
    "&&START%%\r\n&&SITE+++wintest%%\r\n&&DOWNLOAD+++05/12/2026+++14:07:09%%\r\n"
    "&&COMMENT+++LoginID+++Event-code+++Time+++Date+++JobID+++Text+++SignatureID%%\r\n"
    "&&EVENT+++42+++101+++09:30+++05/12/2026+++731+++T_7+++S_3.bmp%%\r\n&&STOP%%\r\n";

std::string Bitmap(size_t n) {
    std::string s = "BM";
    for (size_t i = 2; i < n; ++i) s += static_cast<char>(i % 251);
    return s;
}

Lines Entries(const std::string& folder) {
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator(win32::Widen(folder)))
        names.push_back(win32::Narrow(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Steps, CollectSendBackUpAndLaunchOnWindows) {
    Handheld handheld;
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\S_3.bmp", Bitmap(2000));
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\S_4.bmp", "");
    TempDir dir;
    win32::Win32Platform os;
    FakeForm form;
    MainForm f{form, os.platform()};
    const std::string local = dir / "work";
    form.fields[Field::DeviceDir] = "\\My Documents\\Pocket Zilba";
    form.fields[Field::LocalDir] = local;
    form.fields[Field::Server] = Server();
    form.fields[Field::Site] = "wintest";
    ASSERT_EQ(os.rapi.CeRapiInit(), 0);

    CheckDirectories(f);
    EXPECT_FALSE(CheckPurgeFlag(f));
    CopySignatures(f);
    SetPurgeFlag(f);
    EXPECT_TRUE(CheckPurgeFlag(f));
    EXPECT_EQ(form.log, (Lines{"Checking directories...", "Creating " + local, "Creating " + local + "\\Export",
                               "Creating " + local + "\\Upload", "Checking for purge flag",
                               "Copying signatures from handheld device", "Copying file: S_3.bmp",
                               "Copying file: S_4.bmp", "Setting purge flag in handheld device",
                               "Checking for purge flag"}));
    EXPECT_EQ(ReadFile(local + "\\Export\\S_3.bmp"), Bitmap(2000));
    EXPECT_EQ(ReadFile(local + "\\Export\\S_4.bmp"), "");
    EXPECT_EQ(form.fields[Field::Signs], "2");

    // The export build stops at the database, which needs Jet; nothing of the file exists.
    form.log.clear();
    EXPECT_EQ(ErrorOf([&] { CreateExportFile(f); }).description(),
              "Provider cannot be found. It may not be properly installed.");
    EXPECT_EQ(form.log, Lines{"Creating export file"});
    EXPECT_EQ(f.strExportFile, "");

    // With the export file a transfer would have written: upload, backup, import.
    f.strExportFile = local + "\\Export\\c_zilba_05122026_140709.txt";
    WriteFile(f.strExportFile, kExport);
    form.log.clear();
    InitBoundaries();
    UploadFiles(f);
    EXPECT_EQ(form.log, (Lines{"Uploading files to server..", "  .." + f.strExportFile + ": Success",
                               "  ..S_3.bmp: Success", "  ..S_4.bmp: Success"}));
    EXPECT_EQ(form.fields[Field::Success], "3");
    const std::string stored = ServerState("data\\zilba\\wintest\\p_zilba\\import\\");
    EXPECT_EQ(ReadFile(stored + "c_zilba_05122026_140709.txt"), kExport);
    EXPECT_EQ(ReadFile(stored + "S_3.bmp"), Bitmap(2000));

    BackupFiles(f);
    EXPECT_EQ(Entries(local + "\\Export"), Lines{});
    Lines backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(Entries(local + "\\Upload\\" + backups[0]), (Lines{"S_3.bmp", "S_4.bmp", "c_zilba_05122026_140709.txt"}));

    form.log.clear();
    LaunchServerProcess(f);
    ASSERT_EQ(form.log.size(), 4u);
    EXPECT_EQ(form.log[1], "Status: 200");
    EXPECT_EQ(form.log[2].rfind("Import accepted\r\nSite: wintest\r\nFile: c_zilba_05122026_140709.txt", 0), 0u)
        << form.log[2];
    EXPECT_EQ(os.rapi.CeRapiUninit(), 0);
}

}  // namespace zc::test
