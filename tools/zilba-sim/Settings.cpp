#include <iostream>
#include <stdexcept>

#include "Commands.h"
#include "core/Settings.h"
#include "platform/posix/PosixRegistry.h"

namespace zilba_sim {

// Stores settings where the program keeps them, as a transfer would store them.
void StoreSettings(const SettingsOptions& options) {
    zc::posix::PosixRegistry registry;
    const std::pair<const char*, const std::optional<std::string>*> values[] = {
        {"HPC_LOCATION", &options.deviceDir},
        {"PC_LOCATION", &options.localDir},
        {"SERVER_NAME", &options.server},
        {"SITE_NAME", &options.site},
    };
    bool any = false;
    for (const auto& [name, value] : values) {
        if (!*value) continue;
        any = true;
        zc::RegWriteString(registry, zc::kHkeyCurrentUser, zc::kSettingsKey, name, **value);
        // The store reports nothing, so read the value back to tell the user.
        std::string back = zc::RegReadString(registry, zc::kHkeyCurrentUser, zc::kSettingsKey, name);
        std::string want = **value;
        want.erase(0, want.find_first_not_of(' '));
        want.erase(want.find_last_not_of(' ') + 1);
        if (back != want) throw std::runtime_error(std::string("could not store ") + name);
        std::cout << "Stored " << name << " = " << **value << "\n";
    }
    if (!any)
        throw std::runtime_error("nothing to store: give --server, --site, --local-dir or --device-dir");
}

}  // namespace zilba_sim
