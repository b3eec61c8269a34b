#pragma once
// Checks the tests share: the error a step raised, the names in a folder, SQL on a SQLite file.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

namespace zc::test {
namespace fs = std::filesystem;

// The names of the entries of `folder`, sorted; none when there is no such folder.
std::vector<std::string> Names(const std::string& folder);
// Runs `sql` on a SQLite file (made when missing); a failing statement fails the test.
void Sql(const std::string& file, const std::string& sql);

}  // namespace zc::test
