#pragma once
// What must hold at the end of any run, whatever failed: every job row and every signature of
// the handheld is (a) still on a handheld without the purge flag, or (b) kept by the server byte
// for byte under its own name, or (c) on the PC byte for byte and named in a closing box that
// says it was not sent; "Finished" means (b) for everything. Every file the server kept is
// byte-identical to its source, and the settings still hold their values.
#include <map>
#include <string>
#include <vector>

namespace zc::test {

struct World {
    std::string handheld;  // the handheld's data folder ("…/My Documents/Pocket Zilba")
    std::string localDir;  // the program's local directory
    std::string served;    // the folder below which the server keeps what it answered 200 for
    std::map<std::string, std::string> settings;  // value name -> value, as they must stay
    std::string serverLog;  // the stand-in server's log, when its imports are to be checked
};

// Every breach found, in words; empty when the invariant holds. `box` is the run's closing box;
// none for a run that was killed, whose files need only be on the PC.
std::vector<std::string> Breaches(const World& world, const std::string& box = {});

// The plain files below `folder`, at any depth, by name; none when there is no such folder.
std::multimap<std::string, std::string> FilesBelow(const std::string& folder);

// The settings the program keeps, read from the user's registry file.
std::map<std::string, std::string> StoredSettings();

}  // namespace zc::test
