#pragma once
// What the tests share: a fresh folder for a test (HOME too, so that the emulated registry, the
// lock and the simulated handheld never touch the user's own), files read and written whole, the
// names in a folder, SQL on a SQLite file, and the error a step raised.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "support/ErrorOf.h"

namespace zc::test {
namespace fs = std::filesystem;

// Removed when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Sets XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR, HOME and TMPDIR below this folder,
    // restoring them when the folder goes.
    void UseAsHome();

private:
    std::string path_;
    bool home_ = false;
    std::string saved_[5];
    bool had_[5] = {};
};

// A temporary folder that is HOME (and the XDG folders) for as long as it lives.
class HomeDir : public TempDir {
public:
    HomeDir() { UseAsHome(); }
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// The names of the entries of `folder`, sorted; none when there is no such folder.
std::vector<std::string> Names(const std::string& folder);
// Runs `sql` on a SQLite file (made when missing); a failing statement fails the test.
void Sql(const std::string& file, const std::string& sql);

}  // namespace zc::test
