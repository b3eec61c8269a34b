// The whole program under Wine, driven from inside Wine through its windows as a user drives it:
// ZilbaCompanion-e2e.exe on the virtual display, beside the stand-in rapi.dll and adofiltr.dll,
// against zilba-server on 127.0.0.1. Wine has no Jet 4.0, so for this test only the program
// reads the converted database through a test double (E2eProgram.cpp) that takes the rows this
// test puts on the handheld. Everything else is the shipped program on the Windows functions.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "Support.h"
#include "app/win32/Controls.h"
#include "platform/win32/WinText.h"

namespace zc::test {

namespace {

using namespace zc::win32;
using Names = std::vector<std::string>;
const char kSettingsKey[] = "Software\\Brennowick\\Zilba Companion";

// The handheld's database as the double reads it (behind the header the filter checks), with
// the rows in the order they were recorded.
const std::string kDatabase =
    std::string("SQLite format 3\0", 16) + "Control\tSiteName=e2e\n" +
    "Jobs\t#UserID=42\t#EventCode=102\t#JobNumber=731\tDateTime=2026-12-05 07:45:00\tText=Work started\n"
    "Jobs\t#UserID=42\t#EventCode=101\t#JobNumber=731\tDateTime=2026-12-05 07:40:12\tText=Arrived on site\n"
    "Jobs\t#UserID=43\t#EventCode=201\t#JobNumber=732\tDateTime=2026-12-05 09:05:00\tText=Z\xC3\xBCrich: no access\n"
    "Jobs\t#UserID=42\t#EventCode=104\t#JobNumber=731\tDateTime=2026-12-05 08:30:00\tText=Customer signed\tSignature=5001\n"
    "Jobs\t#UserID=43\t#EventCode=104\t#JobNumber=732\tDateTime=2026-12-06 09:10:00\tText=Card left\tSignature=5002\n";

std::string Bitmap(size_t n) {
    std::string s = "BM";
    for (size_t i = 2; i < n; ++i) s += static_cast<char>(i * 7 % 256);
    return s;
}

Names Entries(const std::string& folder) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(Widen(folder)))
        names.push_back(Narrow(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string Setting(HKEY hive, const char* key, const char* name) {
    char text[MAX_PATH] = {};
    DWORD size = sizeof text;
    ::RegGetValueA(hive, key, name, RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

// The running program, found and driven through its windows.
class Program {
public:
    explicit Program(const std::string& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = Widen("\"" + exe + "\"");
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
            main = Wait([this] { return Find(kMainClass, "Zilba Companion"); });
    }
    ~Program() {
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 1);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    bool Ended(DWORD milliseconds) { return ::WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0; }

    // A shown top-level window of this program; 0 when there is none.
    HWND Find(const char* windowClass, const char* caption) {
        HWND found = 0;
        while ((found = ::FindWindowExA(nullptr, found, windowClass, caption)) != 0) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(found, &owner);
            if (owner == process_.dwProcessId && ::IsWindowVisible(found)) return found;
        }
        return 0;
    }
    // Polls for up to 30 s; 0 when the window never came.
    static HWND Wait(const std::function<HWND()>& window) {
        for (int i = 0; i < 600; ++i, ::Sleep(50))
            if (HWND w = window()) return w;
        return 0;
    }
    static std::string Text(HWND window, int id) {
        HWND control = ::GetDlgItem(window, id);
        std::string text(::SendMessageA(control, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
        text.resize(::SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
        return FromAnsi(text);
    }
    std::string Text(int id) { return Text(main, id); }
    void Press(int id) { ::PostMessageA(::GetDlgItem(main, id), BM_CLICK, 0, 0); }

    // Waits for the next message box, answers it with `button` and gives its text.
    std::string Answer(int button) {
        HWND box = Wait([this] { return Find("#32770", "Zilba Companion"); });
        if (!box) return "(no box)";
        std::string text = Text(box, 0xFFFF);
        ::PostMessageA(box, WM_COMMAND, button, 0);
        Wait([box] { return ::IsWindow(box) ? HWND{} : box; });
        return text;
    }
    // Chooses `path` in the file dialog.
    bool Choose(const std::string& path) {
        HWND dialog = Wait([this] { return Find("#32770", "Select export file"); });
        if (!dialog || !::SetDlgItemTextA(dialog, 0x47C, ToAnsi(path).c_str())) return false;  // the name box, cmb13
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return true;
    }
    std::string Log() { return Text(Find(kLogClass, "Log"), IDC_LOG); }

    HWND main = 0;

private:
    PROCESS_INFORMATION process_{};
};

// The log with each varying text written as its name, and the run lines' dates as <when>.
std::string Transcript(std::string text, const std::vector<std::pair<std::string, std::string>>& varying) {
    for (const auto& [was, name] : varying)
        for (size_t at; (at = text.find(was)) != std::string::npos;) text.replace(at, was.size(), name);
    return std::regex_replace(text, std::regex(": \\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d( [AP]M)?\r\n"), ": <when>\r\n");
}

}  // namespace

TEST(WholeTransfer, TransferThenResendThenExitThroughTheWindows) {
    ASSERT_NE(::GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs a display (scripts/windows.sh starts one)";
    Handheld handheld;
    handheld.File("My Documents\\Pocket Zilba\\P_ZILBA.CDB", kDatabase);
    const std::map<std::string, std::string> bitmaps{
        {"S_5001.bmp", Bitmap(3000)}, {"S_5002.bmp", Bitmap(1024)}, {"S_5003.bmp", "B"}};
    for (const auto& [name, bytes] : bitmaps) handheld.File("My Documents\\Pocket Zilba\\Signatures\\" + name, bytes);
    ASSERT_EQ(RunProgram("\"" + BinFolder() + "\\zilba-register.exe\""), 0u);
    // The settings: the stand-in server, and a site the handheld's own one differs from. The
    // local directory is left to its default below the documents folder.
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME", REG_SZ, Server().c_str(), Server().size() + 1);
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME", REG_SZ, "office", 7);
    char documents[MAX_PATH];
    ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
    const std::string local = FromAnsi(documents) + "\\Zilba Companion", exe = BinFolder() + "\\ZilbaCompanion-e2e.exe";
    std::error_code ec;
    std::filesystem::remove_all(Widen(local), ec);
    const std::string served = ServerState("data\\zilba\\e2e\\p_zilba\\import");
    std::filesystem::remove_all(Widen(served), ec);

    Program program(exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed";
    EXPECT_EQ(RunProgram("\"" + exe + "\""), 0u) << "a second start ends at once, without a window";
    EXPECT_EQ(Setting(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect", "Zilba Companion"), exe);
    EXPECT_EQ(program.Text(IDC_DEVICEDIR) + "|" + program.Text(IDC_LOCALDIR) + "|" + program.Text(IDC_SERVER) + "|" +
                  program.Text(IDC_SITE),
              "\\My Documents\\Pocket Zilba|" + local + "|" + Server() + "|office");

    // Transfer: Yes to both questions, the handheld's site taken.
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    EXPECT_EQ(program.Answer(IDYES), "Site name in the device is e2e. Do you want to use the site configured in the device?");
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    // The settings were stored as the fields stood when the run began.
    const Names names{"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"},
        stored{"\\My Documents\\Pocket Zilba", local, Server(), "office"};
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(Setting(HKEY_CURRENT_USER, kSettingsKey, names[i].c_str()), stored[i]) << names[i];
    Names backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 1u);
    const std::string backup = local + "\\Upload\\" + backups[0];
    Names sent = Entries(backup);
    ASSERT_EQ(sent.size(), 4u) << "three bitmaps and the export file";
    const std::string exportName = sent[3];
    EXPECT_EQ(Entries(local + "\\Export"), Names{});
    EXPECT_EQ(Entries(local), (Names{"Export", "P_ZILBA.MDB", "Upload"}));
    EXPECT_EQ(ReadFile(local + "\\P_ZILBA.MDB"), kDatabase);
    EXPECT_EQ(ReadFile(handheld.Device("My Documents\\Pocket Zilba\\.purge")), "") << "the purge flag";
    std::string exported = ReadFile(backup + "\\" + exportName);
    EXPECT_EQ(std::regex_replace(exported, std::regex("DOWNLOAD\\+\\+\\+[^%]*%%"), "DOWNLOAD+++<now>%%"),
              ReadFile(DataFile("win-export.txt")));
    EXPECT_EQ(ReadFile(served + "\\" + exportName), exported);
    for (const auto& [name, bytes] : bitmaps) {
        EXPECT_EQ(ReadFile(backup + "\\" + name), bytes) << name;
        EXPECT_EQ(ReadFile(served + "\\" + name), bytes) << name;
    }
    EXPECT_EQ(program.Text(IDC_SESSIONS) + program.Text(IDC_EVENTS) + program.Text(IDC_SIGNS) +
                  program.Text(IDC_SUCCESS) + program.Text(IDC_FAILURE),
              "15340");

    // Resend of the backed-up export file, in a new second so that it gets a backup of its own.
    ::Sleep(1000);
    std::filesystem::remove_all(Widen(served), ec);
    program.Press(IDC_RESEND);
    ASSERT_TRUE(program.Choose(backup + "\\" + exportName));
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(Entries(local + "\\Upload\\" + backups[1]), sent);
    EXPECT_EQ(Entries(backup), sent) << "the chosen folder keeps its files";
    for (const std::string& name : sent) EXPECT_EQ(ReadFile(served + "\\" + name), ReadFile(backup + "\\" + name)) << name;
    EXPECT_EQ(program.Text(IDC_SUCCESS) + "/" + program.Text(IDC_FAILURE) + "/" + program.Text(IDC_SESSIONS), "8/0/1");
    EXPECT_EQ(Transcript(program.Log(), {{local, "<local>"}, {exportName, "<export>"}, {backups[0], "<backup>"}}),
              ReadFile(DataFile("win-transfer.log")));

    program.Press(IDC_EXIT);
    EXPECT_TRUE(program.Ended(10000)) << "Exit ends the program";
    // The single-instance mutex went with it: the next start runs.
    Program again(exe);
    EXPECT_NE(again.main, HWND{});
    again.Press(IDC_EXIT);
    EXPECT_TRUE(again.Ended(10000));
}

}  // namespace zc::test
