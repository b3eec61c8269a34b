#include "core/Settings.h"
#include "handheld/Handheld.h"
#include "platform/AdoFilter.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Waiting.h"

namespace zc {

namespace {
// Loaded once at start-up, released when the main window unloads.
HMODULE g_filter = 0;
}  // namespace

void LoadAdoFilter(MainForm& f) {
    std::string classId = RegReadString(f.os.registry, kHkeyClassesRoot, "MS.WinCE.Table\\CLSID", "");
    std::string library = RegReadString(f.os.registry, kHkeyClassesRoot,
                                        "CLSID\\" + classId + "\\InprocServer32", "");
    // The docking software may register the path as REG_EXPAND_SZ ("%ProgramFiles%\…"), which
    // LoadLibrary does not expand.
    g_filter = f.os.kernel.LoadLibraryA(f.os.kernel.ExpandEnvironmentStringsA(ToCodePage(library)));
    if (g_filter == 0) throw Error(-100, "Unable to load ADO filter library");
}

void FreeAdoFilter(MainForm& f) {
    if (g_filter != 0) f.os.kernel.FreeLibrary(g_filter);
    g_filter = 0;
}

void CopyDatabase(MainForm& f) {
    WriteLog(f, "Copying database from handheld device");
    std::string desktop = ToCodePage(f.ui.Text(Field::LocalDir) + kSep + kDatabaseOnPc);
    std::string handheld = ToCodePage(f.ui.Text(Field::DeviceDir) + "\\" + kDatabaseOnDevice);
    std::string tables = ToCodePage("");
    // Bound by name from the module already loaded at start-up.
    auto convert = reinterpret_cast<DeviceToDesktopFn>(
        g_filter ? f.os.kernel.GetProcAddress(g_filter, kDeviceToDesktop) : nullptr);
    if (!convert)
        throw Error(453, std::string("Can't find DLL entry point ") + kDeviceToDesktop +
                             " in adofiltr.dll");
    Waiting(Wait::Long);  // the copy of the whole database
    if (convert(desktop.c_str(), tables.c_str(), 0, -1, handheld.c_str()) != 0)
        throw Error(-400, "Failed to copy database from device");
}

}  // namespace zc
