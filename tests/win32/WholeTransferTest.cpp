// The whole program under Wine, driven from inside Wine through its windows as a user drives it:
// ZilbaCompanion-e2e.exe on the virtual display, beside the stand-in rapi.dll and adofiltr.dll,
// against zilba-server on 127.0.0.1. Wine has no Jet 4.0, so for this test only the program
// reads the converted database through a test double (E2eProgram.cpp) that takes the rows this
// test puts on the handheld. Everything else is the shipped program on the Windows functions.
#include <windows.h>
#include <process.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "Support.h"
#include "app/win32/Controls.h"

namespace zc::test {

namespace {

using namespace zc::win32;
using Names = std::set<std::string>;
const char kSettingsKey[] = "Software\\Brennowick\\Zilba Companion";
// Linux paths as Wine's Z: drive shows them: the expected texts, and the stand-in server's state.
const std::string kData = "Z:" ZC_DATA_DIR "\\", kState = "Z:" ZC_SERVER_STATE "\\";

Names Entries(const std::string& folder) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(P(folder)))
        names.insert(Narrow(entry.path().filename().wstring()));
    return names;
}

std::string Setting(HKEY hive, const char* key, const std::string& name) {
    char text[MAX_PATH] = {};
    DWORD size = sizeof text;
    ::RegGetValueA(hive, key, name.c_str(), RRF_RT_REG_SZ, nullptr, text, &size);
    return FromAnsi(text);
}

// Polls for up to 30 s; 0 when the window never came.
HWND Await(const std::function<HWND()>& window) {
    for (int i = 0; i < 600; ++i, ::Sleep(50))
        if (HWND w = window()) return w;
    return 0;
}

std::string Text(HWND window, int id) {
    char text[1 << 16] = {};
    ::SendDlgItemMessageA(window, id, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return FromAnsi(text);
}

// Starts `exe` with `mode` _P_WAIT (then its exit code) or _P_NOWAIT (then its handle).
intptr_t Spawn(int mode, const std::string& exe) {
    const std::wstring path = Widen(exe), quoted = L"\"" + path + L"\"";
    return _wspawnl(mode, path.c_str(), quoted.c_str(), nullptr);
}

// The running program, driven through its windows; ended by force if it still runs at the end.
class Program {
public:
    explicit Program(const std::string& exe)
        : process(reinterpret_cast<HANDLE>(Spawn(_P_NOWAIT, exe))),
          main(Await([this] { return Find(kMainClass, "Zilba Companion"); })) {}
    ~Program() {
        if (process != INVALID_HANDLE_VALUE && ::TerminateProcess(process, 1))  // never this test itself
            ::WaitForSingleObject(process, 10000);  // gone with its single-instance mutex
        ::CloseHandle(process);
    }
    // A shown top-level window of this program; 0 when there is none.
    HWND Find(const char* windowClass, const char* caption) {
        for (HWND w = 0; (w = ::FindWindowExA(nullptr, w, windowClass, caption)) != 0;) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(w, &owner);
            if (owner == ::GetProcessId(process) && ::IsWindowVisible(w)) return w;
        }
        return 0;
    }
    std::string Counters() {
        return Text(main, IDC_SESSIONS) + Text(main, IDC_EVENTS) + Text(main, IDC_SIGNS) + Text(main, IDC_SUCCESS) +
               Text(main, IDC_FAILURE);
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

    HANDLE process;
    HWND main;
};

// `text` with each varying part written as its name, and the dates of the run lines as <when>.
std::string Blank(std::string text, const std::vector<std::pair<std::string, std::string>>& varying) {
    for (const auto& [was, name] : varying)
        for (size_t at; (at = text.find(was)) != std::string::npos;) text.replace(at, was.size(), name);
    return std::regex_replace(text, std::regex(": \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\r\n"), ": <when>\r\n");
}

// The lines of `text` that hold `part`.
std::string LinesWith(const std::string& text, const std::string& part) {
    std::istringstream lines(text);
    std::string found;
    for (std::string line; std::getline(lines, line);)
        if (line.find(part) != std::string::npos) found += line + "\n";
    return found;
}

// The simulated handheld of the test below (five job rows of site e2e, three bitmaps), docked and
// registered, the user's regional formats, and the settings: the stand-in server, `site` and the
// local directory `local`, in the ANSI code page as Windows keeps settings.
struct Docked {
    Docked(const std::string& local, const std::string& site) {
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + handheld.path.substr(7)).c_str());
        const std::string device = handheld / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
        WriteFile(device + "P_ZILBA.CDB", std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt"));
        for (const auto& [name, bytes] : bitmaps) WriteFile(device + "Signatures\\" + name, bytes);
        flag = device + ".purge";
        wchar_t self[MAX_PATH];
        const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        const std::string bin = Narrow(path.substr(0, path.find_last_of(L'\\')));
        exe = bin + "\\ZilbaCompanion-e2e.exe";
        EXPECT_EQ(Spawn(_P_WAIT, bin + "\\zilba-register.exe"), 0);
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
        const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        for (const auto& [name, value] : {std::pair{"SERVER_NAME", server}, {"SITE_NAME", site}, {"PC_LOCATION", local}})
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name, REG_SZ, ToAnsi(value).c_str(), ToAnsi(value).size() + 1);
    }

    TempDir handheld;
    const std::map<std::string, std::string> bitmaps{
        {"S_5001.bmp", "BM\x01\x02"}, {"S_5002.bmp", "BM" + std::string(1022, '\xFF')}, {"S_5003.bmp", ""}};
    std::string flag, exe;  // the purge flag's file, the program
};

}  // namespace

// A spreadsheet the user keeps open in the local directory (Excel shares a workbook with nobody)
// is no file of the run's: the transfer neither opens nor waits for it.
TEST(WholeTransfer, AFileOfTheUsersHeldOpenWithoutSharing) {
    TempDir home;
    const std::string local = home / "Zilba Companion", served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    Docked docked(local, "e2e");
    WriteFile(local + "\\budget.xls", "the user's sums");
    HANDLE held = ::CreateFileW(P(local + "\\budget.xls").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::CreateFileW(P(local + "\\budget.xls").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE) << "held without sharing";
    std::filesystem::remove_all(P(served));

    Program program(docked.exe);
    ASSERT_NE(program.main, HWND{});
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    ::CloseHandle(held);
    EXPECT_EQ(ReadFile(local + "\\budget.xls"), "the user's sums");
    EXPECT_EQ(ReadFile(docked.flag), "") << "the purge flag";
    // Everything reached the server, and the PC keeps it in the backup.
    const Names backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 1u);
    const std::string backup = local + "\\Upload\\" + *backups.begin();
    Names sent = Entries(backup);
    EXPECT_EQ(Entries(served), sent);
    for (const std::string& name : sent) EXPECT_EQ(ReadFile(served + "\\" + name), ReadFile(backup + "\\" + name)) << name;
    for (const auto& [name, bytes] : docked.bitmaps) EXPECT_EQ(sent.erase(name) ? ReadFile(backup + "\\" + name) : "", bytes) << name;
    ASSERT_EQ(sent.size(), 1u) << "the export file";
    EXPECT_TRUE(ReadFile(backup + "\\" + *sent.begin()).ends_with("&&STOP%%\r\n"));
    program.Press(IDC_EXIT);
    EXPECT_EQ(::WaitForSingleObject(program.process, 10000), WAIT_OBJECT_0);
}

// A profile folder and a site with a letter beyond ASCII reach the server as the export file
// carries them: in the ANSI code page (1252 here, where ü is the byte FC), in up_path and in the
// path after filename=. The stand-in server's log names each file it stored, in the folder
// up_path gave, with that path as it came.
TEST(WholeTransfer, ANonAsciiFolderAndSiteTravelInTheAnsiCodePage) {
    TempDir home;
    const std::string local = home / "J\xC3\xBCrgen\\Zilba Companion";
    std::filesystem::create_directories(P(home / "J\xC3\xBCrgen"));
    Docked docked(local, "B\xC3\xBCro");
    Program program(docked.exe);
    ASSERT_NE(program.main, HWND{});
    EXPECT_EQ(Text(program.main, IDC_LOCALDIR) + " " + Text(program.main, IDC_SITE), local + " B\xC3\xBCro");
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    EXPECT_EQ(program.Answer(IDNO), "Site name in the device is e2e. Do you want to use the site configured in the device?");
    const std::string box = program.Answer(IDOK);
    const Names backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 1u) << box;
    const std::string backup = local + "\\Upload\\" + *backups.begin();
    const std::string log = ReadFile(kState + "log");
    const Names sent = Entries(backup);
    EXPECT_EQ(sent.size(), 4u);
    for (const std::string& name : sent) {
        const std::string stored = "stored " ZC_SERVER_STATE "/data/zilba/B\xFCro/p_zilba/import/" + name + " (" +
                                   std::to_string(ReadFile(backup + "\\" + name).size()) + " bytes) from \"" +
                                   home.path + "\\J\xFCrgen\\Zilba Companion\\Export\\" + name + "\"\n";
        EXPECT_NE(log.find(stored), std::string::npos)
            << name << " was not stored from up_path and filename= in the ANSI code page:\n" << LinesWith(log, name);
    }
    EXPECT_EQ(box, "Finished. For more information please see the log.");
    program.Press(IDC_EXIT);
    EXPECT_EQ(::WaitForSingleObject(program.process, 10000), WAIT_OBJECT_0);
}

TEST(WholeTransfer, TransferThenResendThenExitThroughTheWindows) {
    // A simulated handheld in a fresh folder, served by the stand-in DLLs (to the program too) while
    // XDG_DATA_HOME points there: five job rows (tests/data/win-handheld.txt, as the test double
    // reads them, behind the 16 bytes the stand-in filter checks) and three bitmaps: every byte
    // value, exactly one read of 1024 bytes, and an empty one.
    TempDir handheld;
    ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + handheld.path.substr(7)).c_str());
    const std::string device = handheld / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
    const std::string database = std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt");
    WriteFile(device + "P_ZILBA.CDB", database);
    std::map<std::string, std::string> bitmaps{{"S_5001.bmp", "BM"}, {"S_5002.bmp", "BM"}, {"S_5003.bmp", ""}};
    for (size_t i = 2; i < 3000; ++i) bitmaps["S_5001.bmp"] += static_cast<char>(i * 7);
    bitmaps["S_5002.bmp"].resize(1024, '\xFF');
    for (const auto& [name, bytes] : bitmaps) WriteFile(device + "Signatures\\" + name, bytes);
    wchar_t self[MAX_PATH];  // this test program, beside the program and the stand-in DLLs
    const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::string bin = Narrow(path.substr(0, path.find_last_of(L'\\')));
    ASSERT_EQ(Spawn(_P_WAIT, bin + "\\zilba-register.exe"), 0);
    // The user's regional formats, which every date the program writes follows.
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
    // The stand-in server and a site of the user's own, in the ANSI code page as Windows keeps
    // settings; the local directory stays the default.
    const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
    const std::string site = ToAnsi("Büro");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME", REG_SZ, server.c_str(), server.size() + 1);
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME", REG_SZ, site.c_str(), site.size() + 1);
    char documents[MAX_PATH];
    ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
    const std::string local = FromAnsi(documents) + "\\Zilba Companion", exe = bin + "\\ZilbaCompanion-e2e.exe";
    const std::string served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    std::filesystem::remove_all(P(local));
    std::filesystem::remove_all(P(served));

    Program program(exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    EXPECT_EQ(Spawn(_P_WAIT, exe), 0) << "a second start ends at once, without a window";
    EXPECT_EQ(Setting(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect", "Zilba Companion"), exe);
    const std::vector<std::string> settings{"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"},
        fields{"\\My Documents\\Pocket Zilba", local, server, "Büro"};
    for (int id : {IDC_DEVICEDIR, IDC_LOCALDIR, IDC_SERVER, IDC_SITE}) EXPECT_EQ(Text(program.main, id), fields[id - IDC_DEVICEDIR]);

    // Transfer: Yes to both questions, so the handheld's site is taken.
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    EXPECT_EQ(program.Answer(IDYES), "Site name in the device is e2e. Do you want to use the site configured in the device?");
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    EXPECT_EQ(program.Counters(), "1" "5" "3" "4" "0");
    for (size_t i = 0; i < settings.size(); ++i)  // as the fields stood when the run began
        EXPECT_EQ(Setting(HKEY_CURRENT_USER, kSettingsKey, settings[i]), fields[i]) << settings[i];
    EXPECT_EQ(ReadFile(device + ".purge"), "") << "the purge flag";
    EXPECT_EQ(Entries(local), (Names{"Export", "P_ZILBA.MDB", "Upload"}));
    EXPECT_EQ(ReadFile(local + "\\P_ZILBA.MDB"), database);
    EXPECT_EQ(Entries(local + "\\Export"), Names{});
    const Names backups = Entries(local + "\\Upload");
    ASSERT_EQ(backups.size(), 1u);
    const std::string backup = local + "\\Upload\\" + *backups.begin();
    const Names sent = Entries(backup);
    ASSERT_EQ(sent.size(), 4u) << "three bitmaps and the export file";
    const std::string exportName = *sent.rbegin(), exported = ReadFile(backup + "\\" + exportName);
    EXPECT_EQ(std::regex_replace(exported, std::regex("DOWNLOAD\\+\\+\\+[^%]*%%"), "DOWNLOAD+++<now>%%"),
              ReadFile(kData + "win-export.txt"));
    EXPECT_EQ(ReadFile(served + "\\" + exportName), exported);
    for (const auto& [name, bytes] : bitmaps) {
        EXPECT_EQ(ReadFile(backup + "\\" + name), bytes) << name;
        EXPECT_EQ(ReadFile(served + "\\" + name), bytes) << name;
    }

    // Resend of the backed-up export file, in a new second so that it gets a backup of its own.
    // Beside it lie a hidden system file and a folder, which stay where they are.
    WriteFile(backup + "\\Thumbs.db", "");
    ::SetFileAttributesW(P(backup + "\\Thumbs.db").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    std::filesystem::create_directory(P(backup + "\\old"));
    ::Sleep(1000);
    std::filesystem::remove_all(P(served));
    program.Press(IDC_RESEND);
    HWND dialog = Await([&program] { return program.Find("#32770", "Select export file"); });
    ASSERT_TRUE(::SetDlgItemTextA(dialog, 0x47C, ToAnsi(backup + "\\" + exportName).c_str()));  // the name box, cmb13
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    EXPECT_EQ(program.Counters(), "1" "5" "3" "8" "0");
    Names both = Entries(local + "\\Upload");
    ASSERT_EQ(both.size(), 2u);
    both.erase(*backups.begin());
    EXPECT_EQ(Entries(local + "\\Upload\\" + *both.begin()), sent);
    for (const std::string& name : sent) EXPECT_EQ(ReadFile(served + "\\" + name), ReadFile(backup + "\\" + name)) << name;
    EXPECT_EQ(Blank(program.Log(), {{local, "<local>"}, {exportName, "<export>"}, {*backups.begin(), "<backup>"}}),
              ReadFile(kData + "win-transfer.log"));

    program.Press(IDC_EXIT);
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(::WaitForSingleObject(program.process, 10000), WAIT_OBJECT_0) << "Exit ends the program";
    EXPECT_TRUE(::GetExitCodeProcess(program.process, &code) && code == 0) << code;
    EXPECT_NE(::CreateMutexA(nullptr, FALSE, "ZCMutex"), nullptr);
    EXPECT_EQ(::GetLastError(), 0u) << "the single-instance mutex went with the program";
}

namespace {

// The text of a window (`id` 0) or of one of its controls, as long as the window answers within
// 2 s; nothing when it does not.
std::optional<std::string> TextIfAnswering(HWND window, int id = 0) {
    char text[1 << 16] = {};
    DWORD_PTR length = 0;
    HWND target = id ? ::GetDlgItem(window, id) : window;
    if (!::SendMessageTimeoutA(target, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                               2000, &length))
        return std::nullopt;
    return FromAnsi(text);
}

// A run of the program against a handheld that is not docked yet: the job rows and one bitmap
// in a fresh simulated handheld marked undocked, the stand-in server's address, the filter
// registered, and `limit` as ZC_CONNECT_LIMIT_MS (empty: the shipped 30 s).
struct UndockedRun {
    explicit UndockedRun(const std::string& limit) {
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + data.path.substr(7)).c_str());
        ::SetEnvironmentVariableA("ZC_CONNECT_LIMIT_MS", limit.empty() ? nullptr : limit.c_str());
        const std::string device = data / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
        WriteFile(device + "P_ZILBA.CDB", std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt"));
        WriteFile(device + "Signatures\\S_5001.bmp", "BM one");
        WriteFile(mark, "");
        wchar_t self[MAX_PATH];
        const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        const std::string bin = Narrow(path.substr(0, path.find_last_of(L'\\')));
        exe = bin + "\\ZilbaCompanion-e2e.exe";
        EXPECT_EQ(Spawn(_P_WAIT, bin + "\\zilba-register.exe"), 0);
        const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME", REG_SZ, server.c_str(), server.size() + 1);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME", REG_SZ, "Office", 7);
        char documents[MAX_PATH];
        EXPECT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
        std::filesystem::remove_all(P(FromAnsi(documents) + "\\Zilba Companion"));
        std::filesystem::remove_all(P(served));
    }
    void Dock() const { std::filesystem::remove(P(mark)); }

    TempDir data;
    const std::string mark = data / "zilba-companion\\undocked";
    const std::string served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    std::string exe;
};

// Presses Transfer, answers that the handheld is connected, and waits until the run waits for
// the connection, the windows answering all the while. False when a window stopped answering.
bool TransferUntilTheConnectionIsWaitedFor(Program& program) {
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    for (int i = 0; i < 600; ++i, ::Sleep(50)) {
        HWND log = program.Find(kLogClass, "Log");
        if (!log) continue;
        std::optional<std::string> lines = TextIfAnswering(log, IDC_LOG);
        if (!lines) return false;
        if (lines->find("Initializing remote connection") != std::string::npos) return TextIfAnswering(program.main).has_value();
    }
    return false;
}

void ExitAndAwaitTheEnd(Program& program) {
    program.Press(IDC_EXIT);
    EXPECT_EQ(::WaitForSingleObject(program.process, 10000), WAIT_OBJECT_0) << "Exit ends the program";
}

}  // namespace

// Transfer with nothing docked: the docking software would wait for a handheld for good. The run
// waits up to its limit (3 s here; the shipped program waits 30 s) with the main window answering
// all the while, then fails with the error box, and the program takes the next press.
TEST(WholeTransfer, NothingDockedTheWindowAnswersWhileTheRunWaitsThenTheRunFails) {
    UndockedRun run("3000");
    Program program(run.exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    ASSERT_TRUE(TransferUntilTheConnectionIsWaitedFor(program)) << "the program stopped answering";
    int answers = 0;
    for (int i = 0; i < 300 && !program.Find("#32770", "Zilba Companion"); ++i, ::Sleep(100)) {
        std::optional<std::string> title = TextIfAnswering(program.main), site = TextIfAnswering(program.main, IDC_SITE);
        ASSERT_TRUE(title && site) << "the main window stopped answering while the run waited";
        EXPECT_EQ(*title + " " + *site, "Zilba Companion Office");
        ++answers;
    }
    EXPECT_GT(answers, 0);
    EXPECT_EQ(program.Answer(IDOK), "Error: Failed to initialise RAPI");
    EXPECT_EQ(program.Counters(), "1" "0" "0" "0" "0");
    EXPECT_EQ(Blank(program.Log(), {}),
              "-----------------------------------------------\r\n"
              "Transfer start: <when>\r\n"
              "Initializing remote connection\r\n");
    // The attempt was ended with the run: the next Transfer waits afresh, and fails the same way.
    ASSERT_TRUE(TransferUntilTheConnectionIsWaitedFor(program)) << "the program stopped answering";
    EXPECT_EQ(program.Answer(IDOK), "Error: Failed to initialise RAPI");
    EXPECT_EQ(program.Counters(), "2" "0" "0" "0" "0");
    ExitAndAwaitTheEnd(program);
}

// The handheld docked while the run waits for it (with the shipped limit): the run goes on and
// completes, the handheld's files reaching the server.
TEST(WholeTransfer, DockedWhileTheRunWaitsTheRunGoesOnAndCompletes) {
    UndockedRun run("");
    Program program(run.exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    ASSERT_TRUE(TransferUntilTheConnectionIsWaitedFor(program)) << "the program stopped answering";
    run.Dock();
    EXPECT_EQ(program.Answer(IDYES), "Site name in the device is e2e. Do you want to use the site configured in the device?");
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    EXPECT_EQ(program.Counters(), "1" "5" "1" "2" "0");
    EXPECT_EQ(ReadFile(run.served + "\\S_5001.bmp"), "BM one");
    EXPECT_EQ(Entries(run.served).size(), 2u) << "the bitmap and the export file";
    ExitAndAwaitTheEnd(program);
}

}  // namespace zc::test
