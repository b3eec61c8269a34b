// The filter library: copies the handheld's database, read through the simulated handheld,
// into the desktop database file. Loaded by the program at start-up and called once per
// transfer through DEVICETODESKTOP.
#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/AdoFilter.h"
#include "platform/Text.h"
#include "platform/posix/XdgPaths.h"
#include "platform/posix/SimulatedHandheld.h"

namespace {

using namespace zc;

class Connection {
public:
    ~Connection() { Close(); }
    bool Open(const std::string& path, int flags) {
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) return false;
        sqlite3_busy_timeout(db_, 5000);
        return true;
    }
    bool Close() {
        int rc = db_ ? sqlite3_close(db_) : SQLITE_OK;
        db_ = nullptr;
        return rc == SQLITE_OK;
    }
    bool Exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3* get() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// The user tables of a database; false when it cannot be read as one.
bool TableNames(sqlite3* db, std::vector<std::string>* names) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT name FROM sqlite_master WHERE type = 'table' "
                           "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                           -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        names->emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

std::string QuoteName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Table names separated by ";" or ",", spaces around a name ignored.
std::vector<std::string> ParseTableList(const std::string& list) {
    std::vector<std::string> tables;
    size_t i = 0;
    while (i <= list.size()) {
        size_t j = list.find_first_of(";,", i);
        if (j == std::string::npos) j = list.size();
        std::string name = list.substr(i, j - i);
        size_t b = name.find_first_not_of(" \t");
        size_t e = name.find_last_not_of(" \t");
        if (b != std::string::npos) tables.push_back(name.substr(b, e - b + 1));
        i = j + 1;
    }
    return tables;
}

bool Listed(const std::vector<std::string>& tables, const std::string& name) {
    for (const auto& t : tables)
        if (zc::EqualsNoCase(t, name)) return true;
    return false;
}

bool HasSqliteHeader(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char header[16] = {};
    ssize_t n = ::read(fd, header, sizeof header);
    ::close(fd);
    return n == 16 && std::memcmp(header, "SQLite format 3", 16) == 0;
}

bool SyncPath(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The new desktop file while it is being written; removed unless it was put in place.
class TempFile {
public:
    ~TempFile() {
        if (path_.empty()) return;
        ::unlink(path_.c_str());
        ::unlink((path_ + "-journal").c_str());
    }
    bool Create(const std::string& folder, const std::string& name) {
        std::string pattern = folder + "/." + name + ".XXXXXX";
        int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) return false;
        zc::posix::FollowUmask(fd);
        ::close(fd);
        path_ = pattern;
        return true;
    }
    const std::string& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::string path_;
};

// Puts the finished file in place; an existing one is replaced only when asked to.
int32_t MoveIntoPlace(const std::string& from, const std::string& to, bool overwrite) {
    if (overwrite) return ::rename(from.c_str(), to.c_str()) == 0 ? kFilterOk : kFilterWriteFailed;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return kFilterOk;
    if (errno == EEXIST) return kFilterDesktopExists;
    if (errno != EINVAL && errno != ENOSYS) return kFilterWriteFailed;
    // File systems without the no-replace rename: a hard link fails just as surely on an
    // existing name.
    if (::link(from.c_str(), to.c_str()) != 0) return errno == EEXIST ? kFilterDesktopExists : kFilterWriteFailed;
    ::unlink(from.c_str());
    return kFilterOk;
}

int32_t Convert(const char* desktopPath, const char* tableList, bool overwrite,
                const char* handheldPath) {
    if (!desktopPath || !handheldPath || desktopPath[0] == 0) return kFilterBadArgument;
    const std::string desktop = zc::FromCodePage(desktopPath);
    const std::vector<std::string> tables =
        ParseTableList(tableList ? zc::FromCodePage(tableList) : std::string());

    zc::posix::SimulatedHandheld handheld;
    if (!handheld.Docked()) return kFilterNotDocked;
    auto source = handheld.Resolve(zc::FromCodePage(handheldPath));
    if (!source) return kFilterNoHandheldFile;
    auto entry = zc::posix::SimulatedHandheld::Stat(*source);
    if (!entry || entry->folder) return kFilterNoHandheldFile;
    // SQLite would take an empty file for an empty database; the handheld never writes one.
    if (!HasSqliteHeader(*source)) return kFilterNotADatabase;

    Connection from;
    if (!from.Open(*source, SQLITE_OPEN_READONLY)) return kFilterNotADatabase;
    std::vector<std::string> sourceTables;
    if (!TableNames(from.get(), &sourceTables)) return kFilterNotADatabase;
    for (const auto& t : tables)
        if (!Listed(sourceTables, t)) return kFilterNoSuchTable;

    size_t slash = desktop.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : desktop.substr(0, slash);
    if (folder.empty()) folder = "/";
    std::string name = slash == std::string::npos ? desktop : desktop.substr(slash + 1);
    struct stat st{};
    if (name.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return kFilterWriteFailed;
    if (!overwrite && ::lstat(desktop.c_str(), &st) == 0) return kFilterDesktopExists;

    TempFile temp;
    if (!temp.Create(folder, name)) return kFilterWriteFailed;
    {
        Connection to;
        if (!to.Open(temp.path(), SQLITE_OPEN_READWRITE)) return kFilterWriteFailed;
        sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
        if (!backup) return kFilterWriteFailed;
        int rc = sqlite3_backup_step(backup, -1);
        if (sqlite3_backup_finish(backup) != SQLITE_OK || rc != SQLITE_DONE) return kFilterWriteFailed;
        // The desktop copy is read on its own, without the handheld's journal arrangement.
        if (!to.Exec("PRAGMA journal_mode=DELETE")) return kFilterWriteFailed;
        if (!tables.empty()) {
            for (const auto& t : sourceTables)
                if (!Listed(tables, t) && !to.Exec("DROP TABLE " + QuoteName(t)))
                    return kFilterWriteFailed;
            if (!to.Exec("VACUUM")) return kFilterWriteFailed;
        }
        if (!to.Close()) return kFilterWriteFailed;
    }
    if (!SyncPath(temp.path(), O_RDONLY)) return kFilterWriteFailed;
    int32_t moved = MoveIntoPlace(temp.path(), desktop, overwrite);
    if (moved != kFilterOk) return moved;
    temp.Release();
    SyncPath(folder, O_RDONLY | O_DIRECTORY);
    return kFilterOk;
}

}  // namespace

// desktop path, table list, synchronise, overwrite, handheld path. The copy has no link back
// to the handheld, so synchronise changes nothing. 0 = success.
extern "C" __attribute__((visibility("default"))) int32_t DEVICETODESKTOP(
    const char* desktopPath, const char* tableList, int32_t synchronise, int32_t overwrite,
    const char* handheldPath) {
    (void)synchronise;
    return FilterResultOf([&] { return Convert(desktopPath, tableList, overwrite != 0, handheldPath); });
}
