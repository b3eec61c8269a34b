#pragma once
// What a test of the installed program stands on: a private home, a virtual display, the filter
// library registered, a sample handheld, and the stand-in server set as the program's server;
// and the program itself, driven through its windows.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <memory>
#include <string>

#include "support/Desktop.h"
#include "support/Loopback.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace zc::test {

const std::string kBin = std::string(ZC_E2E_PREFIX) + "/bin/";

class Installed {
public:
    Installed(const std::string& jobs, const std::string& signatures) {
        auto sim = [](std::vector<std::string> args) {
            args.insert(args.begin(), kBin + "zilba-sim");
            return RunProcess(args).exitCode == 0;
        };
        if (!desktop.up()) {
            failure = "the virtual display did not start";
        } else if (!sim({"install"}) || !sim({"create", "--jobs", jobs, "--signatures", signatures})) {
            failure = "zilba-sim could not register the filter or make the handheld";
        } else {
            std::filesystem::create_directories(data);
            std::filesystem::create_directories(home / "home/Documents");
            server = std::make_unique<StandInServer>(kBin + "zilba-server", data, log);
            if (!sim({"settings", "--server", server->host()})) failure = "zilba-sim could not set the server";
        }
    }

    HomeDir home;
    Desktop desktop;
    const std::string data = home / "server";
    const std::string log = home / "server.log";
    const std::string handheld = home / "home/.local/share/zilba-companion/handheld/My Documents/Pocket Zilba";
    const std::string localDir = home / "home/Documents/Zilba Companion";
    std::unique_ptr<StandInServer> server;  // stopped however the test ends
    std::string failure;                    // empty once everything is in place
};

// The installed program, driven through its windows by keystrokes as a person drives it.
using Clock = std::chrono::steady_clock;

// The import request is the run's last step before its closing box, and the stand-in server
// logs one line per request: a box that shows after a new import line is the closing one.
inline size_t ImportsLogged(const std::string& serverLog) {
    std::string text = std::filesystem::exists(serverLog) ? ReadFile(serverLog) : "";
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

}  // namespace zc::test
