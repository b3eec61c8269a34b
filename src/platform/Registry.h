#pragma once
// The registry functions the program calls, with the Windows argument shapes.
#include <cstdint>
#include <string>
#include <vector>

namespace zc {

using HKEY = uint32_t;  // predefined hives below; opened keys get other values
using LONG = int32_t;

constexpr HKEY kHkeyClassesRoot = 0x80000000u;
constexpr HKEY kHkeyCurrentUser = 0x80000001u;
constexpr HKEY kHkeyLocalMachine = 0x80000002u;
constexpr uint32_t kKeyAllAccess = 0xF003Fu;
// What a standard user is granted under HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT: reading.
constexpr uint32_t kKeyRead = 0x20019u;
constexpr uint32_t kKeyWrite = 0x20006u;  // set values, create sub-keys
// The rights that change a key; under User Account Control only an elevated process gets them
// outside the user's own hive.
constexpr uint32_t kKeyChangeRights = kKeyAllAccess & ~kKeyRead;
// The 64-bit view of the registry for a 32-bit program on 64-bit Windows; ignored elsewhere.
constexpr uint32_t kKeyWow64_64Key = 0x0100u;
constexpr uint32_t kRegSz = 1;
constexpr LONG kErrorSuccess = 0;
constexpr LONG kErrorFileNotFound = 2;
constexpr LONG kErrorAccessDenied = 5;
constexpr LONG kErrorInvalidHandle = 6;
constexpr LONG kErrorMoreData = 234;
constexpr LONG kErrorNoMoreItems = 259;
constexpr uint32_t kRegCreatedNewKey = 1;
constexpr uint32_t kRegOpenedExistingKey = 2;

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
