#pragma once
// The commands of zilba-sim. Each prints what it did and throws std::runtime_error with a
// one-line message when it cannot do it.
#include <optional>
#include <string>

namespace zilba_sim {

constexpr const char* kDefaultDeviceDir = "\\My Documents\\Pocket Zilba";
// The class identifier under which the filter library is registered.
constexpr const char* kFilterClassId = "{6B3F0B5C-2D41-4E8A-9C17-5A0E3D2F8B61}";
constexpr const char* kAutoStartKey = "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect";

struct CreateOptions {
    int jobs = 25;
    int signatures = 5;
    std::string site = "bnwck";
    bool force = false;
    std::string deviceDir = kDefaultDeviceDir;
};

// Settings of the program to store; the ones not given are left as they are.
struct SettingsOptions {
    std::optional<std::string> deviceDir, localDir, server, site;
};

void Create(const CreateOptions& options);
void StoreSettings(const SettingsOptions& options);
void Dock();
void Undock();
void Status(const std::string& deviceDir);
void Install(const std::string& library);  // empty: the library installed beside the tool

}  // namespace zilba_sim
