#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/Settings.h"
#include "app/Startup.h"
#include "handheld/Handheld.h"
#include "platform/posix/XdgPaths.h"
#include "support/Process.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = std::string(ZC_LIB_DIR) + "/libzc_adofilter.so";

void RegisterFilter(Registry& registry, const std::string& library) {
    RegWriteString(registry, HKEY_CLASSES_ROOT, "MS.WinCE.Table\\CLSID", "", "{ZC-TEST}");
    RegWriteString(registry, HKEY_CLASSES_ROOT, "CLSID\\{ZC-TEST}\\InprocServer32", "", library);
}

// The position of the first call that starts with `prefix`, or -1.
int Position(const std::vector<std::string>& calls, const std::string& prefix) {
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

struct StartRig : Rig {
    StartRig() {
        form.fields.clear();
        RegisterFilter(real.registry, kLibrary);
        fs::create_directories(home / "home/Documents");
    }
    ~StartRig() { Form_Unload(f); }
};

}  // namespace

TEST(Startup, RunsItsStepsInOrderAndFillsTheFields) {
    StartRig rig;
    RegWriteString(rig.real.registry, HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME", "stored");
    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);

    const auto& calls = rig.plan.calls;
    int mutex = Position(calls, "CreateMutexA ZCMutex");
    int autostart = Position(calls, std::string("RegCreateKeyExA ") + kAutoStartKey);
    int filter = Position(calls, "LoadLibraryA " + kLibrary);
    int shell = Position(calls, "SHGetFolderPathA");
    int settings = Position(calls, std::string("RegOpenKeyExA ") + kSettingsKey);
    EXPECT_EQ(mutex, 0);
    EXPECT_LT(mutex, autostart);
    EXPECT_LT(autostart, filter);
    EXPECT_LT(filter, shell);
    EXPECT_LT(shell, settings);

    EXPECT_EQ(rig.form.fields[Field::DeviceDir], "\\My Documents\\Pocket Zilba");
    EXPECT_EQ(rig.form.fields[Field::LocalDir], rig.home / "home/Documents/Zilba Companion");
    EXPECT_EQ(rig.form.fields[Field::Server], kDefaultServer);
    EXPECT_EQ(rig.form.fields[Field::Site], "stored");
    EXPECT_TRUE(rig.form.messages.empty());
    EXPECT_TRUE(rig.form.warnings.empty());
}

TEST(Startup, AutoStartValueNamesTheRunningProgramAtEveryStart) {
    StartRig rig;
    RegWriteString(rig.real.registry, HKEY_LOCAL_MACHINE, kAutoStartKey, kAutoStartValue,
                   "/old/place/ZilbaCompanion");
    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);
    std::string self = fs::canonical("/proc/self/exe").string();
    EXPECT_EQ(RegReadString(rig.real.registry, HKEY_LOCAL_MACHINE, kAutoStartKey, kAutoStartValue),
              self);
}

TEST(Startup, FilterThatCannotLoadIsFatalBeforeTheFieldsAreSet) {
    StartRig rig;
    RegisterFilter(rig.real.registry, rig.home / "nothing-here.so");
    EXPECT_EQ(Form_Load(rig.f), StartOutcome::Fatal);
    EXPECT_EQ(rig.form.messages,
              std::vector<std::string>{"Fatal error: Unable to load ADO filter library"});
    EXPECT_EQ(Position(rig.plan.calls, "SHGetFolderPathA"), -1);
    EXPECT_TRUE(rig.form.fields[Field::Server].empty());
}

TEST(Startup, DocumentsFolderFailureFallsBackSilently) {
    StartRig rig;
    RegWriteString(rig.real.registry, HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME", "stored:1");
    rig.plan.FailCall("SHGetFolderPathA");
    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);
    EXPECT_EQ(rig.form.fields[Field::DeviceDir], "\\My Documents\\Pocket Zilba");
    EXPECT_EQ(rig.form.fields[Field::LocalDir], rig.real.shell.FallbackLocalDir());
    EXPECT_TRUE(fs::path(rig.form.fields[Field::LocalDir]).is_absolute());
    EXPECT_EQ(rig.form.fields[Field::Server], "stored:1");
    EXPECT_EQ(rig.form.fields[Field::Site], kDefaultSite);
    EXPECT_TRUE(rig.form.messages.empty());
}

TEST(Startup, MutexThatCannotBeCreatedWarnsAndStartsAnyway) {
    StartRig rig;
    rig.plan.FailCall("CreateMutexA");
    EXPECT_EQ(Form_Load(rig.f), StartOutcome::Run);
    EXPECT_EQ(rig.form.warnings,
              std::vector<std::string>{"Your system is running low on resource, please reboot"});
}

TEST(Startup, SecondInstanceInTheSameSessionEndsSilently) {
    StartRig rig;
    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);
    FakeForm second;
    MainForm f2{second, rig.os};
    EXPECT_EQ(Form_Load(f2), StartOutcome::AlreadyRunning);
    EXPECT_TRUE(second.messages.empty());
    EXPECT_TRUE(second.warnings.empty());
    EXPECT_EQ(second.fields.count(Field::LocalDir) + second.fields.count(Field::Server), 0u)
        << "nothing of start-up ran";
}

// Whether process `pid` holds a lock on a file of the runtime folder named after the mutex.
bool HoldsMutexLock(pid_t pid) {
    std::set<std::string> inodes;
    for (const auto& entry : fs::directory_iterator(posix::RuntimeDir())) {
        if (entry.path().filename().string().find("ZCMutex") == std::string::npos) continue;
        struct stat st{};
        if (stat(entry.path().c_str(), &st) == 0) inodes.insert(std::to_string(st.st_ino));
    }
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, kind, advisory, mode, owner, device;
        fields >> id >> kind >> advisory >> mode >> owner >> device;
        std::string inode = device.substr(device.rfind(':') + 1);
        if (kind == "FLOCK" && owner == std::to_string(pid) && inodes.count(inode)) return true;
    }
    return false;
}

TEST(Startup, SecondProgramProcessEndsAtOnceAndTheFirstKeepsRunning) {
    HomeDir home;
    {
        posix::PosixRegistry registry;
        RegisterFilter(registry, kLibrary);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = std::string(ZC_BIN_DIR) + "/ZilbaCompanion";

    pid_t first = StartProcess({program});
    bool held = false;
    for (int i = 0; i < 500 && !held; ++i) {
        ASSERT_EQ(WaitProcess(first, 0.02), -1) << "the first instance ended early";
        held = HoldsMutexLock(first);
    }
    ASSERT_TRUE(held);
    ProcessResult second = RunProcess({program}, 20);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.output, "") << "no message of any kind";
    EXPECT_EQ(WaitProcess(first, 0.3), -1) << "the first instance keeps running";
    EXPECT_TRUE(HoldsMutexLock(first));
    StopProcess(first);
}

}  // namespace zc::test
