#pragma once
// Kernel functions: the named mutex, library loading, and the local file functions of the
// signature copy.
#include <cstdint>
#include <string>

namespace zc {

using HANDLE = intptr_t;
using HMODULE = uintptr_t;
constexpr HANDLE kInvalidHandle = -1;
constexpr uint32_t kErrorAlreadyExists = 183;

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;

struct SECURITY_ATTRIBUTES {
    uint32_t nLength = 0;
    uintptr_t lpSecurityDescriptor = 0;
    int32_t bInheritHandle = 0;
};

struct OVERLAPPED {
    uintptr_t Internal = 0;
    uintptr_t InternalHigh = 0;
    uint32_t Offset = 0;
    uint32_t OffsetHigh = 0;
    HANDLE hEvent = 0;
};

class Kernel {
public:
    virtual ~Kernel() = default;
    // 0 when the mutex cannot be created; GetLastError() then tells ERROR_ALREADY_EXISTS when
    // another process holds it. The mutex lives until the process ends.
    virtual HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool initialOwner,
                                const std::string& name) = 0;
    virtual uint32_t GetLastError() = 0;

    virtual HMODULE LoadLibraryA(const std::string& path) = 0;  // 0 on failure
    virtual void* GetProcAddress(HMODULE module, const std::string& name) = 0;  // nullptr on failure
    virtual bool FreeLibrary(HMODULE module) = 0;
    // The text with each %NAME% replaced by that environment variable's value (a name that is
    // not set stays as written), as a library path registered with "%ProgramFiles%" needs.
    virtual std::string ExpandEnvironmentStringsA(const std::string& text) = 0;

    virtual HANDLE CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                               const SECURITY_ATTRIBUTES* attributes, uint32_t creation,
                               uint32_t flags, HANDLE templateFile) = 0;  // -1 on failure
    // Writes at the offset of `overlapped`; true on success.
    virtual bool WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count, uint32_t* written,
                           OVERLAPPED* overlapped) = 0;
    virtual bool CloseHandle(HANDLE handle) = 0;

    // The folder the running program lies in, and its file name without extension.
    virtual std::string AppPath() = 0;
    virtual std::string AppExeName() = 0;
};

}  // namespace zc
