#include "support/Helpers.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zc::test {

namespace {
const char* kVars[5] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "HOME", "TMPDIR"};
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zc-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

HomeDir::HomeDir() {
    fs::create_directories(path() + "/home");
    fs::create_directories(path() + "/run");
    // The toolkit refuses a runtime folder that others may read.
    fs::permissions(path() + "/run", fs::perms::owner_all);
    fs::create_directories(path() + "/tmp");
    const std::string values[5] = {path() + "/home/.config", path() + "/home/.local/share", path() + "/run",
                                   path() + "/home", path() + "/tmp"};
    for (int i = 0; i < 5; ++i) {
        if (const char* v = std::getenv(kVars[i])) saved_[i] = v;
        setenv(kVars[i], values[i].c_str(), 1);
    }
}

HomeDir::~HomeDir() {
    for (int i = 0; i < 5; ++i)
        if (saved_[i]) setenv(kVars[i], saved_[i]->c_str(), 1);
        else unsetenv(kVars[i]);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); ++it)
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zc::test
