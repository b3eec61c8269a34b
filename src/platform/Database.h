#pragma once
// The database connection and row set the export reads the converted database with.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zc {

// A field value: null, or its text as the database gives it.
struct FieldValue {
    bool isNull = true;
    bool isNumber = false;
    std::string text;
};

class Recordset {
public:
    virtual ~Recordset() = default;
    virtual bool Eof() = 0;
    // Raises when the name is not a column or there is no current row.
    virtual FieldValue Field(const std::string& name) = 0;
    virtual void MoveNext() = 0;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual std::unique_ptr<Recordset> Execute(const std::string& sql) = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Opens with an OLE DB style connection string ("...;Data Source=<path>;...").
    virtual std::unique_ptr<Connection> Open(const std::string& connectionString) = 0;
};

}  // namespace zc
