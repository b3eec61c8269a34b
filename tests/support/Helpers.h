#pragma once
// What the tests share: a fresh folder (HOME too, so that the registry file, the lock and the
// simulated handheld are never the user's own), whole files, a folder's names.
#include <filesystem>
#include <functional>
#include <optional>
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

private:
    std::string path_;
};

// A temporary folder below which XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR, HOME and TMPDIR
// lie for as long as it lives.
class HomeDir : public TempDir {
public:
    HomeDir();
    ~HomeDir();

private:
    std::optional<std::string> saved_[5];
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// The names of the entries of `folder`, sorted; none when there is no such folder.
std::vector<std::string> Names(const std::string& folder);

}  // namespace zc::test
