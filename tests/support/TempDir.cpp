#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zc::test {

namespace {
const char* kVars[4] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "HOME"};
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zc-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    for (int i = 0; home_ && i < 4; ++i) {
        if (had_[i]) setenv(kVars[i], saved_[i].c_str(), 1);
        else unsetenv(kVars[i]);
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void TempDir::UseAsHome() {
    for (int i = 0; !home_ && i < 4; ++i) {
        const char* v = std::getenv(kVars[i]);
        had_[i] = v != nullptr;
        saved_[i] = v ? v : "";
    }
    home_ = true;
    std::filesystem::create_directories(path_ + "/home");
    std::filesystem::create_directories(path_ + "/run");
    // The toolkit refuses a runtime folder that others may read.
    std::filesystem::permissions(path_ + "/run", std::filesystem::perms::owner_all);
    const std::string values[4] = {path_ + "/home/.config", path_ + "/home/.local/share", path_ + "/run",
                                   path_ + "/home"};
    for (int i = 0; i < 4; ++i) setenv(kVars[i], values[i].c_str(), 1);
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

}  // namespace zc::test
