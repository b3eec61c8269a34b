#include "platform/win32/Win32Rapi.h"

#include <algorithm>

#include "platform/Waiting.h"
#include "platform/win32/RapiExports.h"
#include "platform/win32/WindowMessages.h"

namespace zc::win32 {

namespace {

// What the calls answer while no library is there: a failed connection (the library's own
// "module not found" as an HRESULT), and the usual failure values.
constexpr int32_t kNoLibrary = static_cast<int32_t>(0x8007007Eu);
// No handheld came within the connection limit.
constexpr int32_t kTimedOut = static_cast<int32_t>(0x800705B4u);

template <class Fn>
bool Bind(::HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return fn != nullptr;
}

}  // namespace

struct Win32Rapi::Api {
    rapi::InitExFn initEx;
    rapi::UninitFn uninit;
    rapi::FindFirstFileFn findFirst;
    rapi::FindNextFileFn findNext;
    rapi::FindCloseFn findClose;
    rapi::CreateFileFn createFile;
    rapi::ReadFileFn readFile;
    rapi::CloseHandleFn closeHandle;
    rapi::GetLastErrorFn getLastError;
    // The attempt's record, which the library answers in until the connection is closed.
    rapi::InitRecord record{};
    bool initialised = false;  // an attempt was begun and not yet closed
};

Win32Rapi::~Win32Rapi() {
    // The library's own thread may still wait for a handheld: it ends before the library goes.
    if (api_ && api_->initialised) api_->uninit();
    delete api_;
    if (module_) ::FreeLibrary(static_cast<::HMODULE>(module_));
}

bool Win32Rapi::Load() {
    if (api_) return true;
    if (!module_) {
        UINT mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module_ = ::LoadLibraryA(library_.c_str());
        ::SetErrorMode(mode);
        if (!module_) return false;
    }
    auto module = static_cast<::HMODULE>(module_);
    Api api{};
    if (!Bind(module, "CeRapiInitEx", api.initEx) || !Bind(module, "CeRapiUninit", api.uninit) ||
        !Bind(module, "CeFindFirstFile", api.findFirst) || !Bind(module, "CeFindNextFile", api.findNext) ||
        !Bind(module, "CeFindClose", api.findClose) || !Bind(module, "CeCreateFile", api.createFile) ||
        !Bind(module, "CeReadFile", api.readFile) || !Bind(module, "CeCloseHandle", api.closeHandle) ||
        !Bind(module, "CeGetLastError", api.getLastError))
        return false;
    api_ = new Api(api);
    return true;
}

int32_t Win32Rapi::CeRapiInit() {
    if (!Load()) return kNoLibrary;
    // CeRapiInit itself would not return before a handheld is docked, and with nothing docked
    // the program would hang for good. The attempt goes on in the library while this thread
    // waits, with the windows painting, up to the limit. The run's CeRapiUninit ends an attempt
    // still going on.
    api_->record = {};
    api_->record.cbSize = sizeof api_->record;
    HRESULT hr = api_->initEx(&api_->record);
    if (FAILED(hr)) return hr;
    api_->initialised = true;
    Waiting(Wait::Long);
    // The windows keep painting and answering meanwhile.
    const auto limit = static_cast<DWORD>(std::clamp<long long>(connectLimit.count(), 0, 0x7FFFFFFF));
    if (!WaitRunningMessages(api_->record.heRapiInit, limit)) return kTimedOut;
    return FAILED(api_->record.hrRapiInit) ? api_->record.hrRapiInit : 0;
}

int32_t Win32Rapi::CeRapiUninit() {
    if (!api_) return kNoLibrary;
    api_->initialised = false;
    return api_->uninit();
}

HANDLE Win32Rapi::CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) {
    if (!api_) return kInvalidHandle;
    Waiting(Wait::Brief);  // each call that waits on the handheld lets the windows paint and answer
    ::HANDLE h = api_->findFirst(reinterpret_cast<LPCWSTR>(fileName), findData);
    return h == kWinInvalidHandle ? kInvalidHandle : reinterpret_cast<HANDLE>(h);
}

int32_t Win32Rapi::CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) {
    return api_ ? api_->findNext(reinterpret_cast<::HANDLE>(find), findData) : 0;
}

int32_t Win32Rapi::CeFindClose(HANDLE find) {
    return api_ ? api_->findClose(reinterpret_cast<::HANDLE>(find)) : 0;
}

HANDLE Win32Rapi::CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t share,
                               const void* security, uint32_t creation, uint32_t flags,
                               HANDLE templateFile) {
    if (!api_) return kInvalidHandle;
    Waiting(Wait::Brief);
    // The handheld takes no security record; the program's is all zero, which means none.
    (void)security;
    ::HANDLE h = api_->createFile(reinterpret_cast<LPCWSTR>(fileName), access, share, nullptr, creation,
                                  flags, reinterpret_cast<::HANDLE>(templateFile));
    return h == kWinInvalidHandle ? kInvalidHandle : reinterpret_cast<HANDLE>(h);
}

int32_t Win32Rapi::CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                              void* overlapped) {
    if (read) *read = 0;
    if (!api_) return 0;
    Waiting(Wait::Brief);
    DWORD n = 0;
    BOOL ok = api_->readFile(reinterpret_cast<::HANDLE>(file), buffer, toRead, &n,
                             static_cast<LPOVERLAPPED>(overlapped));
    if (read) *read = n;
    return ok;
}

int32_t Win32Rapi::CeCloseHandle(HANDLE handle) {
    return api_ ? api_->closeHandle(reinterpret_cast<::HANDLE>(handle)) : 0;
}

uint32_t Win32Rapi::CeGetLastError() { return api_ ? api_->getLastError() : ERROR_MOD_NOT_FOUND; }

}  // namespace zc::win32
