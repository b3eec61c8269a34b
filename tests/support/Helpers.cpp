#include "support/Helpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

namespace zc::test {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); ++it)
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    char* error = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK || sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
        ADD_FAILURE() << file << ": " << sql << ": " << (error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    sqlite3_close(db);
}

}  // namespace zc::test
