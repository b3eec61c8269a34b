// Whole transfers and resends with each single platform call of the run failed in turn, or killed
// at it and then finished by the next start: every run ends with one box, "Finished" or "Error: ",
// nothing collected is lost or corrupted, and each row is imported once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "core/Settings.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

// A whole transfer's rig, a handheld of its own site on a shared server whose log tells the
// imports, whose every platform call can fail.
struct SweepRig : TransferRig {
    SweepRig(StandInServer& server, const std::string& log, int run)
        : TransferRig(4, 2, "sweep" + std::to_string(run), &server) {
        files.flushToDisk = false;  // hundreds of runs need not each wait for the disk
        SaveSettings(f);
        world.settings = StoredSettings();
        world.serverLog = log;
    }
    std::string backup;  // the export file a resend sends
};

// The runs swept: a transfer, and a resend (in a later start of the program) of what a transfer
// backed up.
const struct Sweep {
    const char* run;
    std::function<void(SweepRig&)> prepare;
    std::function<void(SweepRig&)> press;
    int atLeast;  // calls
} kSweeps[] = {
    {"transfer", [](SweepRig& rig) { rig.form.answers = {true, true, false}; },
     [](SweepRig& rig) { cmdTransfer_Click(rig.f); }, 50},
    {"resend",
     [](SweepRig& rig) {
         rig.form.answers = {true};
         cmdTransfer_Click(rig.f);
         ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText});
         rig.clock.now.second += 1;  // a new backup folder
         for (const auto& [name, path] : FilesBelow(rig.Local("Upload")))
             if (name.starts_with("c_zilba_")) rig.backup = path;
     },
     [](SweepRig& rig) {
         rig.form.chosenFiles = {rig.backup};
         MainForm later{rig.form, rig.os};
         cmdResend_Click(later);
     },
     20},
};

// Runs `sweep` on a clean rig, then on a fresh rig for each of its calls with `at` naming that
// call (its number counted from the start of the run).
void EachCall(const Sweep& sweep, const std::function<void(SweepRig&, int)>& at) {
    SCOPED_TRACE(sweep.run);
    HomeDir home;
    const std::string log = home / "server.log";
    StandInServer server(std::string(ZC_BIN_DIR) + "/zilba-server", home / "server", log);
    int calls = 0;
    {
        SweepRig clean(server, log, 0);
        sweep.prepare(clean);
        clean.form.messages.clear();
        int before = clean.plan.Total();
        sweep.press(clean);
        calls = clean.plan.Total() - before;
        EXPECT_EQ(clean.form.messages, std::vector<std::string>{kFinishedText}) << clean.form.LogText();
    }
    for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls));
        SweepRig rig(server, log, n);
        sweep.prepare(rig);
        rig.form.messages.clear();
        at(rig, rig.plan.Total() + n);
    }
    std::cout << sweep.run << ": " << calls << " calls swept\n";
    EXPECT_GT(calls, sweep.atLeast);
}

}  // namespace

TEST(FaultSweep, EveryCallOfATransferAndOfAResendFailedInTurn) {
    for (const Sweep& sweep : kSweeps)
        EachCall(sweep, [&](SweepRig& rig, int call) {
            if (!rig.backup.empty()) rig.world.serverLog.clear();  // a resend asks again for the import
            rig.plan.FailGlobalCall(call);
            sweep.press(rig);
            EXPECT_EQ(rig.form.messages.size(), 1u) << rig.form.LogText();
            std::string box = rig.form.messages.empty() ? "" : rig.form.messages[0];
            EXPECT_TRUE(box == kFinishedText || box.starts_with("Error: ") ||
                        box.starts_with("Not everything reached the server: "))
                << box;
            EXPECT_EQ(Breaches(rig.world, box), std::vector<std::string>{}) << rig.form.LogText();
            EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
            // No bitmap on the PC is a partial or stale copy of the handheld's.
            for (const auto& [name, path] : FilesBelow(rig.localDir))
                EXPECT_TRUE(!name.ends_with(".bmp") || ReadFile(path) == ReadFile(rig.world.handheld + "/Signatures/" + name))
                    << path;
            // Nothing is left open, whichever call failed.
            EXPECT_EQ(rig.kernel.openFiles + rig.rapi.openHandles + rig.registry.openKeys + rig.files.openTexts, 0);
        });
}

// Killed at each call, then doing what the boxes say (the next start finishes or sets aside; the
// run follows again, Yes to every question): everything is on the server, each row imported once.
TEST(Journal, KilledAtEveryCallOfATransferOrAResendThenFinished) {
    for (const Sweep& sweep : kSweeps)
        EachCall(sweep, [&](SweepRig& rig, int call) {
            if (!rig.backup.empty()) {
                // To a new server, which holds nothing and logs apart: each row is imported once.
                rig.own = std::make_unique<StandInServer>(std::string(ZC_BIN_DIR) + "/zilba-server", rig.home / "new",
                                                          rig.world.serverLog = rig.home / "new.log");
                rig.form.fields[Field::Server] = rig.own->host();
                rig.world.served.replace(0, rig.server.data().size(), rig.own->data());
            }
            rig.plan.KillAtGlobalCall(call);
            try {
                sweep.press(rig);
            } catch (const Killed&) {
                // A settings write swallows any failure, a kill included: the run then goes on.
            }
            rig.plan.KillAtGlobalCall(-1);
            EXPECT_EQ(Breaches(rig.world), std::vector<std::string>{});
            // The program started again: a new window state over the same disk, its first act the resume.
            rig.form.messages.clear();
            rig.clock.now.second += 1;  // a start is never in the second of the kill
            MainForm later{rig.form, rig.os};
            FinishInterruptedRun(later);
            // The journal is gone once its run is finished or set aside.
            EXPECT_FALSE(fs::exists(rig.Local(kJournalName))) << rig.form.LogText();
            const std::string box = rig.form.messages.empty() ? "" : rig.form.messages.back();
            // The stand-in server logs a request only once it has answered it: its line may come a
            // moment after the program has its answer.
            const bool asked = std::any_of(rig.form.log.begin(), rig.form.log.end(), [](const std::string& line) {
                return line.starts_with("Launching server process: ");
            });
            bool imported = box == kFinishedText;
            for (int i = 0; asked && !imported && i < 40; ++i, usleep(50000))
                imported = ReadFile(rig.world.serverLog).find(" 200 imported " + rig.world.served + "/") != std::string::npos;
            rig.form.messages.clear();
            if (!imported) {
                // Cut short while the import was asked: resent from its backup; else the run again.
                const bool resend = box.find("Check on the server") != std::string::npos;
                for (const auto& [name, path] : FilesBelow(rig.Local("Upload")))
                    if (resend && rig.backup.empty() && name.starts_with("c_zilba_")) rig.backup = path;
                rig.form.answers = {true, true, true};
                (resend ? kSweeps[1] : sweep).press(rig);
                ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText}) << rig.form.LogText();
            }
            EXPECT_EQ(Breaches(rig.world, kFinishedText), std::vector<std::string>{}) << box << rig.form.LogText();
        });
}

}  // namespace zc::test
