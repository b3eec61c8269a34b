// A run cut short anywhere is finished by the next start, and a set is sent whole or not at all:
// every row and signature reaches the server, each imported once.
#include <gtest/gtest.h>

#include <iostream>

#include "app/Settings.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

// A rig of its own site on a shared server whose log tells the imports.
struct KillRig : TransferRig {
    KillRig(StandInServer& server, const std::string& log, int n)
        : TransferRig(4, 2, "kill" + std::to_string(n), &server) {
        files.flushToDisk = false;
        SaveSettings(f);
        world.settings = StoredSettings();
        world.serverLog = log;
    }
    // The program started again: a new window state over the same disk, its first act the resume.
    void Restart() {
        clock.now.second += 1;  // a start is never in the second of the kill
        MainForm later{form, os};
        FinishInterruptedRun(later);
    }
};

}  // namespace

// Killed at each call of a transfer, then doing what the boxes say (the next start finishes or
// sets aside; a transfer follows, Yes to every question): everything is on the server, each row
// imported once, and nothing of the killed run goes out with another.
TEST(Journal, KilledAtEveryCallOfATransferThenFinished) {
    HomeDir home;
    const std::string log = home / "server.log";
    StandInServer server(std::string(ZC_BIN_DIR) + "/zilba-server", home / "server", log);
    int calls = 0;
    {
        KillRig clean(server, log, 0);
        int before = clean.plan.Total();
        EXPECT_EQ(clean.Transfer(), kFinishedText);
        calls = clean.plan.Total() - before;
    }
    for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("killed at call " + std::to_string(n) + " of " + std::to_string(calls));
        KillRig rig(server, log, n);
        rig.plan.KillAtGlobalCall(rig.plan.Total() + n);
        rig.form.answers = {true, true, true};
        try {
            cmdTransfer_Click(rig.f);
        } catch (const Killed&) {
            // A settings write swallows any failure, a kill included: the run then goes on.
        }
        rig.plan.KillAtGlobalCall(-1);
        EXPECT_EQ(Breaches(rig.world), std::vector<std::string>{});
        rig.form.messages.clear();
        rig.Restart();
        // The journal is gone once its run is finished or set aside.
        EXPECT_FALSE(fs::exists(rig.Local(kJournalName))) << rig.form.LogText();
        const std::string box = rig.form.messages.empty() ? "" : rig.form.messages.back();
        const bool imported = ReadFile(log).find(" 200 imported " + rig.world.served + "/") != std::string::npos;
        rig.form.messages.clear();
        if (box.find("Check on the server") != std::string::npos) {
            // Cut short while the import was asked: resent from its backup only if it was not imported.
            if (!imported) {
                for (const std::string& folder : Names(rig.Local("Upload")))
                    for (const std::string& name : Names(rig.Local("Upload/" + folder)))
                        if (name.starts_with("c_zilba_")) rig.form.chosenFiles = {rig.Local("Upload/" + folder + "/" + name)};
                cmdResend_Click(rig.f);
                ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText}) << rig.form.LogText();
            }
        } else if (!imported) {
            rig.form.answers = {true, true, true};
            cmdTransfer_Click(rig.f);
            ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText}) << rig.form.LogText();
        }
        EXPECT_EQ(Breaches(rig.world, kFinishedText), std::vector<std::string>{}) << box << rig.form.LogText();
    }
    std::cout << "transfer: killed at " << calls << " calls\n";
    EXPECT_GT(calls, 50);
}

// Resend never replaces a waiting set, never sends part of one, and copies all or nothing.
TEST(Journal, ResendSendsAWholeSetOrNothing) {
    TransferRig rig(3, 2);
    ASSERT_EQ(rig.Transfer(), kFinishedText);
    const std::string backup = rig.Local("Upload/") + Names(rig.Local("Upload"))[0];
    std::string exportName;
    for (const std::string& name : Names(backup))
        if (name.starts_with("c_zilba_")) exportName = name;
    const std::string bitmap = Names(backup)[0];  // S_5001.bmp, named by a row

    struct Case {
        const char* what;
        std::function<void()> prepare;
        const char* boxStart;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(rig.Local("Export"));
        fs::create_directory(rig.Local("Export"));
        rig.clock.now.second += 1;
        c.prepare();
        auto before = Names(rig.Local("Export"));
        rig.form.messages.clear();
        rig.form.chosenFiles = {backup + "/" + exportName};
        cmdResend_Click(rig.f);
        ASSERT_EQ(rig.form.messages.size(), 1u);
        EXPECT_TRUE(rig.form.messages[0].starts_with(c.boxStart)) << rig.form.messages[0];
        EXPECT_EQ(Names(rig.Local("Export")), before);
        EXPECT_FALSE(fs::exists(rig.Local(kJournalName)));
        if (fs::exists(rig.home / bitmap)) {
            EXPECT_NE(rig.form.messages[0].find(bitmap), std::string::npos);
            fs::rename(rig.home / bitmap, backup + "/" + bitmap);
        }
    }
    // The dialog opens where the waiting set is, else among the backups.
    EXPECT_NE(std::find(rig.form.events.begin(), rig.form.events.end(), "dialog:" + rig.Local("Export")),
              rig.form.events.end());
    EXPECT_NE(std::find(rig.form.events.begin(), rig.form.events.end(), "dialog:" + rig.Local("Upload")),
              rig.form.events.end());
}

}  // namespace zc::test
