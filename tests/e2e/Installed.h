#pragma once
// What a test of the installed program stands on: a private home, a virtual display, the filter
// library registered, a sample handheld, and the stand-in server set as the program's server.
#include <filesystem>
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

}  // namespace zc::test
