#pragma once
// The database layer over SQLite: the converted database is an SQLite file, opened read-only
// from the Data Source of the connection string. "[bracketed]" names work as they stand.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Database.h"

namespace zc::posix {

// Error numbers of the database layer, as ADO numbers the same failures.
constexpr int32_t kErrDatabase = -2147467259;   // the provider failed (open, statement, step)
constexpr int32_t kErrNoCurrentRow = 3021;      // EOF: a read or a move without a current row
constexpr int32_t kErrNoSuchField = 3265;       // no column of that name in the row set

// The Data Source of an OLE DB style connection string, exactly as written (quotes removed).
// A path may hold ";" and "=": a segment ends only where a ";" starts a new "Keyword=".
// Raises when the string names no Data Source.
std::string DataSourceOf(const std::string& connectionString);

class SqliteDatabase : public Database {
public:
    std::unique_ptr<Connection> Open(const std::string& connectionString) override;
};

}  // namespace zc::posix
