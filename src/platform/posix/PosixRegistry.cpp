#include "platform/posix/PosixRegistry.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "platform/Text.h"
#include "platform/posix/XdgPaths.h"

namespace zc::posix {

namespace {

constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  hive INTEGER NOT NULL, lpath TEXT NOT NULL, path TEXT NOT NULL,"
    "  PRIMARY KEY(hive, lpath));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  hive INTEGER NOT NULL, lpath TEXT NOT NULL, lname TEXT NOT NULL, name TEXT NOT NULL,"
    "  type INTEGER NOT NULL, data BLOB NOT NULL,"
    "  PRIMARY KEY(hive, lpath, lname));";

int HiveIndex(HKEY hKey) {
    switch (hKey) {
        case kHkeyClassesRoot: return 0;
        case kHkeyCurrentUser: return 1;
        case kHkeyLocalMachine: return 2;
        default: return -1;
    }
}

// Key names joined by single "\": empty names (leading, trailing or doubled separators) drop out.
std::string JoinPath(const std::string& base, const std::string& sub) {
    std::string out = base;
    size_t i = 0;
    while (i <= sub.size()) {
        size_t j = sub.find('\\', i);
        if (j == std::string::npos) j = sub.size();
        if (j > i) {
            if (!out.empty()) out += '\\';
            out.append(sub, i, j - i);
        }
        i = j + 1;
    }
    return out;
}

class Db {
public:
    ~Db() {
        if (db_) sqlite3_close_v2(db_);
    }
    sqlite3* get() const { return db_; }
    int Open(const std::string& file, int flags) {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
        int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
        if (rc == SQLITE_OK) sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        return rc;
    }
    void Close() {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return rc_ == SQLITE_OK; }
    int rc() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }
    Stmt& Int(int i, int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Stmt& Text(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Blob(int i, const uint8_t* data, uint32_t size) {
        // A non-null pointer keeps an empty value a zero-length blob rather than NULL.
        static const uint8_t kNone = 0;
        sqlite3_bind_blob(stmt_, i, data ? data : &kNone, static_cast<int>(size),
                          SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return sqlite3_step(stmt_); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_;
};

bool FileExists(const std::string& file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0;
}

// Opens the registry for reading; false when there is no usable file, which reads as nothing
// stored. Read-write when possible, so an interrupted write of another process is rolled back.
bool OpenForRead(const std::string& file, Db& db) {
    if (!FileExists(file)) return false;
    if (db.Open(file, SQLITE_OPEN_READWRITE) == SQLITE_OK) return true;
    return db.Open(file, SQLITE_OPEN_READONLY) == SQLITE_OK;
}

bool IsDamaged(int rc) {
    rc &= 0xFF;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

// Keeps a damaged file as registry.db.damaged-<n> (with its journal) for whoever wants to look
// into it, and frees the name for a fresh registry.
bool MoveAside(const std::string& file) {
    for (int n = 1; n < 10000; ++n) {
        std::string aside = file + ".damaged-" + std::to_string(n);
        struct stat st {};
        if (lstat(aside.c_str(), &st) == 0) continue;
        if (std::rename(file.c_str(), aside.c_str()) != 0) return false;
        std::string journal = file + "-journal";
        if (lstat(journal.c_str(), &st) == 0)
            std::rename(journal.c_str(), (aside + "-journal").c_str());
        return true;
    }
    return false;
}

LONG WriteFailure(int rc) {
    rc &= 0xFF;
    if (rc == SQLITE_READONLY || rc == SQLITE_PERM || rc == SQLITE_AUTH) return kErrorAccessDenied;
    return ERROR_REGISTRY_IO_FAILED;
}

// Runs `body` in one write transaction: all of it is stored, or none. A damaged file is moved
// aside and the write goes to a fresh one.
LONG Write(const std::string& file, const std::function<int(sqlite3*)>& body) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto slash = file.rfind('/');
        if (slash != std::string::npos && slash > 0 && !MakeFolders(file.substr(0, slash)))
            return kErrorAccessDenied;
        Db db;
        int rc = db.Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (rc == SQLITE_OK) rc = db.Exec("BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) {
            rc = db.Exec(kSchema);
            if (rc == SQLITE_OK) rc = body(db.get());
            if (rc == SQLITE_OK) rc = db.Exec("COMMIT");
            if (rc != SQLITE_OK) db.Exec("ROLLBACK");
        }
        if (rc == SQLITE_OK) return kErrorSuccess;
        if (!IsDamaged(rc) || attempt > 0) return WriteFailure(rc);
        db.Close();
        if (!MoveAside(file)) return ERROR_REGISTRY_IO_FAILED;
    }
    return ERROR_REGISTRY_IO_FAILED;
}

bool KeyExists(sqlite3* db, int hive, const std::string& path) {
    if (path.empty()) return true;
    Stmt s(db, "SELECT 1 FROM keys WHERE hive = ?1 AND lpath = ?2");
    if (!s.ok()) return false;
    s.Int(1, hive).Text(2, LowerAscii(path));
    return s.Step() == SQLITE_ROW;
}

// Adds every missing key from the hive down to `path`.
int EnsureKeys(sqlite3* db, int hive, const std::string& path) {
    Stmt s(db, "INSERT OR IGNORE INTO keys(hive, lpath, path) VALUES(?1, ?2, ?3)");
    if (!s.ok()) return s.rc();
    size_t end = 0;
    while (end < path.size()) {
        end = path.find('\\', end + 1);
        if (end == std::string::npos) end = path.size();
        std::string prefix = path.substr(0, end);
        sqlite3_reset(s.get());
        s.Int(1, hive).Text(2, LowerAscii(prefix)).Text(3, prefix);
        if (int rc = s.Step(); rc != SQLITE_DONE) return rc;
    }
    return SQLITE_OK;
}

}  // namespace

std::string PosixRegistry::File() const { return file_ ? *file_ : RegistryFile(); }

bool PosixRegistry::Resolve(HKEY hKey, const std::string& subKey, Key* key) {
    if (int hive = HiveIndex(hKey); hive >= 0) {
        *key = Key{hive, JoinPath("", subKey)};
        return true;
    }
    auto it = open_.find(hKey);
    if (it == open_.end()) return false;
    *key = Key{it->second.hive, JoinPath(it->second.path, subKey)};
    return true;
}

HKEY PosixRegistry::NewHandle(const Key& key) {
    while (open_.count(next_) || HiveIndex(next_) >= 0 || next_ == 0 || next_ >= 0x80000000u)
        next_ = next_ >= 0x7FFFFFFFu ? 0x100 : next_ + 1;
    HKEY h = next_++;
    open_[h] = key;
    return h;
}

LONG PosixRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, uint32_t, uint32_t,
                                  HKEY* result) {
    std::lock_guard lock(mutex_);
    if (!result) return ERROR_INVALID_PARAMETER;
    Key key;
    if (!Resolve(hKey, subKey, &key)) return kErrorInvalidHandle;
    if (!key.path.empty()) {
        Db db;
        if (!OpenForRead(File(), db) || !KeyExists(db.get(), key.hive, key.path))
            return kErrorFileNotFound;
    }
    *result = NewHandle(key);
    return kErrorSuccess;
}

LONG PosixRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName, uint32_t* type,
                                     uint8_t* data, uint32_t* cbData) {
    std::lock_guard lock(mutex_);
    Key key;
    if (!Resolve(hKey, "", &key)) return kErrorInvalidHandle;
    if (data && !cbData) return ERROR_INVALID_PARAMETER;
    Db db;
    if (!OpenForRead(File(), db)) return kErrorFileNotFound;
    Stmt s(db.get(), "SELECT type, data FROM vals WHERE hive = ?1 AND lpath = ?2 AND lname = ?3");
    if (!s.ok()) return kErrorFileNotFound;
    s.Int(1, key.hive).Text(2, LowerAscii(key.path)).Text(3, LowerAscii(valueName));
    if (s.Step() != SQLITE_ROW) return kErrorFileNotFound;
    auto storedType = static_cast<uint32_t>(sqlite3_column_int64(s.get(), 0));
    const void* bytes = sqlite3_column_blob(s.get(), 1);
    auto size = static_cast<uint32_t>(sqlite3_column_bytes(s.get(), 1));
    if (type) *type = storedType;
    if (!data) {
        if (cbData) *cbData = size;
        return kErrorSuccess;
    }
    if (*cbData < size) {
        *cbData = size;
        return kErrorMoreData;
    }
    if (size > 0) std::memcpy(data, bytes, size);
    *cbData = size;
    return kErrorSuccess;
}

LONG PosixRegistry::RegCreateKeyExA(HKEY hKey, const std::string& subKey, uint32_t,
                                    const char*, uint32_t, uint32_t, const void*, HKEY* result,
                                    uint32_t* disposition) {
    std::lock_guard lock(mutex_);
    if (!result) return ERROR_INVALID_PARAMETER;
    Key key;
    if (!Resolve(hKey, subKey, &key)) return kErrorInvalidHandle;
    bool existed = true;
    LONG rc = Write(File(), [&](sqlite3* db) {
        existed = KeyExists(db, key.hive, key.path);
        return EnsureKeys(db, key.hive, key.path);
    });
    if (rc != kErrorSuccess) return rc;
    if (disposition) *disposition = existed ? kRegOpenedExistingKey : kRegCreatedNewKey;
    *result = NewHandle(key);
    return kErrorSuccess;
}

LONG PosixRegistry::RegSetValueExA(HKEY hKey, const std::string& valueName, uint32_t,
                                   uint32_t type, const uint8_t* data, uint32_t cbData) {
    std::lock_guard lock(mutex_);
    Key key;
    if (!Resolve(hKey, "", &key)) return kErrorInvalidHandle;
    if (!data && cbData > 0) return ERROR_INVALID_PARAMETER;
    if (cbData > 0x7FFFFFFFu) return ERROR_INVALID_PARAMETER;
    return Write(File(), [&](sqlite3* db) {
        // The key may be gone from a registry that was recreated since it was opened.
        if (int rc = EnsureKeys(db, key.hive, key.path); rc != SQLITE_OK) return rc;
        Stmt s(db,
               "INSERT INTO vals(hive, lpath, lname, name, type, data) "
               "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(hive, lpath, lname) "
               "DO UPDATE SET type = excluded.type, data = excluded.data");
        if (!s.ok()) return s.rc();
        s.Int(1, key.hive).Text(2, LowerAscii(key.path)).Text(3, LowerAscii(valueName));
        s.Text(4, valueName).Int(5, type).Blob(6, data, cbData);
        int rc = s.Step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    });
}

LONG PosixRegistry::RegCloseKey(HKEY hKey) {
    std::lock_guard lock(mutex_);
    if (HiveIndex(hKey) >= 0) return kErrorSuccess;  // the hives are never really closed
    return open_.erase(hKey) ? kErrorSuccess : kErrorInvalidHandle;
}

LONG PosixRegistry::RegEnumValueA(HKEY hKey, uint32_t index, std::string* valueName,
                                  uint32_t* type, std::vector<uint8_t>* data) {
    std::lock_guard lock(mutex_);
    Key key;
    if (!Resolve(hKey, "", &key)) return kErrorInvalidHandle;
    Db db;
    if (!OpenForRead(File(), db)) return kErrorNoMoreItems;
    Stmt s(db.get(),
           "SELECT name, type, data FROM vals WHERE hive = ?1 AND lpath = ?2 "
           "ORDER BY lname LIMIT 1 OFFSET ?3");
    if (!s.ok()) return kErrorNoMoreItems;
    s.Int(1, key.hive).Text(2, LowerAscii(key.path)).Int(3, index);
    if (s.Step() != SQLITE_ROW) return kErrorNoMoreItems;
    if (valueName) {
        auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
        valueName->assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s.get(), 0)));
    }
    if (type) *type = static_cast<uint32_t>(sqlite3_column_int64(s.get(), 1));
    if (data) {
        auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s.get(), 2));
        auto size = static_cast<size_t>(sqlite3_column_bytes(s.get(), 2));
        data->assign(bytes, bytes ? bytes + size : bytes);
    }
    return kErrorSuccess;
}

}  // namespace zc::posix
