// The installed program, driven through its windows: a whole transfer and a resend deliver
// everything; killed at points spread over a transfer, it starts again, a transfer completes,
// and nothing collected from the handheld is lost or corrupted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <thread>

#include "e2e/Installed.h"
#include "runs/Runs.h"
#include "support/Helpers.h"
#include "support/Invariant.h"

namespace zc::test {
namespace fs = std::filesystem;

TEST(Crash, KilledAtThirtyPointsOfATransferLosesNothing) {
    Installed setup("1500", "30");
    ASSERT_EQ(setup.failure, "");
    Desktop& desktop = setup.desktop;
    const std::string& log = setup.log;

    World world;
    world.handheld = setup.handheld;
    world.localDir = setup.localDir;
    world.served = setup.data;

    // One whole run first: how long a transfer takes, and the settings it stores. It delivers
    // everything, as its Finished box says; then its backed-up export file, resent through the
    // file dialog to a server that lost it all, arrives again and is backed up anew.
    Clock::duration whole;
    {
        Program program(desktop, log);
        ASSERT_TRUE(program.shown());
        auto start = Clock::now();
        ASSERT_TRUE(program.Transfer());
        whole = Clock::now() - start;
        world.settings = StoredSettings();
        ASSERT_EQ(world.settings.size(), 4u);
        ASSERT_FALSE(world.settings["SERVER_NAME"].empty());
        EXPECT_EQ(Breaches(world, kFinishedText), std::vector<std::string>{});

        std::vector<std::string> backups = Names(world.localDir + "/Upload");
        ASSERT_EQ(backups.size(), 1u);
        const std::string backup = world.localDir + "/Upload/" + backups[0];
        std::vector<std::string> sent = Names(backup);
        ASSERT_EQ(sent.size(), 31u) << "the export file and thirty bitmaps";
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new second, a new backup folder
        fs::remove_all(setup.data);
        fs::create_directories(setup.data);
        ASSERT_TRUE(program.Resend(backup + "/" + sent.back()));
        backups = Names(world.localDir + "/Upload");
        ASSERT_EQ(backups.size(), 2u);
        EXPECT_EQ(Names(world.localDir + "/Upload/" + backups[1]), sent);
        EXPECT_EQ(Breaches(world, kFinishedText), std::vector<std::string>{});
    }
    std::cout << "a whole transfer took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(whole).count() << " ms\n";

    // ZC_CRASH_POINTS shortens a local run; the suite kills at thirty points.
    const int points = getenv("ZC_CRASH_POINTS") ? atoi(getenv("ZC_CRASH_POINTS")) : 30;
    for (int point = 0; point < points; ++point) {
        SCOPED_TRACE("killed at point " + std::to_string(point + 1) + " of 30");
        {
            Program program(desktop, log);
            ASSERT_TRUE(program.shown());
            program.Transfer(whole * (point + 1) / 31);
        }
        EXPECT_EQ(Breaches(world), std::vector<std::string>{});
        // Started again: the lock died with the killed process, and a transfer completes. A
        // backup folder is named after its second, and the killed run may have made this
        // second's; the user's next press is never that quick.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        Program program(desktop, log);
        ASSERT_TRUE(program.shown()) << "a stale lock kept the program from starting";
        // An export file the killed run did not send is sent first, as the next transfer asks.
        for (const auto& e : fs::directory_iterator(world.localDir + "/Export")) {
            std::string name = e.path().filename().string();
            if (name.starts_with("c_zilba_") && ReadFile(e.path().string()).ends_with("&&STOP%%\r\n")) {
                EXPECT_TRUE(program.Resend(e.path().string())) << name;
                std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            }
        }
        ASSERT_TRUE(program.Transfer()) << "no transfer completed after the kill";
        EXPECT_TRUE(fs::exists(world.handheld + "/.purge"));
        EXPECT_EQ(Breaches(world), std::vector<std::string>{});
    }
}

}  // namespace zc::test
