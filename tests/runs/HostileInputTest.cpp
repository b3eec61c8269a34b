// Whole transfers on a zilba-sim handheld and the stand-in server, then broken and hostile input,
// each with a clear outcome that loses nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include <sys/stat.h>

#include "handheld/Handheld.h"
#include "platform/Paths.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {

const std::string kPocket = "My Documents/Pocket Zilba";

// The handheld may drop its rows once flagged, so everything taken from it is on the disk first,
// flushed by name: a file of the user's beside the run's is never opened.
TEST(WholeTransfer, FromTheButtonToTheFinishedBoxWithEverythingOnTheDiskFirstAndNoFileOfTheUsers) {
    TransferRig rig(3, 2);
    WriteFile(rig.Local("budget.xls"), "the user's");
    fs::create_directories(rig.Local("Upload"));
    WriteFile(rig.Local("Upload/notes.txt"), "the user's too");
    EXPECT_EQ(rig.Transfer(), kFinishedText);
    // The log as the window holds it, with the local directory written as <local>.
    std::string log = rig.form.LogText();
    for (size_t at; (at = log.find(rig.localDir)) != std::string::npos;) log.replace(at, rig.localDir.size(), "<local>");
    EXPECT_EQ(log, ReadFile(std::string(ZC_DATA_DIR) + "/transfer.log"));
    const std::string exported = "c_zilba_06122026_192009.txt", backup = rig.Local("Upload/06122026_192009");
    std::map<std::string, std::string> sent;
    for (const auto& [name, path] : FilesBelow(backup)) sent[name] = ReadFile(path);
    EXPECT_EQ(Names(rig.Local("Upload")), (std::vector<std::string>{"06122026_192009", "notes.txt"}));
    EXPECT_EQ(rig.Served(), sent) << "the server holds every file byte for byte";
    EXPECT_TRUE(Names(rig.Local("Export")).empty());
    EXPECT_EQ(ReadFile(rig.DevicePath(kPocket + "/.purge")), "");

    std::vector<std::string> before, after;  // what was flushed before the flag, and after it
    bool flagged = false;
    for (const std::string& call : rig.plan.calls) {
        EXPECT_EQ(call.find("notes.txt") + call.find("budget.xls"), 2 * std::string::npos) << call;
        flagged = flagged || (call.starts_with("CeCreateFile") && call.ends_with(".purge"));
        if (call.starts_with("Flush ")) (flagged ? after : before).push_back(call.substr(6));
    }
    // The journal (the file, then its folder), before anything is collected and at each later step.
    const std::string journal = rig.Local("zilba-run.journal.new");
    auto journals = [&](std::vector<std::string>& flushes) {
        size_t count = 0;
        for (auto at = flushes.begin(); (at = std::find(at, flushes.end(), journal)) != flushes.end(); ++count) {
            EXPECT_TRUE(at + 1 != flushes.end() && at[1] == rig.localDir) << "the journal's folder after it";
            at = flushes.erase(at, std::min(at + 2, flushes.end()));
        }
        return count;
    };
    ASSERT_EQ(before.size() > 1 ? before[0] + before[1] : "", journal + rig.localDir);
    EXPECT_EQ(journals(before), 2u) << "collecting, then exported";
    EXPECT_EQ(journals(after), 4u) << "flagged, sent, backing up, importing";
    // The bitmaps as the run copied them, then the export file, the database copy, the folders.
    EXPECT_EQ(before, (std::vector<std::string>{rig.Local("Export/S_5001.bmp"), rig.Local("Export/S_5002.bmp"),
                                                rig.Local("Export/" + exported), rig.Local("P_ZILBA.MDB"),
                                                rig.Local("Export"), rig.localDir}));
    // The backup's moves before the import is asked: each file, then the folders that changed.
    ASSERT_EQ(after.size(), 6u);
    std::sort(after.begin(), after.begin() + 3);
    EXPECT_EQ(after, (std::vector<std::string>{backup + "/S_5001.bmp", backup + "/S_5002.bmp", backup + "/" + exported,
                                               backup, rig.Local("Upload"), rig.Local("Export")}));
}

// A failure before the flag ends the run with the flag unset, nothing sent, the export folder
// empty and no export file left to be sent: the handheld keeps its rows.
TEST(HostileInput, AFailureBeforeTheFlagLeavesTheHandheldUnmarkedAndTheNextTransferCollectsAnew) {
    const struct {
        const char* file;      // written over with bytes that are no bitmap or database, when given
        const char* call;      // else the call failed
        int n;
        const char* box;
        size_t asideExports;  // export files set aside: only a whole one, built before the flag failed, goes
    } cases[] = {
        {"/P_ZILBA.CDB", "", 0, "Error: Failed to copy database from device", 0},
        {"/Signatures/.S_hidden.bmp", "", 0, "Error: Failed to copy signatures from device", 0},  // never sent
        {"", "CeCreateFile", 3, "Error: Failed to create purge flag", 0},  // the two bitmaps, then the flag
        {"", "MoveNext", 1, "Error: injected failure of MoveNext", 1},     // after the first row
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        TransferRig rig(3, 2);
        if (*c.file) rig.DeviceFile(kPocket + c.file, "\x13\x37 not a database at all, just bytes\xff\xfe");
        if (*c.call) rig.plan.FailCall(c.call, c.n);
        EXPECT_EQ(rig.Transfer(), std::string(c.box) + "\r\n" + kStillOnTheHandheld);
        EXPECT_FALSE(rig.Flagged());
        EXPECT_TRUE(rig.Served().empty());
        EXPECT_TRUE(Names(rig.Local("Export")).empty());
        EXPECT_FALSE(fs::exists(rig.Local(kJournalName)));
        // What was set aside is whole lines, and no Resend sends it (its rows would be imported twice).
        std::vector<std::string> aside;
        for (const auto& [name, file] : FilesBelow(rig.Local("Upload")))
            if (name.starts_with("c_zilba_")) aside.push_back(file);
        ASSERT_EQ(aside.size(), c.asideExports);
        for (const std::string& file : aside) {
            EXPECT_TRUE(ReadFile(file).ends_with("%%\r\n"));
            EXPECT_EQ(rig.Transfer(file).find("Error: " + FileNameOf(file) + " was set aside"), 0u);
            EXPECT_TRUE(rig.Served().empty());
        }
        if (*c.file) continue;
        rig.plan = {};
        rig.clock.now.second += 1;
        rig.form.log.clear();
        EXPECT_EQ(rig.Transfer(), kFinishedText) << rig.form.LogText();
    }
}

TEST(HostileInput, WhatTheServerDidNotTakeIsToldAndSentLaterWithResend) {
    TransferRig rig;
    std::string host = rig.form.fields[Field::Server];
    rig.form.fields[Field::Server] = "127.0.0.1:9";  // nothing listens there
    std::string box = rig.Transfer();
    EXPECT_TRUE(box.starts_with("Error: ")) << box;
    EXPECT_NE(box.find("kept in " + rig.Local("Export")), std::string::npos) << box;
    EXPECT_TRUE(rig.Flagged());

    // The next transfer stops before the handheld, naming the file, whatever the server.
    rig.form.fields[Field::Server] = host;
    std::vector<std::string> left = Names(rig.Local("Export"));
    ASSERT_EQ(left.size(), 3u);
    rig.plan.calls.clear();
    box = rig.Transfer();
    EXPECT_TRUE(box.starts_with("Error: The export folder still holds " + left[2])) << box;
    for (const std::string& call : rig.plan.calls) EXPECT_FALSE(call.starts_with("CeFind") || call.starts_with("CeCreate")) << call;
    EXPECT_EQ(Names(rig.Local("Export")), left);

    // Resent from the export folder: all three arrive and nothing is left behind.
    EXPECT_EQ(rig.Transfer(rig.Local("Export/" + left[2])), kFinishedText) << rig.form.LogText();
    EXPECT_TRUE(Names(rig.Local("Export")).empty());

    // A server that refuses the bitmaps and the import: the box tells what it did not take, and where.
    LoopbackServer picky([](const Captured& c) {
        return Answer{c.method == "GET" ? 404 : c.body.find("image/bmp") != std::string::npos ? 500 : 200};
    });
    rig.form.fields[Field::Server] = picky.host();
    rig.clock.now.second += 2;
    box = rig.Transfer();
    EXPECT_TRUE(box.starts_with("Not everything reached the server: it did not accept 2 of the 3 files sent, and it did "
                                "not confirm the import (status 404).\r\nThe files are kept in " + rig.Local("Upload/")))
        << box;
    EXPECT_EQ(rig.form.fields[Field::Failure], "2");

    // Resent beside another run's export file, which stays; the next transfer is not stopped by it.
    rig.form.fields[Field::Server] = host;
    const std::string backup = rig.Local("Upload/" + Names(rig.Local("Upload")).back());
    std::vector<std::string> sent = Names(backup);
    fs::copy_file(backup + "/" + sent.back(), backup + "/c_zilba_01012026_000000.txt");
    rig.clock.now.second += 2;
    EXPECT_EQ(rig.Transfer(backup + "/" + sent.back()), kFinishedText) << rig.form.LogText();
    EXPECT_TRUE(Names(rig.Local("Export")).empty()) << testing::PrintToString(Names(rig.Local("Export")));
    rig.clock.now.second += 2;
    EXPECT_EQ(rig.Transfer(), kFinishedText) << rig.form.LogText();
}

// Two transfers within one second: the second backup takes a free name. A backup that cannot be
// made says only the import is missing, and resending as the box says completes it.
TEST(WholeTransfer, ABackupFolderThatExistsGetsAFreeNameAndAFailedBackupSaysWhatHappened) {
    TransferRig rig(1, 1);
    fs::create_directories(rig.Local("Upload/06122026_192009_2"));  // one the user made
    EXPECT_EQ(rig.Transfer(), kFinishedText);
    EXPECT_EQ(rig.Transfer(), kFinishedText) << rig.form.LogText();
    EXPECT_EQ(Names(rig.Local("Upload")),
              (std::vector<std::string>{"06122026_192009", "06122026_192009_2", "06122026_192009_3"}));
    EXPECT_EQ(Names(rig.Local("Upload/06122026_192009_3")).size(), 2u);

    rig.plan = {};
    rig.plan.FailCall("MkDir", 1);  // the backup's folder
    rig.form.log.clear();
    std::string box = rig.Transfer();

    const std::string file = FileNameOf(rig.f.strExportFile);
    EXPECT_TRUE(box.ends_with("\r\nEvery file reached the server, but it has not imported them. The files are kept in " +
                              rig.Local("Export") + ". Send them again with Resend, choosing " + file + " there."))
        << box;
    EXPECT_EQ(std::count(rig.form.log.begin(), rig.form.log.end(), "Launching server process: 06/12/2026 19:20:09"), 0);
    EXPECT_EQ(rig.Transfer(rig.Local("Export/" + file)), kFinishedText) << rig.form.LogText();
}

// A link in the export folder is neither written through nor sent; a signature's name of 255
// bytes goes through; every file the run writes follows the umask.
TEST(WholeTransfer, LinksAreNeitherWrittenThroughNorSentA255ByteNameGoesThroughAndFilesFollowTheUmask) {
    TransferRig rig(1, 1);
    const std::string signature = Names(rig.DevicePath(kPocket + "/Signatures"))[0];
    const std::string name = std::string(251, 'n') + ".bmp";
    rig.DeviceFile(kPocket + "/Signatures/" + name, "BM255");
    WriteFile(rig.home / "outside", "the user's");
    fs::create_directories(rig.Local("Export"));
    fs::create_symlink(rig.home / "outside", rig.Local("Export/" + signature));
    const mode_t saved = ::umask(027);
    std::string box = rig.Transfer();
    EXPECT_TRUE(box.starts_with("Error: ")) << box;
    EXPECT_EQ(ReadFile(rig.home / "outside"), "the user's");
    EXPECT_FALSE(rig.Flagged());
    EXPECT_TRUE(rig.Served().empty());

    fs::remove(rig.Local("Export/" + signature));
    fs::create_symlink(rig.home / "outside", rig.Local("Export/linked.bmp"));
    rig.clock.now.second += 1;
    box = rig.Transfer();
    ::umask(saved);
    EXPECT_EQ(box, kFinishedText) << rig.form.LogText();
    EXPECT_EQ(rig.Served().size(), 3u) << "linked.bmp is not sent";
    EXPECT_EQ(rig.Served()[name], "BM255");
    EXPECT_EQ(ReadFile(rig.home / "outside"), "the user's");
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(rig.localDir))
        if (!e.is_symlink() && e.is_regular_file()) {
            ++files;
            EXPECT_EQ(e.status().permissions(), fs::perms(0640)) << e.path();
        }
    EXPECT_GE(files, 4) << "the database, the export file and the bitmaps";
}

// A handheld whose search hands back names no file may have on the PC.
struct ScriptedNames : FaultyRapi {
    using FaultyRapi::FaultyRapi;
    std::vector<std::u16string> names;
    size_t next = 0;
    bool Fill(CE_FIND_DATA* d) {
        if (next >= names.size()) return false;
        *d = CE_FIND_DATA{};
        d->dwFileAttributes = kFileAttributeNormal;
        std::copy(names[next].begin(), names[next].end(), d->cFileName);
        ++next;
        return true;
    }
    HANDLE CeFindFirstFile(const char16_t*, CE_FIND_DATA* d) override { return Fill(d) ? 77 : kInvalidHandle; }
    int32_t CeFindNextFile(HANDLE, CE_FIND_DATA* d) override { return Fill(d); }
    int32_t CeFindClose(HANDLE) override { return 1; }
    uint32_t CeGetLastError() override { return ERROR_NO_MORE_FILES_CE; }
};

TEST(HostileInput, HandheldNamesThatAreNoPlainFileNamesAreRefusedAndNoNamesAreNoSignatures) {
    Rig rig;
    fs::create_directories(rig.Local("Export"));
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    rig.DeviceFile(kPocket + "/Signatures/ok.bmp", "BM");
    ScriptedNames names(rig.real.rapi, rig.plan);
    Platform os{rig.registry, rig.kernel, rig.shell, names, rig.files, rig.real.database,
                rig.real.http, rig.clock};
    MainForm f{rig.form, os};
    CopySignatures(f);  // first a handheld without any
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{"Copying signatures from handheld device", "No signature found!!"}));
    rig.form.log.clear();

    names.names = {u"..", u"..\\..\\evil.bmp", u"sub/x.bmp", u"ok.bmp"};
    EXPECT_EQ(ErrorOf([&] { CopySignatures(f); }).number(), -600);
    std::vector<std::string> expected{"Copying signatures from handheld device"};
    for (const char* bad : {"..", "..\\..\\evil.bmp", "sub/x.bmp"}) {
        expected.push_back(std::string("Copying file: ") + bad);
        expected.push_back(std::string("  ..Ignoring invalid file name: ") + bad);
    }
    expected.push_back("Copying file: ok.bmp");
    EXPECT_EQ(rig.form.log, expected);
    std::vector<std::string> opened;
    for (const std::string& call : rig.plan.calls)
        if (call.starts_with("CeCreateFile")) opened.push_back(call);
    EXPECT_EQ(opened, std::vector<std::string>{"CeCreateFile \\My Documents\\Pocket Zilba\\Signatures\\ok.bmp"})
        << "only the plain name reaches the handheld";
    EXPECT_EQ(Names(rig.Local("Export")), std::vector<std::string>{"ok.bmp"});
    EXPECT_EQ(rig.form.fields[Field::Signs], "1");
    EXPECT_EQ(rig.rapi.openHandles + rig.kernel.openFiles, 0);
    rig.rapi.CeRapiUninit();
}

// Resend never replaces a waiting set, never sends part of one, and copies all or nothing.
TEST(Journal, ResendSendsAWholeSetOrNothing) {
    TransferRig rig(3, 2);
    ASSERT_EQ(rig.Transfer(), kFinishedText);
    const std::string backup = rig.Local("Upload/06122026_192009"), exportName = "c_zilba_06122026_192009.txt";
    const std::string bitmap = "S_5001.bmp";  // named by a row

    const struct {
        const char* what;
        std::function<void()> prepare;
        const char* boxStart;
    } cases[] = {
        {"a set of the export folder waits unsent: another is refused, naming it",
         [&] { WriteFile(rig.Local("Export/c_zilba_01012027_000000.txt"), "&&START%%\r\n&&STOP%%\r\n"); },
         "Error: The export folder still holds c_zilba_01012027_000000.txt"},
        {"a bitmap its rows name is missing: refused, naming it",
         [&] { fs::rename(backup + "/" + bitmap, rig.home / bitmap); },
         "Error: The rows of "},
        {"the copy fails part-way: nothing of it stays in the export folder",
         [&] { rig.plan.FailCall("FileCopy", 2); },
         "Error: Path/File access error (injected)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(rig.Local("Export"));
        fs::create_directory(rig.Local("Export"));
        rig.clock.now.second += 1;
        c.prepare();
        auto before = Names(rig.Local("Export"));
        const std::string box = rig.Transfer(backup + "/" + exportName);
        EXPECT_TRUE(box.starts_with(c.boxStart)) << box;
        EXPECT_EQ(Names(rig.Local("Export")), before);
        EXPECT_FALSE(fs::exists(rig.Local(kJournalName)));
        if (fs::exists(rig.home / bitmap)) {
            EXPECT_NE(box.find(bitmap), std::string::npos);
            fs::rename(rig.home / bitmap, backup + "/" + bitmap);
        }
    }
    // A failed copy that cannot remove what it made says so; the next start removes it.
    rig.plan = {};
    rig.plan.FailCall("FileCopy", 2), rig.plan.FailCall("Kill", 1);
    const std::string box = rig.Transfer(backup + "/" + exportName);
    EXPECT_TRUE(box.starts_with("Error: Path/File access error (injected): " + backup)) << box;
    ASSERT_TRUE(fs::exists(rig.Local(kJournalName)));
    rig.plan = {};
    EXPECT_TRUE(FinishInterruptedRun(rig.f));
    EXPECT_EQ(Names(rig.Local("Export")), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(rig.Local(kJournalName)));
    // The dialog opens where the waiting set is, else among the backups.
    EXPECT_NE(std::find(rig.form.events.begin(), rig.form.events.end(), "dialog:" + rig.Local("Export")),
              rig.form.events.end());
    EXPECT_NE(std::find(rig.form.events.begin(), rig.form.events.end(), "dialog:" + rig.Local("Upload")),
              rig.form.events.end());
}

}  // namespace zc::test
