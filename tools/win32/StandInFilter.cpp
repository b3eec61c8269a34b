// adofiltr.dll for tests under Wine: DEVICETODESKTOP copies the handheld's database, read
// through the remote API connection the program holds open, into the desktop database file.
// Wine has no Jet, so the copy is the handheld's file byte for byte; it replaces an existing
// desktop file only when asked to, and never leaves a half-written one.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/AdoFilter.h"

namespace {

using namespace zc;

using CreateFileFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using ReadFileFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);
using GetLastErrorFn = DWORD(WINAPI*)();

std::wstring FromAnsi(const char* text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    return out;
}

class Library {
public:
    Library() : module_(::LoadLibraryW(L"rapi.dll")) {}
    ~Library() {
        if (module_) ::FreeLibrary(module_);
    }
    template <class Fn>
    Fn Get(const char* name) const {
        return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_, name))) : nullptr;
    }

private:
    HMODULE module_;
};

LONG Convert(const char* desktopPath, const char* tableList, bool overwrite, const char* handheldPath) {
    if (!desktopPath || !handheldPath || !desktopPath[0]) return kFilterBadArgument;
    if (tableList && tableList[0]) return kFilterTableListRefused;  // the program converts every table
    const std::wstring desktop = FromAnsi(desktopPath);
    if (!overwrite && ::GetFileAttributesW(desktop.c_str()) != INVALID_FILE_ATTRIBUTES) return kFilterDesktopExists;

    Library rapi;
    auto createFile = rapi.Get<CreateFileFn>("CeCreateFile");
    auto readFile = rapi.Get<ReadFileFn>("CeReadFile");
    auto closeHandle = rapi.Get<CloseHandleFn>("CeCloseHandle");
    auto lastError = rapi.Get<GetLastErrorFn>("CeGetLastError");
    if (!createFile || !readFile || !closeHandle || !lastError) return kFilterNotDocked;
    HANDLE source = createFile(FromAnsi(handheldPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return lastError() == 1167 ? kFilterNotDocked : kFilterNoHandheldFile;

    // Written beside the destination under a name of its own, then put in place in one move.
    const std::wstring temp = desktop + L".zc-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE target = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        closeHandle(source);
        return kFilterWriteFailed;
    }
    LONG result = kFilterOk;
    char buffer[1024];
    DWORD total = 0;
    for (;;) {
        DWORD n = 0;
        if (!readFile(source, buffer, sizeof buffer, &n, nullptr)) {
            result = kFilterNoHandheldFile;
            break;
        }
        if (n == 0) break;
        // The handheld writes only real databases; an empty or foreign file is refused.
        if (total == 0 && (n < 16 || std::memcmp(buffer, "SQLite format 3", 16) != 0)) {
            result = kFilterNotADatabase;
            break;
        }
        DWORD written = 0;
        if (!::WriteFile(target, buffer, n, &written, nullptr) || written != n) {
            result = kFilterWriteFailed;
            break;
        }
        total += n;
    }
    if (result == kFilterOk && total == 0) result = kFilterNotADatabase;
    closeHandle(source);
    if (result == kFilterOk && !::FlushFileBuffers(target)) result = kFilterWriteFailed;
    ::CloseHandle(target);
    if (result == kFilterOk &&
        !::MoveFileExW(temp.c_str(), desktop.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0))
        result = ::GetLastError() == ERROR_ALREADY_EXISTS ? kFilterDesktopExists : kFilterWriteFailed;
    if (result != kFilterOk) ::DeleteFileW(temp.c_str());
    return result;
}

}  // namespace

// desktop path, table list, synchronise, overwrite, handheld path. The copy has no link back to
// the handheld, so synchronise changes nothing. 0 = success.
extern "C" __declspec(dllexport) LONG WINAPI DEVICETODESKTOP(const char* desktopPath, const char* tableList,
                                                              LONG synchronise, LONG overwrite,
                                                              const char* handheldPath) {
    (void)synchronise;
    return FilterResultOf([&] { return Convert(desktopPath, tableList, overwrite != 0, handheldPath); });
}
