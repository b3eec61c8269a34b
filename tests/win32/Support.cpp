#include "Support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/WinText.h"

namespace zc::test {

namespace fs = std::filesystem;
using win32::Narrow;
using win32::Widen;

static fs::path P(const std::string& utf8) { return fs::path(Widen(utf8)); }

TempDir::TempDir() {
    static std::atomic<int> count{0};
    path_ = "Z:\\tmp\\zc-wintest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
    std::error_code ec;
    fs::remove_all(P(path_), ec);
    fs::create_directories(P(path_));
}

TempDir::~TempDir() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(P(path_), ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only ones too
    fs::remove_all(P(path_), ec);
}

Handheld::Handheld() {
    ::SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen("/tmp/" + dir.path().substr(7)).c_str());
    fs::create_directories(P(Device("My Documents\\Pocket Zilba")));
}

Handheld::~Handheld() { ::SetEnvironmentVariableW(L"XDG_DATA_HOME", nullptr); }

void Handheld::File(const std::string& path, const std::string& bytes) const {
    fs::create_directories(P(Device(path)).parent_path());
    WriteFile(Device(path), bytes);
}

void Handheld::Dock(bool docked) const {
    if (docked) fs::remove(P(dir / "zilba-companion\\undocked"));
    else WriteFile(dir / "zilba-companion\\undocked", "");
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(P(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(P(path), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsFile(const std::string& path) { return fs::is_regular_file(P(path)); }

Error ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return Error(0, "");
}

std::string BinFolder() {
    wchar_t exe[MAX_PATH];
    std::wstring path(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
    return Narrow(path.substr(0, path.find_last_of(L'\\')));
}

Process::Process(const std::string& commandLine) {
    std::wstring command = Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << commandLine;
        return;
    }
    ::CloseHandle(process.hThread);
    handle_ = process.hProcess;
    id_ = process.dwProcessId;
}

Process::~Process() {
    if (!handle_) return;
    if (Wait(0) == STILL_ACTIVE) ::TerminateProcess(handle_, 1);
    ::CloseHandle(handle_);
}

unsigned long Process::Wait(unsigned long milliseconds) {
    DWORD code = STILL_ACTIVE;
    if (handle_ && ::WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0) ::GetExitCodeProcess(handle_, &code);
    return code;
}

// Linux paths as Wine's Z: drive shows them; Windows takes "/" as well as "\\".
std::string ServerState(const std::string& name) { return "Z:" ZC_SERVER_STATE "\\" + name; }
std::string DataFile(const std::string& name) { return "Z:" ZC_DATA_DIR "\\" + name; }
std::string Server() { return "127.0.0.1:" + std::to_string(std::stoi(ReadFile(ServerState("port")))); }

}  // namespace zc::test
