// The whole program under Wine, beside the stand-in DLLs, against zilba-server on 127.0.0.1, its
// database the test double of TextDatabase.h (Wine has no Jet 4.0).
#include "platform/win32/WinApi.h"
#include <process.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>
#include <set>

#include "Support.h"
#include "TextDatabase.h"
#include "core/Startup.h"
#include "shells/win32/Controls.h"
#include "platform/win32/Com.h"
#include "platform/win32/Win32Platform.h"
#include "runs/Runs.h"
#include "support/FakeForm.h"

namespace zc::test {

namespace {

using namespace zc::win32;
using Names = std::set<std::string>;
const char kSettingsKey[] = "Software\\Brennowick\\Zilba Companion";
const char kAutoStartKey[] = "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect";
const std::string kData = "Z:" ZC_DATA_DIR "\\", kState = "Z:" ZC_SERVER_STATE "\\";
const std::string kConnected = "Have you connected the device to the PC?", kFinished =
    "Finished. For more information please see the log.", kSiteQuestion =
    "Site name in the device is e2e. Do you want to use the site configured in the device?";

Names Entries(const std::string& folder) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(P(folder)))
        names.insert(Narrow(entry.path().filename().wstring()));
    return names;
}

// A text value; `view` KEY_WOW64_64KEY reads the 64-bit view also from a 32-bit program.
std::string Setting(::HKEY hive, const char* key, const std::string& name, REGSAM view = 0) {
    char text[MAX_PATH] = {};
    DWORD size = sizeof text;
    ::HKEY opened;
    if (::RegOpenKeyExA(hive, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return "";
    ::RegGetValueA(opened, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, text, &size);
    ::RegCloseKey(opened);
    return FromAnsi(text);
}
std::string AutoStart() { return Setting(kWinLocalMachine, kAutoStartKey, "Zilba Companion", KEY_WOW64_64KEY); }

std::string Self() {
    wchar_t self[MAX_PATH];
    return Narrow(std::wstring(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH)));
}
std::string Bin() { return Self().substr(0, Self().find_last_of('\\')); }

HWND Await(const std::function<HWND()>& window) {
    for (int i = 0; i < 600; ++i, ::Sleep(50))
        if (HWND w = window()) return w;
    return 0;
}

// The text of a window (`id` 0) or of one of its controls, as long as it answers within 2 s.
std::optional<std::string> TextIfAnswering(HWND window, int id = 0) {
    char text[1 << 16] = {};
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(id ? ::GetDlgItem(window, id) : window, WM_GETTEXT, sizeof text,
                               reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length))
        return std::nullopt;
    return FromAnsi(text);
}
std::string Text(HWND window, int id) { return TextIfAnswering(window, id).value_or("<not answering>"); }

intptr_t Spawn(int mode, const std::string& exe) {
    const std::wstring path = Widen(exe), quoted = L"\"" + path + L"\"";
    return _wspawnl(mode, path.c_str(), quoted.c_str(), nullptr);
}

// The running program, driven through its windows; ended by force if it still runs at the end.
class Program {
public:
    explicit Program(const std::string& exe)
        : process(reinterpret_cast<::HANDLE>(Spawn(_P_NOWAIT, exe))),
          main(Await([this] { return Find(kMainClass, "Zilba Companion"); })) {}
    ~Program() {
        if (process != kWinInvalidHandle && ::TerminateProcess(process, 1))  // never this test itself
            ::WaitForSingleObject(process, 10000);  // gone with its single-instance mutex
        ::CloseHandle(process);
    }
    HWND Find(const char* windowClass, const char* caption) {
        for (HWND w = 0; (w = ::FindWindowExA(nullptr, w, windowClass, caption)) != 0;) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(w, &owner);
            if (owner == ::GetProcessId(process) && ::IsWindowVisible(w)) return w;
        }
        return 0;
    }
    std::string Counters() {
        std::string all;
        for (int id = IDC_SESSIONS; id <= IDC_FAILURE; ++id) all += Text(main, id);
        return all;
    }
    void Press(int id) { ::PostMessageA(::GetDlgItem(main, id), BM_CLICK, 0, 0); }
    // Waits for the next message box, answers it with `button` and gives its text.
    std::string Answer(int button) {
        HWND box = Await([this] { return Find("#32770", "Zilba Companion"); });
        std::string text = Text(box, 0xFFFF);
        ::PostMessageA(box, WM_COMMAND, button, 0);
        Await([box] { return ::IsWindow(box) ? HWND{} : box; });
        return text;
    }
    std::string Log() { return Text(Find(kLogClass, "Log"), IDC_LOG); }
    void Exit() {
        Press(IDC_EXIT);
        DWORD code = STILL_ACTIVE;
        EXPECT_EQ(::WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "Exit ends the program";
        EXPECT_TRUE(::GetExitCodeProcess(process, &code) && code == 0) << code;
    }

    ::HANDLE process;
    HWND main;
};

// `text` with each varying part written as its name, and the dates of the run lines as <when>.
std::string Blank(std::string text, const std::vector<std::pair<std::string, std::string>>& varying) {
    for (const auto& [was, name] : varying)
        for (size_t at; (at = text.find(was)) != std::string::npos;) text.replace(at, was.size(), name);
    return std::regex_replace(text, std::regex(": \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\r\n"), ": <when>\r\n");
}

// A fresh simulated handheld (five jobs of site e2e; bitmaps of every byte value, of exactly one
// read, empty), the filter registered, no auto-start entry, day-first dates, and the settings in
// the ANSI code page: the stand-in server, `site` and `pcLocation` (none: the default).
struct Rig {
    explicit Rig(const std::string& site, const std::string& pcLocation = "", bool docked = true) {
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + handheld.path.substr(7)).c_str());
        WriteFile(device + "P_ZILBA.CDB", database);
        for (size_t i = 2; i < 3000; ++i) bitmaps["S_5001.bmp"] += static_cast<char>(i * 7);
        bitmaps["S_5002.bmp"].resize(1024, '\xFF');
        for (const auto& [name, bytes] : bitmaps) WriteFile(device + "Signatures\\" + name, bytes);
        if (!docked) WriteFile(undocked, "");
        EXPECT_EQ(Spawn(_P_WAIT, Bin() + "\\zilba-register.exe"), 0);
        ::RegDeleteKeyExA(kWinLocalMachine, kAutoStartKey, KEY_WOW64_64KEY, 0);
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
        ::RegDeleteTreeA(kWinCurrentUser, kSettingsKey);
        for (const auto& [name, value] : {std::pair{"SERVER_NAME", server}, {"SITE_NAME", site}, {"PC_LOCATION", pcLocation}})
            if (!value.empty())
                ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, name, REG_SZ, ToAnsi(value).c_str(), ToAnsi(value).size() + 1);
        char documents[MAX_PATH] = {};
        EXPECT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
        local = pcLocation.empty() ? FromAnsi(documents) + "\\Zilba Companion" : pcLocation;
        fields = {"\\My Documents\\Pocket Zilba", local, server, site};
        std::filesystem::remove_all(P(local));
        std::filesystem::remove_all(P(served));
    }
    void Dock() const { std::filesystem::remove(P(undocked)); }

    void FindBackup() {
        const Names backups = Entries(local + "\\Upload");
        ASSERT_EQ(backups.size(), 1u);
        backup = *backups.begin();
        sent = Entries(local + "\\Upload\\" + backup);
        ASSERT_EQ(sent.size(), 4u) << "three bitmaps and the export file";
        exportName = *sent.rbegin();
    }

    // The backed-up export file to resend, a second later (a backup of its own), beside a hidden
    // system file and a folder, which stay.
    std::string PrepareResend() {
        WriteFile(Backup("Thumbs.db"), "");
        ::SetFileAttributesW(P(Backup("Thumbs.db")).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        std::filesystem::create_directory(P(Backup("old")));
        ::Sleep(1000);
        std::filesystem::remove_all(P(served));
        return Backup(exportName);
    }

    std::string Backup(const std::string& name) const { return local + "\\Upload\\" + backup + "\\" + name; }

    TempDir handheld;
    const std::string device = handheld / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
    const std::string undocked = handheld / "zilba-companion\\undocked";
    const std::string database = std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt");
    std::map<std::string, std::string> bitmaps{{"S_5001.bmp", "BM"}, {"S_5002.bmp", "BM"}, {"S_5003.bmp", ""}};
    const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
    const std::string served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    std::vector<std::string> fields;  // the settings' fields as the program shows them
    std::string local, backup, exportName;
    Names sent;
};

}  // namespace

// Start-up, Transfer and Resend of the shipped i686 build on the Windows platform layer, a form
// double answering (Wine 8.0 cannot run the windows of a 32-bit program): the DLLs called through
// their 32-bit convention, the auto-start value written in the 64-bit view.
TEST(WholeTransfer, TransferThenResendWithoutTheWindows) {
    Rig rig("B\xC3\xBCro");
    ComApartment apartment;
    Win32Platform os;
    TextDatabase database;
    Platform platform{os.registry, os.kernel, os.shell, os.rapi, os.files, database, os.http, os.clock};
    FakeForm form;
    MainForm main{form, platform};
    auto counters = [&form] {
        std::string all;
        for (int f = int(Field::Sessions); f <= int(Field::Failure); ++f) all += form.fields[Field(f)];
        return all;
    };
    ASSERT_EQ(Form_Load(main, ProgramSteps()), StartOutcome::Run) << ::testing::PrintToString(form.messages);
    EXPECT_EQ(AutoStart(), Self());

    cmdTransfer_Click(main);
    EXPECT_EQ(form.questions, (std::vector<std::string>{kConnected, kSiteQuestion}));
    EXPECT_EQ(form.messages, std::vector<std::string>{kFinished});
    EXPECT_EQ(counters(), "1" "5" "3" "4" "0");
    const char* settings[] = {"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"};
    for (size_t i = 0; i < rig.fields.size(); ++i)
        EXPECT_EQ(Setting(kWinCurrentUser, kSettingsKey, settings[i]), rig.fields[i]) << settings[i];
    EXPECT_EQ(ReadFile(rig.device + ".purge"), "") << "the purge flag";
    EXPECT_EQ(Entries(rig.local), (Names{"Export", "P_ZILBA.MDB", "Upload"}));
    EXPECT_EQ(ReadFile(rig.local + "\\P_ZILBA.MDB"), rig.database);
    EXPECT_EQ(Entries(rig.local + "\\Export"), Names{});
    ASSERT_NO_FATAL_FAILURE(rig.FindBackup());
    const std::string exported = ReadFile(rig.Backup(rig.exportName));
    EXPECT_EQ(std::regex_replace(exported, std::regex("DOWNLOAD\\+\\+\\+[^%]*%%"), "DOWNLOAD+++<now>%%"),
              ReadFile(kData + "win-export.txt"));
    EXPECT_EQ(ReadFile(rig.served + "\\" + rig.exportName), exported);
    for (const auto& [name, bytes] : rig.bitmaps) {
        EXPECT_EQ(ReadFile(rig.Backup(name)), bytes) << name;
        EXPECT_EQ(ReadFile(rig.served + "\\" + name), bytes) << name;
    }

    form.chosenFiles.push_back(rig.PrepareResend());
    cmdResend_Click(main);
    EXPECT_EQ(form.messages, (std::vector<std::string>{kFinished, kFinished}));
    EXPECT_EQ(counters(), "1" "5" "3" "8" "0");
    std::string log;  // as its window holds it: a break inside a line too with CR LF
    for (const std::string& line : form.log) log += std::regex_replace(line, std::regex("\r\n|\r|\n"), "\r\n") + "\r\n";
    Names both = Entries(rig.local + "\\Upload");
    ASSERT_EQ(both.size(), 2u);
    both.erase(rig.backup);
    EXPECT_EQ(Entries(rig.local + "\\Upload\\" + *both.begin()), rig.sent);
    for (const std::string& name : rig.sent) EXPECT_EQ(ReadFile(rig.served + "\\" + name), ReadFile(rig.Backup(name))) << name;
    EXPECT_EQ(Blank(log, {{rig.local, "<local>"}, {rig.exportName, "<export>"}, {rig.backup, "<backup>"}}),
              ReadFile(kData + "win-transfer.log"));
    Form_Unload(main, ProgramSteps());
}

// Through the windows: with nothing docked a Transfer waits up to its limit (30 s) answering, and
// fails; the next waits afresh and goes on once the handheld is docked. Its folder and site
// beyond ASCII reach the server in code page 1252 (up_path, filename=), past a spreadsheet held
// open without sharing. Then Resend through the file dialog, a second start, and Exit.
TEST(WholeTransfer, ThroughTheWindowsNothingDockedThenANonAsciiRunPastAFileHeldOpenThenResend) {
    TempDir home;
    Rig rig("B\xC3\xBCro", home / "J\xC3\xBCrgen\\Zilba Companion", false);
    const std::string budget = rig.local + "\\budget.xls", exe = Bin() + "\\ZilbaCompanion-e2e.exe";
    WriteFile(budget, "the user's sums");
    ::HANDLE held = ::CreateFileW(P(budget).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, kWinInvalidHandle);
    Program program(exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    EXPECT_EQ(Spawn(_P_WAIT, exe), 0) << "a second start ends at once, without a window";
    // Until the program's `run`th run waits for the connection; false when a window stopped answering.
    auto transferUntilTheConnectionIsWaitedFor = [&program](long run) {
        program.Press(IDC_TRANSFER);
        EXPECT_EQ(program.Answer(IDYES), kConnected);
        const std::regex waiting("Initializing remote connection");
        for (int i = 0; i < 600; ++i, ::Sleep(50)) {
            std::optional<std::string> lines = TextIfAnswering(program.Find(kLogClass, "Log"), IDC_LOG);
            if (lines && std::distance(std::sregex_iterator(lines->begin(), lines->end(), waiting), {}) == run)
                return TextIfAnswering(program.main).has_value();
        }
        return false;
    };
    ASSERT_TRUE(transferUntilTheConnectionIsWaitedFor(1)) << "the program stopped answering";
    int answers = 0;
    for (int i = 0; i < 450 && !program.Find("#32770", "Zilba Companion"); ++i, ::Sleep(100)) {
        std::optional<std::string> title = TextIfAnswering(program.main), site = TextIfAnswering(program.main, IDC_SITE);
        ASSERT_TRUE(title && site) << "the main window stopped answering while the run waited";
        EXPECT_EQ(*title + " " + *site, "Zilba Companion B\xC3\xBCro");
        ++answers;
    }
    EXPECT_GT(answers, 0);
    EXPECT_EQ(program.Answer(IDOK), "Error: Failed to initialise RAPI");
    EXPECT_EQ(program.Counters(), "1" "0" "0" "0" "0");
    EXPECT_EQ(Blank(program.Log(), {}), "-----------------------------------------------\r\n"
                                        "Transfer start: <when>\r\nInitializing remote connection\r\n");

    ASSERT_TRUE(transferUntilTheConnectionIsWaitedFor(2)) << "the program stopped answering";
    rig.Dock();
    EXPECT_EQ(program.Answer(IDNO), kSiteQuestion);
    EXPECT_EQ(program.Answer(IDOK), kFinished);
    EXPECT_EQ(program.Counters(), "2" "5" "3" "4" "0");
    ::CloseHandle(held);
    EXPECT_EQ(ReadFile(budget), "the user's sums");
    ASSERT_NO_FATAL_FAILURE(rig.FindBackup());
    const std::string log = ReadFile(kState + "log");
    for (const std::string& name : rig.sent) {
        const std::string stored = "stored " ZC_SERVER_STATE "/data/zilba/B\xFCro/p_zilba/import/" + name + " (" +
                                   std::to_string(ReadFile(rig.Backup(name)).size()) + " bytes) from \"" + home.path +
                                   "\\J\xFCrgen\\Zilba Companion\\Export\\" + name + "\"\n";
        EXPECT_NE(log.find(stored), std::string::npos) << stored << "not in the server's log:\n" << log;
    }

    program.Press(IDC_RESEND);
    HWND dialog = Await([&program] { return program.Find("#32770", "Select export file"); });
    ASSERT_TRUE(::SetDlgItemTextA(dialog, 0x47C, ToAnsi(rig.PrepareResend()).c_str()));  // the name box, cmb13
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Answer(IDOK), kFinished);
    EXPECT_EQ(program.Counters(), "2" "5" "3" "8" "0");
    // The server's answer in the code page it names, as the log shows it.
    EXPECT_NE(program.Log().find("\r\nStatus: 200\r\nImport accepted\r\nSite: B\xC3\xBCro\r\n"), std::string::npos)
        << program.Log();
    program.Exit();
}

}  // namespace zc::test
