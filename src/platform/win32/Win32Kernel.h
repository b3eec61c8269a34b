#pragma once
// Kernel functions over kernel32: the named mutex, library loading and the local file
// functions of the signature copy, called with the program's own arguments.
#include <string>

#include "platform/Kernel.h"

namespace zc::win32 {

class Win32Kernel : public Kernel {
public:
    HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool initialOwner,
                        const std::string& name) override;
    uint32_t GetLastError() override;

    HMODULE LoadLibraryA(const std::string& path) override;
    void* GetProcAddress(HMODULE module, const std::string& name) override;
    bool FreeLibrary(HMODULE module) override;

    HANDLE CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                       const SECURITY_ATTRIBUTES* attributes, uint32_t creation, uint32_t flags,
                       HANDLE templateFile) override;
    bool WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count, uint32_t* written,
                   OVERLAPPED* overlapped) override;
    bool CloseHandle(HANDLE handle) override;

    std::string AppPath() override;
    std::string AppExeName() override;
    std::string ExpandEnvironmentStringsA(const std::string& text) override;

private:
    // The code of the last call of this layer that failed, as GetLastError gave it at once.
    uint32_t lastError_ = 0;
};

}  // namespace zc::win32
