#include "platform/posix/SqliteDatabase.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"

namespace zc::posix {

namespace {

bool IsKeywordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == ' ' || c == '_';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Whether the ";" at `pos` starts a new "Keyword=" segment.
bool StartsSegment(std::string_view s, size_t pos) {
    size_t i = pos + 1;
    size_t start = i;
    while (i < s.size() && IsKeywordChar(s[i])) ++i;
    return i < s.size() && s[i] == '=' && !Trim(s.substr(start, i - start)).empty();
}

class Handle {
public:
    explicit Handle(sqlite3* db) : db_(db) {}
    ~Handle() { sqlite3_close_v2(db_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    sqlite3* get() const { return db_; }

private:
    sqlite3* db_;
};

[[noreturn]] void RaiseDatabase(sqlite3* db) { throw Error(kErrDatabase, sqlite3_errmsg(db)); }

void AppendNumber(std::string& out, double value) {
    char buffer[32];
    std::to_chars_result r{};
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(value));
    else
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    out.append(buffer, r.ptr);
}

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

class SqliteRecordset : public Recordset {
public:
    SqliteRecordset(std::shared_ptr<Handle> db, Statement statement)
        : db_(std::move(db)), owned_(std::move(statement)), statement_(owned_.get()) {
        int count = sqlite3_column_count(statement_);
        names_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const char* name = sqlite3_column_name(statement_, i);
            names_.emplace_back(name ? name : "");
        }
        Step();
    }
    bool Eof() override { return eof_; }

    void Read(std::string_view name, FieldValue& value) override {
        int column = Column(name);
        if (eof_) RaiseNoCurrentRow();
        value.text.clear();
        value.isNull = false;
        value.isNumber = false;
        switch (sqlite3_column_type(statement_, column)) {
            case SQLITE_NULL:
                value.isNull = true;
                break;
            case SQLITE_INTEGER: {
                char buffer[24];
                auto r = std::to_chars(buffer, buffer + sizeof buffer,
                                       sqlite3_column_int64(statement_, column));
                value.text.append(buffer, r.ptr);
                value.isNumber = true;
                break;
            }
            case SQLITE_FLOAT:
                AppendNumber(value.text, sqlite3_column_double(statement_, column));
                value.isNumber = true;
                break;
            default: {  // text and blobs: the stored bytes
                const void* bytes = sqlite3_column_blob(statement_, column);
                int size = sqlite3_column_bytes(statement_, column);
                if (bytes && size > 0)
                    value.text.append(static_cast<const char*>(bytes), static_cast<size_t>(size));
                break;
            }
        }
    }

    void MoveNext() override {
        if (eof_) RaiseNoCurrentRow();
        Step();
    }

private:
    [[noreturn]] static void RaiseNoCurrentRow() {
        throw Error(kErrNoCurrentRow,
                    "Either BOF or EOF is True, or the current record has been deleted. "
                    "Requested operation requires a current record.");
    }

    // Column names compare without regard to case, as the database itself compares them.
    // The same few names are asked for every row, in the same order, so the search starts
    // after the last hit.
    int Column(std::string_view name) {
        size_t n = names_.size();
        for (size_t k = 0; k < n; ++k) {
            size_t i = (hint_ + k) % n;
            if (EqualsNoCase(names_[i], name)) {
                hint_ = i + 1;
                return static_cast<int>(i);
            }
        }
        throw Error(kErrNoSuchField, "no such column: " + std::string(name));
    }

    void Step() {
        int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) return;
        eof_ = true;
        if (rc != SQLITE_DONE) RaiseDatabase(db_->get());
    }

    std::shared_ptr<Handle> db_;  // kept open while the row set lives
    Statement owned_;
    sqlite3_stmt* statement_;
    std::vector<std::string> names_;
    size_t hint_ = 0;
    bool eof_ = false;
};

class SqliteConnection : public Connection {
public:
    explicit SqliteConnection(std::shared_ptr<Handle> db) : db_(std::move(db)) {}

    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db_->get(), sql.c_str(), static_cast<int>(sql.size()), &raw,
                                    nullptr);
        Statement statement(raw);
        if (rc != SQLITE_OK) RaiseDatabase(db_->get());
        if (!statement) throw Error(kErrDatabase, "The command text holds no statement");
        return std::make_unique<SqliteRecordset>(db_, std::move(statement));
    }

private:
    std::shared_ptr<Handle> db_;
};

}  // namespace

std::string DataSourceOf(const std::string& connectionString) {
    std::string_view s = connectionString;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t eq = s.find('=', pos);
        if (eq == std::string_view::npos) break;
        std::string_view key = Trim(s.substr(pos, eq - pos));
        size_t i = eq + 1;
        while (i < s.size() && s[i] == ' ') ++i;
        std::string value;
        size_t next;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            // A quoted value; a doubled quote stands for one.
            char quote = s[i++];
            while (i < s.size()) {
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            next = s.find(';', i);
        } else {
            next = s.find(';', eq + 1);
            while (next != std::string_view::npos && !StartsSegment(s, next))
                next = s.find(';', next + 1);
            value = std::string(s.substr(eq + 1, next == std::string_view::npos
                                                     ? std::string_view::npos
                                                     : next - eq - 1));
        }
        if (EqualsNoCase(key, "Data Source")) return value;
        if (next == std::string_view::npos) break;
        pos = next + 1;
    }
    throw Error(kErrDatabase, "The connection string names no Data Source");
}

std::unique_ptr<Connection> SqliteDatabase::Open(const std::string& connectionString) {
    std::string path = DataSourceOf(connectionString);
    if (path.empty()) throw Error(kErrDatabase, "unable to open database file: no file named");
    // SQLite gives ":memory:" a meaning of its own; here it can only be a file.
    std::string file = path == ":memory:" ? "./" + path : path;

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    auto db = std::make_shared<Handle>(raw);
    if (rc != SQLITE_OK) {
        std::string description = raw ? sqlite3_errmsg(raw) : "out of memory";
        description += ": " + path;
        int err = raw ? sqlite3_system_errno(raw) : 0;
        if (err != 0) description += std::string(" (") + std::strerror(err) + ")";
        throw Error(kErrDatabase, description);
    }
    // A converted database is read just after it was written; a short wait rides over a lock
    // that is still being let go, and never hangs the run.
    sqlite3_busy_timeout(raw, 2000);

    // Opening is lazy in SQLite; reading the schema now tells a file that is not a database
    // (or a folder) at the open, as the caller expects.
    char* message = nullptr;
    if (sqlite3_exec(raw, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, &message) !=
        SQLITE_OK) {
        std::string description = message ? message : sqlite3_errmsg(raw);
        sqlite3_free(message);
        throw Error(kErrDatabase, description + ": " + path);
    }
    return std::make_unique<SqliteConnection>(std::move(db));
}

}  // namespace zc::posix
