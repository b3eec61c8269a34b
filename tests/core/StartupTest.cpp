// Start-up and the four settings it loads and a transfer stores.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Settings.h"
#include "core/Startup.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

const std::string kLibrary = std::string(ZC_LIB_DIR) + "/libzc_adofilter.so";

void RegisterFilter(Registry& registry, const std::string& library) {
    RegWriteString(registry, kHkeyClassesRoot, "MS.WinCE.Table\\CLSID", "", "{ZC-TEST}");
    RegWriteString(registry, kHkeyClassesRoot, "CLSID\\{ZC-TEST}\\InprocServer32", "", library);
}

// Where the first call that starts with `prefix` came, or -1.
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
    ~StartRig() { Form_Unload(f, ProgramSteps()); }
};

}  // namespace

// An administrator's start rewrites the auto-start value; a standard user's leaves it, finds the
// filter through the variables of its registered path.
TEST(Startup, RunsItsStepsInOrderAndOnlyAnAdministratorRewritesTheAutoStartValue) {
    ::setenv("ZC_FILTER_FOLDER", ZC_LIB_DIR, 1);
    for (bool admin : {true, false}) {
        SCOPED_TRACE(admin ? "administrator" : "standard user");
        StartRig rig;
        rig.registry.standardUser = !admin;
        if (!admin) RegisterFilter(rig.real.registry, "%ZC_FILTER_FOLDER%/libzc_adofilter.so");
        RegWriteString(rig.real.registry, kHkeyLocalMachine, kAutoStartKey, kAutoStartValue, "C:\\installed.exe");
        RegWriteString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "SITE_NAME", "stored");
        ASSERT_EQ(Form_Load(rig.f, ProgramSteps()), StartOutcome::Run);

        std::vector<int> order;  // where each step came among the calls
        for (const std::string& step : {std::string("CreateMutexA ZCMutex"),
                                        std::string("RegCreateKeyExA ") + kAutoStartKey,
                                        "LoadLibraryA " + kLibrary, std::string("SHGetFolderPathA"),
                                        std::string("RegOpenKeyExA ") + kSettingsKey})
            order.push_back(Position(rig.plan.calls, step));
        EXPECT_EQ(order[0], 0);
        EXPECT_TRUE(std::is_sorted(order.begin() + (admin ? 0 : 2), order.end())) << testing::PrintToString(order);
        EXPECT_EQ(RegReadString(rig.real.registry, kHkeyLocalMachine,
                                "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect", "Zilba Companion"),
                  admin ? fs::canonical("/proc/self/exe").string() : "C:\\installed.exe");
        EXPECT_EQ(rig.form.fields, (std::map<Field, std::string>{
                                       {Field::DeviceDir, "\\My Documents\\Pocket Zilba"},
                                       {Field::LocalDir, rig.home / "home/Documents/Zilba Companion"},
                                       {Field::Server, kDefaultServer},
                                       {Field::Site, "stored"}}));
        EXPECT_TRUE(rig.form.messages.empty() && rig.form.warnings.empty()) << testing::PrintToString(rig.form.messages);

        // Exit stores nothing: the settings are saved only when a transfer starts.
        rig.plan.calls.clear();
        Form_Unload(rig.f, ProgramSteps());
        EXPECT_EQ(Position(rig.plan.calls, "RegCreateKeyExA"), -1);
        EXPECT_EQ(Position(rig.plan.calls, "RegSetValueExA"), -1);
        EXPECT_EQ(rig.registry.openKeys, 0);
    }
}

TEST(Startup, FilterFailureIsFatalWhileDocumentsFolderAndMutexFailuresAreNot) {
    {
        StartRig rig;
        RegisterFilter(rig.real.registry, rig.home / "nothing-here.so");
        EXPECT_EQ(Form_Load(rig.f, ProgramSteps()), StartOutcome::Fatal);
        EXPECT_EQ(rig.form.messages,
                  std::vector<std::string>{"Fatal error: Unable to load ADO filter library"});
        EXPECT_TRUE(rig.form.fields.empty()) << "it ends before any field is set";
    }
    {  // no documents folder: the fallback folder, silently, and the stored settings still read;
       // no lock: a warning, and the program runs
        StartRig rig;
        RegWriteString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "SERVER_NAME", "stored:1");
        rig.plan.FailCall("SHGetFolderPathA");
        rig.plan.FailCall("CreateMutexA");
        Boundaries = {};
        ASSERT_EQ(Form_Load(rig.f, ProgramSteps()), StartOutcome::Run);
        EXPECT_EQ(Boundaries[4], "The_Return_of_The_King") << "the boundary words are there for the uploads";
        EXPECT_EQ(rig.form.fields[Field::DeviceDir], "\\My Documents\\Pocket Zilba");
        EXPECT_EQ(rig.form.fields[Field::LocalDir], rig.real.shell.FallbackLocalDir());
        EXPECT_EQ(rig.form.fields[Field::Server], "stored:1");
        EXPECT_EQ(rig.form.fields[Field::Site], kDefaultSite);
        EXPECT_TRUE(rig.form.messages.empty());
        EXPECT_EQ(rig.form.warnings,
                  std::vector<std::string>{"Your system is running low on resource, please reboot"});
    }
}

namespace {

using Fields = std::map<Field, std::string>;
const Fields kDefaults = {{Field::DeviceDir, "dev-default"}, {Field::LocalDir, "local-default"},
                          {Field::Server, "server-default"}, {Field::Site, "site-default"}};

}  // namespace

TEST(Settings, StoredAsTypedAndReadBackCleanedWhileEmptyOnesKeepTheDefault) {
    Rig rig;
    rig.form.fields = kDefaults;
    LoadSettings(rig.f);  // the first start: nothing stored yet
    EXPECT_EQ(rig.form.fields, kDefaults);

    rig.form.fields = {{Field::DeviceDir, "\\Handheld\\"}, {Field::LocalDir, ""},
                       {Field::Server, " spaced "}, {Field::Site, "s\xc3\xa9te"}};
    SaveSettings(rig.f);
    // Untrimmed, as a string, without a terminating NUL.
    HKEY key = 0;
    ASSERT_EQ(rig.real.registry.RegOpenKeyExA(kHkeyCurrentUser, kSettingsKey, 0, kKeyAllAccess, &key), kErrorSuccess);
    uint32_t size = 99, type = 0;
    EXPECT_EQ(rig.real.registry.RegQueryValueExA(key, "SERVER_NAME", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size * 100 + type, 8u * 100 + kRegSz);
    rig.real.registry.RegCloseKey(key);

    RegWriteString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "hpc_location", "\\Stored");  // any case
    RegWriteString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "PC_LOCATION", "    ");
    RegWriteString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "SITE_NAME", std::string("abc\0junk", 8));
    rig.form.fields = kDefaults;
    LoadSettings(rig.f);
    EXPECT_EQ(rig.form.fields, (Fields{{Field::DeviceDir, "\\Stored"}, {Field::LocalDir, "local-default"},
                                       {Field::Server, "spaced"}, {Field::Site, "abc"}}));
    EXPECT_EQ(rig.registry.openKeys, 0) << "every opened key is closed";
}

}  // namespace zc::test
