#include "support/Faults.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Text.h"

namespace zc::test {

bool FaultPlan::Hit(const std::string& op) {
    int n = ++counts_[op];
    ++total_;
    if (total_ == global_) return true;
    auto it = rules_.find(op);
    if (it == rules_.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(),
                       [n](int rule) { return rule == 0 || rule == n; });
}

int FaultPlan::Count(const std::string& op) const {
    auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
}

// ---- registry

LONG FaultyRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t options,
                                   uint32_t samDesired, HKEY* result) {
    plan_.Record("RegOpenKeyExA " + subKey);
    if (plan_.Hit("RegOpenKeyExA")) return ERROR_ACCESS_DENIED;
    LONG r = real_.RegOpenKeyExA(hKey, subKey, options, samDesired, result);
    if (r == ERROR_SUCCESS) ++openKeys;
    return r;
}

LONG FaultyRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type,
                                      uint8_t* data, uint32_t* cbData) {
    plan_.Record("RegQueryValueExA " + valueName);
    if (plan_.Hit("RegQueryValueExA")) return ERROR_FILE_NOT_FOUND;
    return real_.RegQueryValueExA(hKey, valueName, type, data, cbData);
}

LONG FaultyRegistry::RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t reserved,
                                     const char* keyClass, uint32_t options, uint32_t samDesired,
                                     const void* securityAttributes, HKEY* result,
                                     uint32_t* disposition) {
    plan_.Record("RegCreateKeyExA " + subKey);
    if (plan_.Hit("RegCreateKeyExA")) return ERROR_ACCESS_DENIED;
    LONG r = real_.RegCreateKeyExA(hKey, subKey, reserved, keyClass, options, samDesired,
                                   securityAttributes, result, disposition);
    if (r == ERROR_SUCCESS) ++openKeys;
    return r;
}

LONG FaultyRegistry::RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t reserved,
                                    uint32_t type, const uint8_t* data, uint32_t cbData) {
    plan_.Record("RegSetValueExA " + valueName);
    if (plan_.Hit("RegSetValueExA")) return ERROR_ACCESS_DENIED;
    return real_.RegSetValueExA(hKey, valueName, reserved, type, data, cbData);
}

LONG FaultyRegistry::RegCloseKey(HKEY hKey) {
    plan_.Record("RegCloseKey");
    --openKeys;
    return real_.RegCloseKey(hKey);
}

LONG FaultyRegistry::RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName,
                                   uint32_t* type, std::vector<uint8_t>* data) {
    if (plan_.Hit("RegEnumValueA")) return ERROR_ACCESS_DENIED;
    return real_.RegEnumValueA(hKey, index, valueName, type, data);
}

// ---- kernel

HANDLE FaultyKernel::CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool initialOwner,
                                  const std::string& name) {
    plan_.Record("CreateMutexA " + name);
    mutexFailed_ = plan_.Hit("CreateMutexA");
    if (mutexFailed_) return 0;
    return real_.CreateMutexA(attributes, initialOwner, name);
}

uint32_t FaultyKernel::GetLastError() { return mutexFailed_ ? 8 : real_.GetLastError(); }

HMODULE FaultyKernel::LoadLibraryA(const std::string& path) {
    plan_.Record("LoadLibraryA " + path);
    if (plan_.Hit("LoadLibraryA")) return 0;
    return real_.LoadLibraryA(path);
}

void* FaultyKernel::GetProcAddress(HMODULE module, const std::string& name) {
    plan_.Record("GetProcAddress " + name);
    if (plan_.Hit("GetProcAddress")) return nullptr;
    return real_.GetProcAddress(module, name);
}

bool FaultyKernel::FreeLibrary(HMODULE module) {
    plan_.Record("FreeLibrary");
    return real_.FreeLibrary(module);
}

HANDLE FaultyKernel::CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                                 const SECURITY_ATTRIBUTES* attributes, uint32_t creation,
                                 uint32_t flags, HANDLE templateFile) {
    plan_.Record("CreateFileA " + path);
    if (plan_.Hit("CreateFileA")) return INVALID_HANDLE_VALUE;
    HANDLE h = real_.CreateFileA(path, access, share, attributes, creation, flags, templateFile);
    if (h != INVALID_HANDLE_VALUE) ++openFiles;
    return h;
}

bool FaultyKernel::WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count,
                             uint32_t* written, OVERLAPPED* overlapped) {
    plan_.Record("WriteFile " + std::to_string(overlapped ? overlapped->Offset : 0) + " " +
                 std::to_string(count));
    if (plan_.Hit("WriteFile")) {
        if (written) *written = 0;
        return false;
    }
    return real_.WriteFile(file, buffer, count, written, overlapped);
}

bool FaultyKernel::CloseHandle(HANDLE handle) {
    plan_.Record("CloseHandle");
    --openFiles;
    return real_.CloseHandle(handle);
}

// ---- remote API

int32_t FaultyRapi::CeRapiInit() {
    plan_.Record("CeRapiInit");
    if (plan_.Hit("CeRapiInit")) return static_cast<int32_t>(0x80004005u);
    return real_.CeRapiInit();
}

int32_t FaultyRapi::CeRapiUninit() {
    plan_.Record("CeRapiUninit");
    return real_.CeRapiUninit();
}

HANDLE FaultyRapi::CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) {
    plan_.Record("CeFindFirstFile " + Utf16ToUtf8(fileName));
    if (plan_.Hit("CeFindFirstFile")) return INVALID_HANDLE_VALUE;
    HANDLE h = real_.CeFindFirstFile(fileName, findData);
    if (h != INVALID_HANDLE_VALUE) ++openHandles;
    return h;
}

int32_t FaultyRapi::CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) {
    plan_.Record("CeFindNextFile");
    if (plan_.Hit("CeFindNextFile")) return 0;
    return real_.CeFindNextFile(find, findData);
}

int32_t FaultyRapi::CeFindClose(HANDLE find) {
    plan_.Record("CeFindClose");
    --openHandles;
    return real_.CeFindClose(find);
}

HANDLE FaultyRapi::CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t share,
                                const void* security, uint32_t creation, uint32_t flags,
                                HANDLE templateFile) {
    plan_.Record("CeCreateFile " + Utf16ToUtf8(fileName));
    if (plan_.Hit("CeCreateFile")) return INVALID_HANDLE_VALUE;
    HANDLE h = real_.CeCreateFile(fileName, access, share, security, creation, flags, templateFile);
    if (h != INVALID_HANDLE_VALUE) ++openHandles;
    return h;
}

int32_t FaultyRapi::CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                               void* overlapped) {
    if (plan_.Hit("CeReadFile")) {
        plan_.Record("CeReadFile failed");
        if (read) *read = 0;
        return 0;
    }
    int32_t r = real_.CeReadFile(file, buffer, toRead, read, overlapped);
    plan_.Record("CeReadFile " + std::to_string(toRead) + " -> " + std::to_string(read ? *read : 0));
    return r;
}

int32_t FaultyRapi::CeCloseHandle(HANDLE handle) {
    plan_.Record("CeCloseHandle");
    --openHandles;
    return real_.CeCloseHandle(handle);
}

// ---- file system

void FaultyFileSystem::Check(const std::string& op, const std::string& path) {
    plan_.Record(op + " " + path);
    if (plan_.Hit(op)) throw Error(75, "Path/File access error (injected): " + path);
}

bool FaultyFileSystem::Exists(const std::string& path) {
    plan_.Record("Exists " + path);
    return real_.Exists(path);
}

void FaultyFileSystem::MkDir(const std::string& path) {
    Check("MkDir", path);
    real_.MkDir(path);
}

std::vector<std::string> FaultyFileSystem::ListFiles(const std::string& folder,
                                                     const std::string& pattern) {
    Check("ListFiles", folder);
    return real_.ListFiles(folder, pattern);
}

void FaultyFileSystem::FileCopy(const std::string& source, const std::string& destination) {
    Check("FileCopy", source);
    real_.FileCopy(source, destination);
}

void FaultyFileSystem::Kill(const std::string& path) {
    Check("Kill", path);
    real_.Kill(path);
}

std::unique_ptr<TextFile> FaultyFileSystem::CreateText(const std::string& path) {
    Check("CreateText", path);
    return real_.CreateText(path);
}

std::vector<uint8_t> FaultyFileSystem::ReadBinary(const std::string& path) {
    Check("ReadBinary", path);
    return real_.ReadBinary(path);
}

// ---- shell folder

int32_t FaultyShellFolder::SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token,
                                            uint32_t flags, char* path) {
    plan_.Record("SHGetFolderPathA");
    if (plan_.Hit("SHGetFolderPathA")) return static_cast<int32_t>(0x80004005u);
    return real_.SHGetFolderPathA(hwnd, csidl, token, flags, path);
}

}  // namespace zc::test
