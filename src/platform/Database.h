#pragma once
// The database connection and row set the export reads the converted database with.
#include <memory>
#include <string>
#include <string_view>

namespace zc {

// A field value: null, or its text as the database gives it (whole numbers as decimal digits).
struct FieldValue {
    bool isNull = true;
    bool isNumber = false;
    std::string text;
};

// A read-only, forward-only row set that starts on its first row.
class Recordset {
public:
    virtual ~Recordset() = default;
    // True once the last row has been passed (at once for an empty result).
    virtual bool Eof() = 0;
    // Reads the named column of the current row into `value`, reusing its text buffer so that a
    // long scan does not allocate per row. Raises when the name is not a column or there is no
    // current row.
    virtual void Read(std::string_view name, FieldValue& value) = 0;
    // Raises when there is no current row.
    virtual void MoveNext() = 0;

    FieldValue Field(std::string_view name) {
        FieldValue value;
        Read(name, value);
        return value;
    }
};

// Releasing the connection closes it; row sets still alive stay readable until they go.
class Connection {
public:
    virtual ~Connection() = default;
    // Raises with the database's description when the statement fails (missing table, column).
    virtual std::unique_ptr<Recordset> Execute(const std::string& sql) = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Opens with an OLE DB style connection string ("...;Data Source=<path>;..."), read-only.
    // A missing file or one that is not a database raises.
    virtual std::unique_ptr<Connection> Open(const std::string& connectionString) = 0;
};

}  // namespace zc
