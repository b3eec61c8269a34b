#include "core/Settings.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Text.h"

namespace zc {

namespace {

struct Setting {
    const char* valueName;
    Field field;
};

// The four settings, always handled in this order.
constexpr Setting kSettings[] = {
    {"HPC_LOCATION", Field::DeviceDir},
    {"PC_LOCATION", Field::LocalDir},
    {"SERVER_NAME", Field::Server},
    {"SITE_NAME", Field::Site},
};

// Closes an opened key on every path out of the procedure.
class OpenKey {
public:
    explicit OpenKey(Registry& registry) : registry_(registry) {}
    ~OpenKey() {
        if (open_) registry_.RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    void opened() { open_ = true; }
    HKEY key() const { return key_; }

private:
    Registry& registry_;
    HKEY key_ = 0;
    bool open_ = false;
};

std::string TrimSpaces(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

}  // namespace

std::string RegReadString(Registry& registry, HKEY hive, const std::string& keyPath,
                          const std::string& valueName) {
    try {
        OpenKey key(registry);
        // Read access only: a standard user gets no more under HKEY_LOCAL_MACHINE and
        // HKEY_CLASSES_ROOT, and asking for more there would fail the read.
        if (registry.RegOpenKeyExA(hive, ToCodePage(keyPath), 0, kKeyRead, key.out()) !=
            kErrorSuccess)
            return {};
        key.opened();
        uint32_t size = 0;
        if (registry.RegQueryValueExA(key.key(), ToCodePage(valueName), nullptr, nullptr, &size) !=
            kErrorSuccess)
            return {};
        std::vector<uint8_t> buffer(size, 0);
        uint32_t type = 0;
        if (registry.RegQueryValueExA(key.key(), ToCodePage(valueName), &type,
                                      buffer.empty() ? nullptr : buffer.data(),
                                      &size) != kErrorSuccess)
            return {};
        // Whatever bytes are stored are taken as text, up to the first NUL.
        std::string text(buffer.begin(), buffer.begin() + std::min<size_t>(size, buffer.size()));
        if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        return TrimSpaces(FromCodePage(text));
    } catch (...) {
        return {};  // a registry read never fails the caller
    }
}

void RegWriteString(Registry& registry, HKEY hive, const std::string& keyPath,
                    const std::string& valueName, const std::string& data, uint32_t view) {
    try {
        OpenKey key(registry);
        uint32_t disposition = 0;
        if (registry.RegCreateKeyExA(hive, ToCodePage(keyPath), 0, nullptr, 0, kKeyWrite | view,
                                     nullptr, key.out(), &disposition) != kErrorSuccess)
            return;
        key.opened();
        std::string bytes = ToCodePage(data);
        registry.RegSetValueExA(key.key(), ToCodePage(valueName), 0, kRegSz,
                                reinterpret_cast<const uint8_t*>(bytes.data()),
                                static_cast<uint32_t>(bytes.size()));
    } catch (...) {
        // Callers ignore the outcome of a registry write.
    }
}

void LoadSettings(MainForm& f) {
    for (const Setting& s : kSettings) {
        std::string value = RegReadString(f.os.registry, kHkeyCurrentUser, kSettingsKey, s.valueName);
        if (!value.empty()) f.ui.SetText(s.field, value);
    }
}

void SaveSettings(MainForm& f) {
    for (const Setting& s : kSettings)
        RegWriteString(f.os.registry, kHkeyCurrentUser, kSettingsKey, s.valueName,
                       f.ui.Text(s.field));
}

}  // namespace zc
