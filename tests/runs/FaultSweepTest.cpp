// Whole transfers and resends with each single platform call of the run failed in turn, and
// transfers killed at each call then finished by the next start: every run ends with one box,
// "Finished" or "Error: ", nothing collected is lost or corrupted, and each row is imported once.
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
};

// Runs `run` on a clean rig, then on a fresh rig for each of its calls with `at` naming that
// call (its number counted from the start of `run`); returns how many calls there were.
int EachCall(const std::function<void(SweepRig&)>& prepare, const std::function<void(MainForm&)>& run,
             const std::function<void(SweepRig&, int)>& at) {
    HomeDir home;
    const std::string log = home / "server.log";
    StandInServer server(std::string(ZC_BIN_DIR) + "/zilba-server", home / "server", log);
    int calls = 0;
    {
        SweepRig clean(server, log, 0);
        prepare(clean);
        clean.form.messages.clear();
        int before = clean.plan.Total();
        run(clean.f);
        calls = clean.plan.Total() - before;
        EXPECT_EQ(clean.form.messages, std::vector<std::string>{kFinishedText}) << clean.form.LogText();
    }
    for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls));
        SweepRig rig(server, log, n);
        prepare(rig);
        rig.form.messages.clear();
        at(rig, rig.plan.Total() + n);
    }
    return calls;
}

}  // namespace

// Each call of a clean transfer, and of a clean resend of what a transfer backed up (in a later
// start of the program), failed in turn.
TEST(FaultSweep, EveryCallOfATransferAndOfAResendFailedInTurn) {
    const struct {
        const char* run;
        std::function<void(SweepRig&)> prepare;
        std::function<void(MainForm&)> press;
        int atLeast;  // calls
    } runs[] = {
        {"transfer", [](SweepRig& rig) { rig.form.answers = {true, true, false}; },
         [](MainForm& f) { cmdTransfer_Click(f); }, 50},
        {"resend",
         [](SweepRig& rig) {
             rig.form.answers = {true};
             cmdTransfer_Click(rig.f);
             ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText});
             rig.clock.now.second += 1;  // a new backup folder
             for (const auto& [name, path] : FilesBelow(rig.Local("Upload")))
                 if (name.starts_with("c_zilba_")) rig.form.chosenFiles = {path};
         },
         [](MainForm& f) {
             MainForm later{f.ui, f.os};
             cmdResend_Click(later);
         },
         20},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.run);
        int swept = EachCall(r.prepare, r.press, [&](SweepRig& rig, int call) {
            rig.world.serverLog.clear();  // a resend asks again for the import of what it resends
            rig.plan.FailGlobalCall(call);
            r.press(rig.f);
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
        std::cout << r.run << ": " << swept << " faults swept\n";
        EXPECT_GT(swept, r.atLeast);
    }
}

// Killed at each call of a transfer, then doing what the boxes say (the next start finishes or
// sets aside; a transfer follows, Yes to every question): everything is on the server, each row
// imported once, and nothing of the killed run goes out with another.
TEST(Journal, KilledAtEveryCallOfATransferThenFinished) {
    int calls = EachCall([](SweepRig& rig) { rig.form.answers = {true, true, true}; },
                         [](MainForm& f) { cmdTransfer_Click(f); },
                         [](SweepRig& rig, int call) {
        rig.plan.KillAtGlobalCall(call);
        try {
            cmdTransfer_Click(rig.f);
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
        if (box.find("Check on the server") != std::string::npos) {
            // Cut short while the import was asked: resent from its backup only if it was not imported.
            if (!imported) {
                for (const auto& [name, path] : FilesBelow(rig.Local("Upload")))
                    if (name.starts_with("c_zilba_")) rig.form.chosenFiles = {path};
                cmdResend_Click(rig.f);
                ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText}) << rig.form.LogText();
            }
        } else if (!imported) {
            rig.form.answers = {true, true, true};
            cmdTransfer_Click(rig.f);
            ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText}) << rig.form.LogText();
        }
        EXPECT_EQ(Breaches(rig.world, kFinishedText), std::vector<std::string>{}) << box << rig.form.LogText();
    });
    std::cout << "transfer: killed at " << calls << " calls\n";
    EXPECT_GT(calls, 50);
}

}  // namespace zc::test
