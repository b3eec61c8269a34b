#include "platform/win32/Win32Registry.h"

#include "platform/win32/WinApi.h"

namespace zc::win32 {

Win32Registry::~Win32Registry() {
    for (auto& [id, key] : open_) ::RegCloseKey(static_cast<::HKEY>(key));
}

void* Win32Registry::Native(HKEY hKey) {
    switch (hKey) {
        case kHkeyClassesRoot: return kWinClassesRoot;
        case kHkeyCurrentUser: return kWinCurrentUser;
        case kHkeyLocalMachine: return kWinLocalMachine;
        default: break;
    }
    std::lock_guard lock(mutex_);
    auto it = open_.find(hKey);
    return it == open_.end() ? nullptr : it->second;
}

HKEY Win32Registry::Add(void* key) {
    std::lock_guard lock(mutex_);
    while (open_.count(next_) || next_ >= kHkeyClassesRoot) next_ = next_ >= kHkeyClassesRoot ? 0x100 : next_ + 1;
    HKEY id = next_++;
    open_[id] = key;
    return id;
}

LONG Win32Registry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t options,
                                  uint32_t samDesired, HKEY* result) {
    void* parent = Native(hKey);
    if (!parent || !result) return kErrorInvalidHandle;
    ::HKEY opened = nullptr;
    LONG rc = ::RegOpenKeyExA(static_cast<::HKEY>(parent), subKey.c_str(), options, samDesired, &opened);
    if (rc == ERROR_SUCCESS) *result = Add(opened);
    return rc;
}

LONG Win32Registry::RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type,
                                     uint8_t* data, uint32_t* cbData) {
    void* key = Native(hKey);
    if (!key) return kErrorInvalidHandle;
    DWORD t = 0, size = cbData ? *cbData : 0;
    LONG rc = ::RegQueryValueExA(static_cast<::HKEY>(key), valueName.c_str(), nullptr, &t, data,
                                 cbData ? &size : nullptr);
    if (type) *type = t;
    if (cbData) *cbData = size;
    return rc;
}

LONG Win32Registry::RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t reserved,
                                    const char* keyClass, uint32_t options, uint32_t samDesired,
                                    const void* securityAttributes, HKEY* result,
                                    uint32_t* disposition) {
    void* parent = Native(hKey);
    if (!parent || !result) return kErrorInvalidHandle;
    // The program's security record (all zero) means the default security, as a null one does.
    (void)securityAttributes;
    ::HKEY created = nullptr;
    DWORD how = 0;
    LONG rc = ::RegCreateKeyExA(static_cast<::HKEY>(parent), subKey.c_str(), reserved,
                                const_cast<char*>(keyClass), options, samDesired, nullptr, &created, &how);
    if (rc != ERROR_SUCCESS) return rc;
    *result = Add(created);
    if (disposition) *disposition = how;
    return rc;
}

LONG Win32Registry::RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t reserved,
                                   uint32_t type, const uint8_t* data, uint32_t cbData) {
    void* key = Native(hKey);
    if (!key) return kErrorInvalidHandle;
    return ::RegSetValueExA(static_cast<::HKEY>(key), valueName.c_str(), reserved, type, data, cbData);
}

LONG Win32Registry::RegCloseKey(HKEY hKey) {
    void* key = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = open_.find(hKey);
        if (it == open_.end()) return kErrorInvalidHandle;  // the hives are never closed
        key = it->second;
        open_.erase(it);
    }
    return ::RegCloseKey(static_cast<::HKEY>(key));
}

LONG Win32Registry::RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName, uint32_t* type,
                                  std::vector<uint8_t>* data) {
    void* key = Native(hKey);
    if (!key) return kErrorInvalidHandle;
    DWORD nameMax = 0, dataMax = 0;
    LONG rc = ::RegQueryInfoKeyA(static_cast<::HKEY>(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &nameMax, &dataMax, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::string name(nameMax + 1, '\0');
    std::vector<uint8_t> bytes(dataMax);
    DWORD nameSize = nameMax + 1, dataSize = dataMax, t = 0;
    rc = ::RegEnumValueA(static_cast<::HKEY>(key), index, name.data(), &nameSize, nullptr, &t,
                         bytes.data(), &dataSize);
    if (rc != ERROR_SUCCESS) return rc;
    name.resize(nameSize);
    bytes.resize(dataSize);
    if (valueName) *valueName = std::move(name);
    if (type) *type = t;
    if (data) *data = std::move(bytes);
    return rc;
}

}  // namespace zc::win32
