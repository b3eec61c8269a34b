#pragma once
#include <string>

#include "app/Form.h"

namespace zc {

constexpr const char* kSettingsKey = "Software\\Brennowick\\Zilba Companion";

// The stored text, cut at a NUL and trimmed of spaces; empty when anything fails.
std::string RegReadString(Registry& registry, HKEY hive, const std::string& keyPath,
                          const std::string& valueName);
// Creates the key when needed and stores the data as a string; failures are silent.
void RegWriteString(Registry& registry, HKEY hive, const std::string& keyPath,
                    const std::string& valueName, const std::string& data);

void LoadSettings(MainForm& f);
void SaveSettings(MainForm& f);

}  // namespace zc
