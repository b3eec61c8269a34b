// The whole program under Wine, beside the stand-in rapi.dll and adofiltr.dll, against
// zilba-server on 127.0.0.1: driven from inside Wine through its windows as a user drives them,
// on the virtual display; and, where Wine cannot run the windows (a 32-bit program under Wine
// 8.0), its steps on the Windows platform layer in this test program, a form double answering.
// Wine has no Jet 4.0, so where a run reads the converted database, the database is a test double
// (TextDatabase.h) that takes the rows this test puts on the handheld. Everything else is the
// shipped program on the Windows functions.
#include "platform/win32/WinApi.h"
#include <process.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

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
// Linux paths as Wine's Z: drive shows them: the expected texts, and the stand-in server's state.
const std::string kData = "Z:" ZC_DATA_DIR "\\", kState = "Z:" ZC_SERVER_STATE "\\";

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

// Where the docking software, a 64-bit program on 64-bit Windows, looks for the program.
const char kAutoStartKey[] = "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect";
std::string AutoStart() { return Setting(kWinLocalMachine, kAutoStartKey, "Zilba Companion", KEY_WOW64_64KEY); }

// The folder of this test program, beside the programs and the stand-in DLLs.
std::string Bin() {
    wchar_t self[MAX_PATH];
    const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    return Narrow(path.substr(0, path.find_last_of(L'\\')));
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
        : process(reinterpret_cast<::HANDLE>(Spawn(_P_NOWAIT, exe))),
          main(Await([this] { return Find(kMainClass, "Zilba Companion"); })) {}
    ~Program() {
        if (process != kWinInvalidHandle && ::TerminateProcess(process, 1))  // never this test itself
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

    ::HANDLE process;
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
        exe = Bin() + "\\ZilbaCompanion-e2e.exe";
        EXPECT_EQ(Spawn(_P_WAIT, Bin() + "\\zilba-register.exe"), 0);
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
        const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
        ::RegDeleteTreeA(kWinCurrentUser, kSettingsKey);
        for (const auto& [name, value] : {std::pair{"SERVER_NAME", server}, {"SITE_NAME", site}, {"PC_LOCATION", local}})
            ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, name, REG_SZ, ToAnsi(value).c_str(), ToAnsi(value).size() + 1);
    }

    TempDir handheld;
    const std::map<std::string, std::string> bitmaps{
        {"S_5001.bmp", "BM\x01\x02"}, {"S_5002.bmp", "BM" + std::string(1022, '\xFF')}, {"S_5003.bmp", ""}};
    std::string flag, exe;  // the purge flag's file, the program
};

// A whole transfer and resend: the world it starts from, and what it must leave on the PC, the
// handheld and the server, whichever way the program is driven.
struct WholeRun {
    // A simulated handheld in a fresh folder, served by the stand-in DLLs (to the program too)
    // while XDG_DATA_HOME points there: five job rows (tests/data/win-handheld.txt, as the test
    // double reads them, behind the 16 bytes the stand-in filter checks) and three bitmaps: every
    // byte value, exactly one read of 1024 bytes, and an empty one. The filter registered, the
    // user's regional formats (every date the program writes follows them), the stand-in server
    // and a site of the user's own, in the ANSI code page as Windows keeps settings; the local
    // directory stays the default.
    void Prepare() {
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + handheld.path.substr(7)).c_str());
        WriteFile(device + "P_ZILBA.CDB", database);
        for (size_t i = 2; i < 3000; ++i) bitmaps["S_5001.bmp"] += static_cast<char>(i * 7);
        bitmaps["S_5002.bmp"].resize(1024, '\xFF');
        for (const auto& [name, bytes] : bitmaps) WriteFile(device + "Signatures\\" + name, bytes);
        ASSERT_EQ(Spawn(_P_WAIT, Bin() + "\\zilba-register.exe"), 0);
        ::HKEY docking;  // the program writes its entry anew at every start
        if (::RegOpenKeyExA(kWinLocalMachine, kAutoStartKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &docking) == ERROR_SUCCESS) {
            ::RegDeleteValueA(docking, "Zilba Companion");
            ::RegCloseKey(docking);
        }
        ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
        ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
        const std::string site = ToAnsi("Büro");
        ::RegDeleteTreeA(kWinCurrentUser, kSettingsKey);
        ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, "SERVER_NAME", REG_SZ, server.c_str(), server.size() + 1);
        ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, "SITE_NAME", REG_SZ, site.c_str(), site.size() + 1);
        char documents[MAX_PATH];
        ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
        local = FromAnsi(documents) + "\\Zilba Companion";
        fields[1] = local;
        std::filesystem::remove_all(P(local));
        std::filesystem::remove_all(P(served));
    }

    // After the Transfer: the settings as the fields stood when it began, the purge flag, the
    // local folders, the desktop database, one backup, the export file, and every file sent
    // byte for byte, kept and on the server.
    void CheckTransfer() {
        for (size_t i = 0; i < settings.size(); ++i)
            EXPECT_EQ(Setting(kWinCurrentUser, kSettingsKey, settings[i]), fields[i]) << settings[i];
        EXPECT_EQ(ReadFile(device + ".purge"), "") << "the purge flag";
        EXPECT_EQ(Entries(local), (Names{"Export", "P_ZILBA.MDB", "Upload"}));
        EXPECT_EQ(ReadFile(local + "\\P_ZILBA.MDB"), database);
        EXPECT_EQ(Entries(local + "\\Export"), Names{});
        const Names backups = Entries(local + "\\Upload");
        ASSERT_EQ(backups.size(), 1u);
        backup = *backups.begin();
        sent = Entries(local + "\\Upload\\" + backup);
        ASSERT_EQ(sent.size(), 4u) << "three bitmaps and the export file";
        exportName = *sent.rbegin();
        const std::string exported = ReadFile(Backup(exportName));
        EXPECT_EQ(std::regex_replace(exported, std::regex("DOWNLOAD\\+\\+\\+[^%]*%%"), "DOWNLOAD+++<now>%%"),
                  ReadFile(kData + "win-export.txt"));
        EXPECT_EQ(ReadFile(served + "\\" + exportName), exported);
        for (const auto& [name, bytes] : bitmaps) {
            EXPECT_EQ(ReadFile(Backup(name)), bytes) << name;
            EXPECT_EQ(ReadFile(served + "\\" + name), bytes) << name;
        }
    }

    // The Resend is of the backed-up export file, in a new second so that it gets a backup of its
    // own. Beside the file lie a hidden system file and a folder, which stay where they are.
    // Gives the file to choose.
    std::string PrepareResend() {
        WriteFile(Backup("Thumbs.db"), "");
        ::SetFileAttributesW(P(Backup("Thumbs.db")).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        std::filesystem::create_directory(P(Backup("old")));
        ::Sleep(1000);
        std::filesystem::remove_all(P(served));
        return Backup(exportName);
    }

    // After the Resend: a second backup of the same files, all of them on the server again, and
    // the log of both runs.
    void CheckResend(const std::string& log) {
        Names both = Entries(local + "\\Upload");
        ASSERT_EQ(both.size(), 2u);
        both.erase(backup);
        EXPECT_EQ(Entries(local + "\\Upload\\" + *both.begin()), sent);
        for (const std::string& name : sent) EXPECT_EQ(ReadFile(served + "\\" + name), ReadFile(Backup(name))) << name;
        EXPECT_EQ(Blank(log, {{local, "<local>"}, {exportName, "<export>"}, {backup, "<backup>"}}),
                  ReadFile(kData + "win-transfer.log"));
    }

    std::string Backup(const std::string& name) const { return local + "\\Upload\\" + backup + "\\" + name; }

    TempDir handheld;
    const std::string device = handheld / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
    const std::string database = std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt");
    std::map<std::string, std::string> bitmaps{{"S_5001.bmp", "BM"}, {"S_5002.bmp", "BM"}, {"S_5003.bmp", ""}};
    const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
    const std::string served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    const std::vector<std::string> settings{"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"};
    std::vector<std::string> fields{"\\My Documents\\Pocket Zilba", "", server, "Büro"};
    std::string local, backup, exportName;
    Names sent;
};

}  // namespace

// A spreadsheet the user keeps open in the local directory (Excel shares a workbook with nobody)
// is no file of the run's: the transfer neither opens nor waits for it.
TEST(WholeTransfer, AFileOfTheUsersHeldOpenWithoutSharing) {
    TempDir home;
    const std::string local = home / "Zilba Companion", served = kState + "data\\zilba\\e2e\\p_zilba\\import";
    Docked docked(local, "e2e");
    WriteFile(local + "\\budget.xls", "the user's sums");
    ::HANDLE held = ::CreateFileW(P(local + "\\budget.xls").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, kWinInvalidHandle);
    EXPECT_EQ(::CreateFileW(P(local + "\\budget.xls").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              kWinInvalidHandle) << "held without sharing";
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
    WholeRun run;
    ASSERT_NO_FATAL_FAILURE(run.Prepare());
    const std::string exe = Bin() + "\\ZilbaCompanion-e2e.exe";
    Program program(exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    EXPECT_EQ(Spawn(_P_WAIT, exe), 0) << "a second start ends at once, without a window";
    EXPECT_EQ(AutoStart(), exe);
    for (int id : {IDC_DEVICEDIR, IDC_LOCALDIR, IDC_SERVER, IDC_SITE})
        EXPECT_EQ(Text(program.main, id), run.fields[id - IDC_DEVICEDIR]);

    // Transfer: Yes to both questions, so the handheld's site is taken.
    program.Press(IDC_TRANSFER);
    EXPECT_EQ(program.Answer(IDYES), "Have you connected the device to the PC?");
    EXPECT_EQ(program.Answer(IDYES), "Site name in the device is e2e. Do you want to use the site configured in the device?");
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    EXPECT_EQ(program.Counters(), "1" "5" "3" "4" "0");
    ASSERT_NO_FATAL_FAILURE(run.CheckTransfer());

    const std::string chosen = run.PrepareResend();
    program.Press(IDC_RESEND);
    HWND dialog = Await([&program] { return program.Find("#32770", "Select export file"); });
    ASSERT_TRUE(::SetDlgItemTextA(dialog, 0x47C, ToAnsi(chosen).c_str()));  // the name box, cmb13
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Answer(IDOK), "Finished. For more information please see the log.");
    EXPECT_EQ(program.Counters(), "1" "5" "3" "8" "0");
    run.CheckResend(program.Log());

    program.Press(IDC_EXIT);
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(::WaitForSingleObject(program.process, 10000), WAIT_OBJECT_0) << "Exit ends the program";
    EXPECT_TRUE(::GetExitCodeProcess(program.process, &code) && code == 0) << code;
    EXPECT_NE(::CreateMutexA(nullptr, FALSE, "ZCMutex"), nullptr);
    EXPECT_EQ(::GetLastError(), 0u) << "the single-instance mutex went with the program";
}

// The same transfer and resend without the windows, which Wine 8.0 cannot run for a 32-bit
// program: start-up and the two runs as the program makes them, on the Windows platform layer in
// this test program (32-bit in the i686 build, under WoW64), a form double answering the boxes
// and the file dialog. The remote API, the filter library, the request object, the registry and
// the files are called as the shipped program calls them.
TEST(WholeTransfer, TransferThenResendWithoutTheWindows) {
    WholeRun run;
    ASSERT_NO_FATAL_FAILURE(run.Prepare());
    ComApartment apartment;
    Win32Platform os;
    TextDatabase database;
    Platform platform{os.registry, os.kernel, os.shell, os.rapi, os.files, database, os.http, os.clock};
    FakeForm form;
    MainForm main{form, platform};
    auto counters = [&form] {
        std::string all;
        for (Field f : {Field::Sessions, Field::Events, Field::Signs, Field::Success, Field::Failure}) all += form.fields[f];
        return all;
    };
    ASSERT_EQ(Form_Load(main, ProgramSteps()), StartOutcome::Run) << ::testing::PrintToString(form.messages);
    wchar_t self[MAX_PATH];
    EXPECT_EQ(AutoStart(), Narrow(std::wstring(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH))));
    for (Field f : {Field::DeviceDir, Field::LocalDir, Field::Server, Field::Site})
        EXPECT_EQ(form.fields[f], run.fields[static_cast<size_t>(f)]);

    cmdTransfer_Click(main);
    EXPECT_EQ(form.questions, (std::vector<std::string>{"Have you connected the device to the PC?",
                                                        "Site name in the device is e2e. Do you want to use the site "
                                                        "configured in the device?"}));
    EXPECT_EQ(form.messages, std::vector<std::string>{"Finished. For more information please see the log."});
    EXPECT_EQ(counters(), "1" "5" "3" "4" "0");
    ASSERT_NO_FATAL_FAILURE(run.CheckTransfer());

    form.chosenFiles.push_back(run.PrepareResend());
    cmdResend_Click(main);
    EXPECT_EQ(form.messages.size(), 2u);
    EXPECT_EQ(form.messages.back(), "Finished. For more information please see the log.");
    EXPECT_EQ(counters(), "1" "5" "3" "8" "0");
    // The log as its window holds it: every line ends with CR LF, a break inside a line too.
    std::string log;
    for (const std::string& line : form.log) log += std::regex_replace(line, std::regex("\r\n|\r|\n"), "\r\n") + "\r\n";
    run.CheckResend(log);
    Form_Unload(main, ProgramSteps());
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

// A run of `program` against a handheld that is not docked yet: the job rows and one bitmap in a
// fresh simulated handheld marked undocked, the stand-in server's address, the filter registered,
// the user's regional formats.
struct UndockedRun {
    explicit UndockedRun(const std::string& program) : exe(Bin() + "\\" + program) {
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd.MM.yyyy"));
        EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH:mm:ss"));
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + data.path.substr(7)).c_str());
        const std::string device = data / "zilba-companion\\handheld\\My Documents\\Pocket Zilba\\";
        WriteFile(device + "P_ZILBA.CDB", std::string("SQLite format 3\0", 16) + ReadFile(kData + "win-handheld.txt"));
        WriteFile(device + "Signatures\\S_5001.bmp", "BM one");
        WriteFile(mark, "");
        EXPECT_EQ(Spawn(_P_WAIT, Bin() + "\\zilba-register.exe"), 0);
        const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile(kState + "port")));
        ::RegDeleteTreeA(kWinCurrentUser, kSettingsKey);
        ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, "SERVER_NAME", REG_SZ, server.c_str(), server.size() + 1);
        ::RegSetKeyValueA(kWinCurrentUser, kSettingsKey, "SITE_NAME", REG_SZ, "Office", 7);
        char documents[MAX_PATH];
        EXPECT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
        std::filesystem::remove_all(P(FromAnsi(documents) + "\\Zilba Companion"));
        std::filesystem::remove_all(P(served));
    }
    void Dock() const { std::filesystem::remove(P(mark)); }

    const std::string exe;
    TempDir data;
    const std::string mark = data / "zilba-companion\\undocked";
    const std::string served = kState + "data\\zilba\\e2e\\p_zilba\\import";
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
// waits up to its limit with the main window answering all the while, then fails with the error
// box, and the program takes the next press. No database is read: the program is the shipped
// one, with its 30 s.
TEST(WholeTransfer, NothingDockedTheWindowAnswersWhileTheRunWaitsThenTheRunFails) {
    UndockedRun run("ZilbaCompanion.exe");
    Program program(run.exe);
    ASSERT_NE(program.main, HWND{}) << "the main window never showed (on the display windows.sh starts)";
    ASSERT_TRUE(TransferUntilTheConnectionIsWaitedFor(program)) << "the program stopped answering";
    int answers = 0;
    for (int i = 0; i < 450 && !program.Find("#32770", "Zilba Companion"); ++i, ::Sleep(100)) {
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
    UndockedRun run("ZilbaCompanion-e2e.exe");
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
