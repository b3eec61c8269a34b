#pragma once
// The registry over advapi32's Reg…A functions. Opened keys get small numbers of their own,
// so that a 64-bit key handle fits the program's 32-bit key values.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace zc::win32 {

class Win32Registry : public Registry {
public:
    ~Win32Registry() override;
    LONG RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t options,
                       uint32_t samDesired, HKEY* result) override;
    LONG RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type,
                          uint8_t* data, uint32_t* cbData) override;
    LONG RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t reserved,
                         const char* keyClass, uint32_t options, uint32_t samDesired,
                         const void* securityAttributes, HKEY* result,
                         uint32_t* disposition) override;
    LONG RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t reserved,
                        uint32_t type, const uint8_t* data, uint32_t cbData) override;
    LONG RegCloseKey(HKEY hKey) override;
    LONG RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName, uint32_t* type,
                       std::vector<uint8_t>* data) override;

private:
    void* Native(HKEY hKey);  // nullptr when the handle is neither a hive nor an open key
    HKEY Add(void* key);

    std::mutex mutex_;
    std::map<HKEY, void*> open_;
    HKEY next_ = 0x100;
};

}  // namespace zc::win32
