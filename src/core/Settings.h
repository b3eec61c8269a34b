#pragma once
#include <string>

#include "core/Form.h"

namespace zc {

constexpr const char* kSettingsKey = "Software\\Brennowick\\Zilba Companion";

// The stored text, cut at a NUL and trimmed of spaces; empty when anything fails.
std::string RegReadString(Registry& registry, HKEY hive, const std::string& keyPath,
                          const std::string& valueName);
// Creates the key when needed and stores the data as a string; failures are silent. `view`
// may name the registry view (kKeyWow64_64Key) of a key that other programs read in theirs.
void RegWriteString(Registry& registry, HKEY hive, const std::string& keyPath,
                    const std::string& valueName, const std::string& data, uint32_t view = 0);

void LoadSettings(MainForm& f);
void SaveSettings(MainForm& f);

}  // namespace zc
