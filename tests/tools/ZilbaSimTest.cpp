// zilba-sim run as a real process: docking it starts the programs registered for that, as the
// docking software does. (Making the handheld and registering the filter run in every transfer.)
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "app/Settings.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"
#include "support/Process.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kTool = ZC_BIN_DIR "/zilba-sim";

ProcessResult Sim(Lines args) {
    args.insert(args.begin(), kTool);
    return RunProcess(args, 30);
}

TEST(ZilbaSim, DockUndockAndStatusFollowTheConnectionAndDockStartsTheRegisteredPrograms) {
    HomeDir home;
    EXPECT_NE(Sim({"dock"}).exitCode, 0) << "no handheld yet";
    ASSERT_EQ(Sim({"create", "--jobs", "6", "--signatures", "2"}).exitCode, 0);
    posix::SimulatedRapi rapi;
    ASSERT_EQ(Sim({"undock"}).exitCode, 0);
    EXPECT_NE(rapi.CeRapiInit(), 0);
    std::string status = Sim({"status"}).output;
    EXPECT_NE(status.find("Docked: no"), std::string::npos) << status;

    // The registered program records its process and session, then runs on as a real one would.
    const std::string script = home / "companion.sh", record = home / "started.txt";
    WriteFile(script, "#!/bin/sh\necho \"$$ $(cut -d' ' -f6 /proc/$$/stat)\" > '" + record + ".tmp'\nmv '" +
                          record + ".tmp' '" + record + "'\nexec sleep 30\n");
    fs::permissions(script, fs::perms::owner_all);
    posix::PosixRegistry registry;
    const char* key = "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect";
    RegWriteString(registry, kHkeyLocalMachine, key, "Zilba Companion", script);
    RegWriteString(registry, kHkeyLocalMachine, key, "Old Tool", home / "uninstalled/tool");
    auto r = Sim({"dock"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Started " + script), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Skipped " + (home / "uninstalled/tool")), std::string::npos) << r.output;
    EXPECT_EQ(rapi.CeRapiInit(), 0);
    status = Sim({"status"}).output;
    EXPECT_NE(status.find("Docked: yes"), std::string::npos) << status;

    for (int i = 0; i < 200 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pid_t pid = 0, session = 0;
    ASSERT_EQ(std::sscanf(ReadFile(record).c_str(), "%d %d", &pid, &session), 2) << "the program did not run";
    EXPECT_NE(session, getsid(0)) << "runs in a session of its own";
    EXPECT_EQ(kill(pid, 0), 0) << "still running after dock returned";
    kill(pid, SIGTERM);
}

}  // namespace
}  // namespace zc::test
