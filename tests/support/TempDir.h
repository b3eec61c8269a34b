#pragma once
// A fresh folder for one test, removed afterwards; also points the XDG folders into it so the
// emulated registry, the lock and the simulated handheld of a test never touch the user's own.
#include <string>

namespace zc::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Sets XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and HOME below this folder,
    // restoring them when the folder goes.
    void UseAsHome();

private:
    std::string path_;
    bool home_ = false;
    std::string saved_[4];
    bool had_[4] = {};
};

// A temporary folder that is HOME (and the XDG folders) for as long as it lives.
class HomeDir : public TempDir {
public:
    HomeDir() { UseAsHome(); }
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace zc::test
