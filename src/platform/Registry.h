#pragma once
// The registry functions the program calls, with the Windows argument shapes.
#include <cstdint>
#include <string>
#include <vector>

namespace zc {

using HKEY = uint32_t;  // predefined hives below; opened keys get other values
using LONG = int32_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003Fu;
constexpr uint32_t REG_SZ = 1;
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

class Registry {
public:
    virtual ~Registry() = default;
    // Key paths use "\" between key names. An empty value name is the key's default value.
    virtual LONG RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t options,
                               uint32_t samDesired, HKEY* result) = 0;
    // With data == nullptr only *cbData (and *type) are filled. When the buffer is too small,
    // ERROR_MORE_DATA and the needed size.
    virtual LONG RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type,
                                  uint8_t* data, uint32_t* cbData) = 0;
    // Creates every missing key on the path.
    virtual LONG RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t reserved,
                                 const char* keyClass, uint32_t options, uint32_t samDesired,
                                 const void* securityAttributes, HKEY* result,
                                 uint32_t* disposition) = 0;
    virtual LONG RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t reserved,
                                uint32_t type, const uint8_t* data, uint32_t cbData) = 0;
    virtual LONG RegCloseKey(HKEY hKey) = 0;
    // Value number `index` of an open key, in the order the names sort without regard to case.
    virtual LONG RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName, uint32_t* type,
                               std::vector<uint8_t>* data) = 0;
};

}  // namespace zc
