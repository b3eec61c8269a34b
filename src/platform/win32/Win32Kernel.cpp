#include "platform/win32/Win32Kernel.h"

#include "platform/win32/WinApi.h"

#include <cstring>
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {

// The security record the program passes, as Windows takes it: a zero-filled one is the
// default security, not inheritable.
::SECURITY_ATTRIBUTES* Native(const SECURITY_ATTRIBUTES* attributes, ::SECURITY_ATTRIBUTES& out) {
    if (!attributes) return nullptr;
    out.nLength = sizeof out;
    out.lpSecurityDescriptor = reinterpret_cast<void*>(attributes->lpSecurityDescriptor);
    out.bInheritHandle = attributes->bInheritHandle != 0;
    return &out;
}

// The running program's full path, however long.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

HANDLE Win32Kernel::CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool initialOwner,
                                 const std::string& name) {
    ::SECURITY_ATTRIBUTES sa{};
    ::HANDLE h = ::CreateMutexA(Native(attributes, sa), initialOwner, name.empty() ? nullptr : name.c_str());
    // Taken at once: ERROR_ALREADY_EXISTS comes with a valid handle.
    lastError_ = ::GetLastError();
    return reinterpret_cast<HANDLE>(h);  // never closed: the system lets go of it at the end
}

uint32_t Win32Kernel::GetLastError() { return lastError_; }

HMODULE Win32Kernel::LoadLibraryA(const std::string& path) {
    // An empty name would load nothing useful; Windows refuses it too, with a dialog on some
    // versions, so it is refused here first.
    if (path.empty()) {
        lastError_ = ERROR_MOD_NOT_FOUND;
        return 0;
    }
    // No "cannot find the file" box from the system when the registered path is wrong.
    UINT mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ::HMODULE module = ::LoadLibraryA(path.c_str());
    lastError_ = module ? 0 : ::GetLastError();
    ::SetErrorMode(mode);
    return reinterpret_cast<HMODULE>(module);
}

void* Win32Kernel::GetProcAddress(HMODULE module, const std::string& name) {
    if (module == 0) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    FARPROC proc = ::GetProcAddress(reinterpret_cast<::HMODULE>(module), name.c_str());
    if (!proc) lastError_ = ::GetLastError();
    return reinterpret_cast<void*>(proc);
}

bool Win32Kernel::FreeLibrary(HMODULE module) {
    if (module == 0) return false;
    bool ok = ::FreeLibrary(reinterpret_cast<::HMODULE>(module));
    if (!ok) lastError_ = ::GetLastError();
    return ok;
}

HANDLE Win32Kernel::CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                                const SECURITY_ATTRIBUTES* attributes, uint32_t creation,
                                uint32_t flags, HANDLE templateFile) {
    ::SECURITY_ATTRIBUTES sa{};
    ::HANDLE h = ::CreateFileA(path.c_str(), access, share, Native(attributes, sa), creation, flags,
                               reinterpret_cast<::HANDLE>(templateFile));
    lastError_ = ::GetLastError();
    if (h == kWinInvalidHandle) return kInvalidHandle;
    return reinterpret_cast<HANDLE>(h);
}

bool Win32Kernel::WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count, uint32_t* written,
                            OVERLAPPED* overlapped) {
    // The program's position record carries only the offset; the system's record is filled
    // from it for each write.
    ::OVERLAPPED at{};
    if (overlapped) {
        at.Offset = overlapped->Offset;
        at.OffsetHigh = overlapped->OffsetHigh;
    }
    DWORD done = 0;
    bool ok = ::WriteFile(reinterpret_cast<::HANDLE>(file), buffer, count, &done,
                          overlapped ? &at : nullptr);
    if (!ok) lastError_ = ::GetLastError();
    if (written) *written = done;
    return ok;
}

bool Win32Kernel::CloseHandle(HANDLE handle) {
    bool ok = ::CloseHandle(reinterpret_cast<::HANDLE>(handle));
    if (!ok) lastError_ = ::GetLastError();
    return ok;
}

std::string Win32Kernel::AppPath() {
    std::wstring exe = ModulePath();
    size_t cut = exe.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::string() : Narrow(exe.substr(0, cut));
}

std::string Win32Kernel::ExpandEnvironmentStringsA(const std::string& text) {
    DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    std::string out(needed, '\0');
    if (needed == 0 || ::ExpandEnvironmentStringsA(text.c_str(), out.data(), needed) == 0) return text;
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::string Win32Kernel::AppExeName() {
    std::wstring exe = ModulePath();
    size_t cut = exe.find_last_of(L'\\');
    std::wstring name = cut == std::wstring::npos ? exe : exe.substr(cut + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return Narrow(name);
}

}  // namespace zc::win32
