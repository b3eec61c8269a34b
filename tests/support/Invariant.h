#pragma once
// What must hold at the end of any run, whatever failed: every job row and every signature of
// the handheld is still on a handheld without the purge flag, or on the PC byte for byte; every
// file the server kept is byte-identical to its source; the settings still hold their values.
#include <map>
#include <string>
#include <vector>

namespace zc::test {

struct World {
    std::string handheld;  // the handheld's data folder ("…/My Documents/Pocket Zilba")
    std::string localDir;  // the program's local directory
    std::string served;    // the folder below which the server keeps what it answered 200 for
    std::map<std::string, std::string> settings;  // value name -> value, as they must stay
};

// Every breach found, in words; empty when the invariant holds.
std::vector<std::string> Breaches(const World& world);

// The settings the program keeps, read from the user's registry file.
std::map<std::string, std::string> StoredSettings();

}  // namespace zc::test
