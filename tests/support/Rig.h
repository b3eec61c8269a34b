#pragma once
// One test's whole world: a private home folder, the real Linux platform wrapped so that any
// call can be failed, a fixed clock, the fake form, and a standard user's registry rights.
#include <map>
#include <memory>
#include <string>

#include "platform/posix/CurlHttp.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixKernel.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/PosixShellFolder.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/SqliteDatabase.h"
#include "support/Faults.h"
#include "support/FakeForm.h"
#include "support/Helpers.h"
#include "support/Invariant.h"
#include "support/Loopback.h"

namespace zc::test {

// A clock that stands still, with the day-month-year formats.
class FixedClock : public Clock {
public:
    LocalDateTime now{2026, 12, 6, 19, 20, 9};
    LocalDateTime Now() override { return now; }
    std::string ShortDate(const LocalDateTime& t) override { return Two(t.day) + "/" + Two(t.month) + "/" + Two(t.year); }
    std::string LongTime(const LocalDateTime& t) override { return Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second); }

private:
    static std::string Two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
};

struct Rig {
    Rig();

    // Writes a file into the simulated handheld; `path` is relative to its root, "/"-separated.
    void DeviceFile(const std::string& path, const std::string& bytes);
    std::string DevicePath(const std::string& path) const;  // the file behind a handheld path
    std::string Local(const std::string& name) const { return localDir + "/" + name; }

    HomeDir home;
    struct Real {
        posix::PosixRegistry registry;
        posix::PosixKernel kernel;
        posix::PosixShellFolder shell;
        posix::SimulatedRapi rapi;
        posix::PosixFileSystem files;
        posix::SqliteDatabase database;
        posix::CurlHttp http;
    } real;
    FaultPlan plan;
    FaultyRegistry registry{real.registry, plan};
    FaultyKernel kernel{real.kernel, plan};
    FaultyShellFolder shell{real.shell, plan};
    FaultyRapi rapi{real.rapi, plan};
    FaultyFileSystem files{real.files, plan};
    FaultyDatabase database{real.database, plan};
    FaultyHttp http{real.http, plan};
    FixedClock clock;
    Platform os{registry, kernel, shell, rapi, files, database, http, clock};
    FakeForm form;
    MainForm f{form, os};
    std::string localDir = home / "work";  // the local directory setting of the rig (created)
};

// One press away from a whole transfer: a zilba-sim handheld (of `site`, when given), start-up
// done, and a stand-in server (`shared`, else one of its own) set as the server.
struct TransferRig : Rig {
    explicit TransferRig(int jobs = 3, int signatures = 2, const std::string& site = {},
                         StandInServer* shared = nullptr);
    ~TransferRig();
    // Transfers, or resends `chosen`, saying Yes to everything; the run's one closing box, which
    // the invariant must hold for.
    std::string Transfer(const std::string& chosen = {});
    bool Flagged() const { return fs::exists(world.handheld + "/.purge"); }
    // What the server kept, by file name.
    std::map<std::string, std::string> Served() const;

    std::unique_ptr<StandInServer> own;
    StandInServer& server;
    World world;
};

}  // namespace zc::test
