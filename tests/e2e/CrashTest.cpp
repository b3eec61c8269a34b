// The installed program killed at points spread over a transfer: after each kill it starts
// again and a transfer completes, and nothing collected from the handheld is lost or corrupted.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <thread>

#include "e2e/Installed.h"
#include "support/Invariant.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The import request is the run's last step before its closing box, and the stand-in server
// logs one line per request: a box that shows after a new import line is the closing one.
size_t ImportsLogged(const std::string& serverLog) {
    std::string text = fs::exists(serverLog) ? ReadFile(serverLog) : "";
    size_t n = 0;
    for (size_t at = text.find("/cgi-bin/dwsrun"); at != std::string::npos; at = text.find("/cgi-bin/dwsrun", at + 1)) ++n;
    return n;
}

class Program {
public:
    Program(Desktop& desktop, std::string serverLog) : desktop_(desktop), serverLog_(std::move(serverLog)) {
        // Xvfb now and then refuses a connection while xdotool clients come and go, and Qt then
        // gives up at once; that is the display, not the program, so it is started again.
        for (int attempt = 0; attempt < 3 && main_.empty(); ++attempt) {
            pid_ = StartProcess({kBin + "ZilbaCompanion"});
            int exited = -1;
            Eventually([&] {
                if ((exited = WaitProcess(pid_, 0)) != -1) return true;
                auto w = desktop_.Windows("Zilba Companion");
                if (w.size() == 1) main_ = w[0];
                return !main_.empty();
            }, 30);
            if (exited != -1) pid_ = -1;
            if (exited != -1 && exited != 134) break;  // ended for a reason of its own
        }
    }
    ~Program() { Kill(); }
    bool shown() const { return !main_.empty(); }

    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        WaitProcess(pid_, 10);
        pid_ = -1;
    }

    // Resends `file` through the file dialog and dismisses the closing box; true when the run
    // asked for the import.
    bool Resend(const std::string& file) {
        size_t imports = ImportsLogged(serverLog_);
        desktop_.Key(main_, "alt+r");
        std::string dialog;
        if (!Eventually([&] {
                auto w = desktop_.Windows("Select export file");
                return !w.empty() && !(dialog = w[0]).empty();
            }, 20))
            return false;
        RunProcess({"/usr/bin/xdotool", "windowfocus", "--sync", dialog}, 10);
        desktop_.Type(file);
        desktop_.Key(dialog, "Return");
        std::string box;
        if (!Eventually([&] { return !(box = desktop_.Box(main_)).empty(); }, 60)) return false;
        desktop_.Key(box, "Return");
        Eventually([&] { return desktop_.Box(main_) != box; }, 10);
        return ImportsLogged(serverLog_) > imports;
    }

    // Presses Transfer and says Yes to every question. With `killAfter`, the program is killed
    // that long after the press, wherever the run stands; else the run is followed to its
    // closing box, which is dismissed. True when the run finished.
    bool Transfer(std::optional<Clock::duration> killAfter = std::nullopt) {
        size_t imports = ImportsLogged(serverLog_);
        auto start = Clock::now();
        desktop_.Key(main_, "alt+t");
        while (Clock::now() - start < std::chrono::seconds(60)) {
            if (killAfter && Clock::now() - start >= *killAfter) {
                Kill();
                return false;
            }
            std::string box = desktop_.Box(main_);
            if (box.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            bool closing = ImportsLogged(serverLog_) > imports;
            desktop_.Key(box, "Return");
            // The next question may follow at once: wait for this box to go, not for no box.
            Eventually([&] { return desktop_.Box(main_) != box; }, 10);
            if (closing && !killAfter) return true;
        }
        return false;
    }

private:
    Desktop& desktop_;
    std::string serverLog_;
    pid_t pid_ = -1;
    std::string main_;
};

}  // namespace

TEST(Crash, KilledAtThirtyPointsOfATransferLosesNothing) {
    Installed setup("1500", "30");
    ASSERT_EQ(setup.failure, "");
    Desktop& desktop = setup.desktop;
    const std::string& log = setup.log;

    World world;
    world.handheld = setup.handheld;
    world.localDir = setup.localDir;
    world.served = setup.data;

    // One whole run first: how long a transfer takes, and the settings it stores.
    Clock::duration whole;
    {
        Program program(desktop, log);
        ASSERT_TRUE(program.shown());
        auto start = Clock::now();
        ASSERT_TRUE(program.Transfer());
        whole = Clock::now() - start;
    }
    std::cout << "a whole transfer took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(whole).count() << " ms\n";
    world.settings = StoredSettings();
    ASSERT_EQ(world.settings.size(), 4u);
    ASSERT_FALSE(world.settings["SERVER_NAME"].empty());
    EXPECT_EQ(Breaches(world), std::vector<std::string>{});

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
