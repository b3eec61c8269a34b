// Whole transfers and resends with each single platform call of the run failed in turn: every
// run ends with one box, "Finished" or "Error: ", and nothing collected is lost or corrupted.
#include <gtest/gtest.h>

#include <iostream>

#include "app/Settings.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

// A whole transfer's rig, a handheld of its own site on a shared server, whose every platform
// call can fail.
struct SweepRig : TransferRig {
    SweepRig(StandInServer& server, int run) : TransferRig(4, 2, "sweep" + std::to_string(run), &server) {
        files.flushToDisk = false;  // hundreds of runs need not each wait for the disk
        SaveSettings(f);
        world.settings = StoredSettings();
    }
    // Runs with the n-th platform call from now failed (none for 0); the calls the run made.
    int Run(const std::function<void(MainForm&)>& run, int n) {
        int before = plan.Total();
        if (n > 0) plan.FailGlobalCall(before + n);
        form.messages.clear();
        run(f);
        return plan.Total() - before;
    }
};

// Each call of a clean run failed in turn; returns how many faults were swept.
int Sweep(const std::function<void(SweepRig&)>& prepare, const std::function<void(MainForm&)>& run) {
    HomeDir home;
    StandInServer server(std::string(ZC_BIN_DIR) + "/zilba-server", home / "server", home / "server.log");
    int calls = 0;
    {
        SweepRig clean(server, 0);
        prepare(clean);
        calls = clean.Run(run, 0);
        EXPECT_EQ(clean.form.messages, std::vector<std::string>{kFinishedText}) << clean.form.LogText();
    }
    for (int n = 1; n <= calls; ++n) {
        SweepRig rig(server, n);
        prepare(rig);
        rig.Run(run, n);
        SCOPED_TRACE("fault " + std::to_string(n) + " of " + std::to_string(calls));
        EXPECT_EQ(rig.form.messages.size(), 1u) << rig.form.LogText();
        std::string box = rig.form.messages.empty() ? "" : rig.form.messages[0];
        EXPECT_TRUE(box == kFinishedText || box.starts_with("Error: ") ||
                    box.starts_with("Not everything reached the server: "))
            << box;
        EXPECT_EQ(Breaches(rig.world, box), std::vector<std::string>{}) << rig.form.LogText();
        EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
        // No bitmap on the PC is a partial or stale copy of the handheld's.
        for (const auto& e : fs::recursive_directory_iterator(rig.localDir)) {
            if (!e.is_regular_file() || e.path().extension() != ".bmp") continue;
            EXPECT_EQ(ReadFile(e.path().string()),
                      ReadFile(rig.world.handheld + "/Signatures/" + e.path().filename().string()))
                << e.path();
        }
        // Nothing is left open, whichever call failed.
        EXPECT_EQ(rig.kernel.openFiles + rig.rapi.openHandles + rig.registry.openKeys + rig.files.openTexts, 0);
    }
    return calls;
}

}  // namespace

TEST(FaultSweep, EveryCallOfATransferFailedInTurn) {
    int swept = Sweep([](SweepRig& rig) { rig.form.answers = {true, true, false}; },
                      [](MainForm& f) { cmdTransfer_Click(f); });
    std::cout << "transfer: " << swept << " faults swept\n";
    EXPECT_GT(swept, 50);
}

TEST(FaultSweep, EveryCallOfAResendFailedInTurn) {
    // The resend sends again what a clean transfer backed up, in a later start of the program.
    int swept = Sweep(
        [](SweepRig& rig) {
            rig.form.answers = {true};
            cmdTransfer_Click(rig.f);
            ASSERT_EQ(rig.form.messages, std::vector<std::string>{kFinishedText});
            std::vector<std::string> backups = Names(rig.Local("Upload"));
            ASSERT_EQ(backups.size(), 1u);
            rig.clock.now.second += 1;  // a new backup folder
            std::string folder = rig.Local("Upload/" + backups[0]);
            for (const std::string& name : Names(folder))
                if (name.starts_with("c_zilba_")) rig.form.chosenFiles = {folder + "/" + name};
        },
        [](MainForm& f) {
            MainForm later{f.ui, f.os};
            cmdResend_Click(later);
        });
    std::cout << "resend: " << swept << " faults swept\n";
    EXPECT_GT(swept, 20);
}

}  // namespace zc::test
