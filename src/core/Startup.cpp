#include "core/Startup.h"

#include <algorithm>
#include <exception>
#include <string>

#include "core/Settings.h"
#include "platform/Error.h"
#include "platform/Paths.h"

namespace zc {

namespace {

// Held for the life of the process; never closed, so the lock ends only with the process.
HANDLE g_mutex = 0;

void SetDefaultServerAndSite(MainForm& f) {
    f.ui.SetText(Field::Server, kDefaultServer);
    f.ui.SetText(Field::Site, kDefaultSite);
}

// Steps 5 to 10 of start-up; any error here falls back to the fixed values.
void LoadFields(MainForm& f, const Steps& steps) {
    f.ui.SetText(Field::DeviceDir, kDefaultDeviceDir);
    char buffer[kMaxPath];
    std::fill(std::begin(buffer), std::end(buffer), ' ');
    if (f.os.shell.SHGetFolderPathA(0, kCsidlPersonal, 0, 0, buffer) != 0)
        throw Error(-200, "Shell function error");
    std::string folder(buffer, kMaxPath);
    if (size_t nul = folder.find('\0'); nul != std::string::npos) folder.resize(nul);
    f.ui.SetText(Field::LocalDir, folder + kSep + "Zilba Companion");
    SetDefaultServerAndSite(f);
    LoadSettings(f);
    steps.initBoundaries();
}

}  // namespace

bool IsAlreadyRunning(MainForm& f) {
    SECURITY_ATTRIBUTES attributes{};
    g_mutex = f.os.kernel.CreateMutexA(&attributes, false, kMutexName);
    uint32_t lastError = f.os.kernel.GetLastError();
    if (g_mutex == 0) {
        f.ui.ShowWarning("Your system is running low on resource, please reboot");
        return false;
    }
    return lastError == kErrorAlreadyExists;
}

StartOutcome Form_Load(MainForm& f, const Steps& steps) {
    if (IsAlreadyRunning(f)) return StartOutcome::AlreadyRunning;

    std::string self;
    try {
        self = f.os.kernel.AppPath() + kSep + f.os.kernel.AppExeName() + kExeSuffix;
    } catch (...) {
    }
    // The docking software is a 64-bit program on 64-bit Windows and reads its own view; without
    // administrator rights the write is refused, silently (the installer has written it).
    RegWriteString(f.os.registry, kHkeyLocalMachine, kAutoStartKey, kAutoStartValue, self, kKeyWow64_64Key);

    try {
        steps.loadFilter(f);
    } catch (const std::exception& e) {
        f.ui.ShowMessage("Fatal error: " + DescribeError(e));
        return StartOutcome::Fatal;
    }

    try {
        LoadFields(f, steps);
    } catch (...) {
        f.ui.SetText(Field::LocalDir, f.os.shell.FallbackLocalDir());
        SetDefaultServerAndSite(f);
        LoadSettings(f);
        steps.initBoundaries();
    }
    return StartOutcome::Run;
}

void Form_Unload(MainForm& f, const Steps& steps) { steps.freeFilter(f); }

}  // namespace zc
