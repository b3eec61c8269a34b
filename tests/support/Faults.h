#pragma once
// Platform wrappers for tests: each forwards to a real layer, records the calls, and fails the
// calls a FaultPlan names, the way that layer fails (a failure value, -1, or a raised error).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zc::test {

class FaultPlan {
public:
    // Fails the n-th call (1-based) of `op`; n = 0 fails every call of it.
    void FailCall(const std::string& op, int n = 0) { rules_[op].push_back(n); }
    // Fails the n-th call counted over every operation (1-based).
    void FailGlobalCall(int n) { global_ = n; }
    // Counts the call and says whether it fails.
    bool Hit(const std::string& op);

    int Count(const std::string& op) const;
    int Total() const { return total_; }
    std::vector<std::string> calls;  // every call in order, with its main argument
    void Record(const std::string& entry) { calls.push_back(entry); }

private:
    std::map<std::string, std::vector<int>> rules_;
    std::map<std::string, int> counts_;
    int global_ = -1;
    int total_ = 0;
};

class FaultyRegistry : public Registry {
public:
    FaultyRegistry(Registry& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    LONG RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t options,
                       uint32_t samDesired, HKEY* result) override;
    LONG RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type, uint8_t* data,
                          uint32_t* cbData) override;
    LONG RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t reserved,
                         const char* keyClass, uint32_t options, uint32_t samDesired,
                         const void* securityAttributes, HKEY* result,
                         uint32_t* disposition) override;
    LONG RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t reserved, uint32_t type,
                        const uint8_t* data, uint32_t cbData) override;
    LONG RegCloseKey(HKEY hKey) override;
    LONG RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName, uint32_t* type,
                       std::vector<uint8_t>* data) override;
    int openKeys = 0;  // opened or created and not yet closed

private:
    Registry& real_;
    FaultPlan& plan_;
};

class FaultyKernel : public Kernel {
public:
    FaultyKernel(Kernel& real, FaultPlan& plan) : real_(real), plan_(plan) {}
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
    std::string AppPath() override { return real_.AppPath(); }
    std::string AppExeName() override { return real_.AppExeName(); }
    int openFiles = 0;

private:
    Kernel& real_;
    FaultPlan& plan_;
    bool mutexFailed_ = false;
};

class FaultyRapi : public Rapi {
public:
    FaultyRapi(Rapi& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    int32_t CeRapiInit() override;
    int32_t CeRapiUninit() override;
    HANDLE CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) override;
    int32_t CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) override;
    int32_t CeFindClose(HANDLE find) override;
    HANDLE CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t share,
                        const void* security, uint32_t creation, uint32_t flags,
                        HANDLE templateFile) override;
    int32_t CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                       void* overlapped) override;
    int32_t CeCloseHandle(HANDLE handle) override;
    int openHandles = 0;  // searches and files not yet closed

private:
    Rapi& real_;
    FaultPlan& plan_;
};

class FaultyFileSystem : public FileSystem {
public:
    FaultyFileSystem(FileSystem& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    bool Exists(const std::string& path) override;
    void MkDir(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder,
                                       const std::string& pattern) override;
    void FileCopy(const std::string& source, const std::string& destination) override;
    void Kill(const std::string& path) override;
    std::unique_ptr<TextFile> CreateText(const std::string& path) override;
    std::vector<uint8_t> ReadBinary(const std::string& path) override;

private:
    void Check(const std::string& op, const std::string& path);
    FileSystem& real_;
    FaultPlan& plan_;
};

class FaultyShellFolder : public ShellFolder {
public:
    FaultyShellFolder(ShellFolder& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    int32_t SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token, uint32_t flags,
                             char* path) override;
    std::string FallbackLocalDir() override { return real_.FallbackLocalDir(); }

private:
    ShellFolder& real_;
    FaultPlan& plan_;
};

}  // namespace zc::test
