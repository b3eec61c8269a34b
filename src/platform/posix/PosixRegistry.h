#pragma once
// The emulated registry: one SQLite file holding the keys and values of HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. Names compare without regard to case; data is kept
// as raw bytes with its type.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace zc::posix {

constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

class PosixRegistry : public Registry {
public:
    // The user's registry file, looked up afresh at every call (it follows XDG_CONFIG_HOME).
    PosixRegistry() = default;
    explicit PosixRegistry(std::string file) : file_(std::move(file)) {}

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

    std::string File() const;

private:
    struct Key {
        int hive = 0;       // 0 classes root, 1 current user, 2 local machine
        std::string path;   // key names joined by "\", as first created; "" is the hive itself
    };
    // The key a handle (a hive or an opened key) stands for, plus `subKey`; false when the
    // handle is not valid.
    bool Resolve(HKEY hKey, const std::string& subKey, Key* key);
    HKEY NewHandle(const Key& key);

    std::optional<std::string> file_;
    std::mutex mutex_;
    std::map<HKEY, Key> open_;
    HKEY next_ = 0x100;
};

}  // namespace zc::posix
