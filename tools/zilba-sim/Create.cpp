// create and status: the sample handheld's data folder, its database and signature bitmaps.
#include <errno.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "Commands.h"
#include "platform/posix/SimulatedHandheld.h"
#include "platform/posix/XdgPaths.h"

namespace zilba_sim {

namespace fs = std::filesystem;
using zc::posix::SimulatedHandheld;

namespace {

constexpr const char* kDatabase = "P_ZILBA.CDB";
constexpr const char* kSignatures = "Signatures";

struct EventKind {
    int code;
    const char* text;
};
// Event codes of the field application, with the notes its users typically type.
const EventKind kEvents[] = {
    {101, "Arrived on site"},          {102, "Work started"},
    {103, "Work completed, area left tidy"}, {104, "Customer signed for completed work"},
    {201, "No access to property"},    {202, "Customer not at home, card left"},
    {301, "Parts required: 15mm compression elbow x2"},
};
constexpr int kEventKinds = sizeof kEvents / sizeof kEvents[0];

class Db {
public:
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            Fail("cannot create the database " + path);
    }
    ~Db() { sqlite3_close(db_); }
    void Exec(const std::string& sql) {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail("database error");
    }
    sqlite3* get() const { return db_; }
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error(what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
    }

private:
    sqlite3* db_ = nullptr;
};

std::string Timestamp(int row) {
    std::tm base{};
    base.tm_year = 2026 - 1900;
    base.tm_mon = 11;
    base.tm_mday = 5;
    base.tm_hour = 7;
    base.tm_min = 45;
    std::time_t t = timegm(&base) + static_cast<std::time_t>(row) * 977;
    std::tm at{};
    gmtime_r(&t, &at);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &at);
    return text;
}

void WriteDatabase(const std::string& path, const CreateOptions& o) {
    Db db(path);
    db.Exec("BEGIN");
    db.Exec("CREATE TABLE Control(SiteName TEXT)");
    db.Exec("CREATE TABLE Jobs(UserID INTEGER, EventCode INTEGER, JobNumber INTEGER, "
            "DateTime TEXT, Text TEXT, Signature TEXT)");
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), "INSERT INTO Control(SiteName) VALUES(?)", -1, &stmt,
                           nullptr) != SQLITE_OK)
        db.Fail("database error");
    sqlite3_bind_text(stmt, 1, o.site.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) db.Fail("database error");

    if (sqlite3_prepare_v2(db.get(),
                           "INSERT INTO Jobs(UserID, EventCode, JobNumber, DateTime, Text, "
                           "Signature) VALUES(?, ?, ?, ?, ?, ?)",
                           -1, &stmt, nullptr) != SQLITE_OK)
        db.Fail("database error");
    // The signatures are spread over the jobs.
    std::vector<int> signatureOf(static_cast<size_t>(o.jobs), 0);
    // More bitmaps than jobs leaves the extra ones without a row, as a handheld may.
    for (int k = 0; k < o.signatures && k < o.jobs; ++k) {
        auto row = static_cast<size_t>(o.signatures <= o.jobs
                                           ? static_cast<long long>(k) * o.jobs / o.signatures
                                           : k);
        signatureOf[row] = 5001 + k;
    }
    for (int i = 0; i < o.jobs; ++i) {
        // Rows go in as the handheld records them, in time order, so event codes come mixed.
        int kind = (i * 3 + 1) % kEventKinds;
        sqlite3_reset(stmt);
        sqlite3_bind_int(stmt, 1, 42 + (i / 10) % 3);
        sqlite3_bind_int(stmt, 2, kEvents[kind].code);
        sqlite3_bind_int(stmt, 3, 731 + i / 2);
        std::string when = Timestamp(i);
        sqlite3_bind_text(stmt, 4, when.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, kEvents[kind].text, -1, SQLITE_STATIC);
        std::string signature = std::to_string(signatureOf[static_cast<size_t>(i)]);
        if (signatureOf[static_cast<size_t>(i)])
            sqlite3_bind_text(stmt, 6, signature.c_str(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(stmt, 6);
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            sqlite3_finalize(stmt);
            db.Fail("database error");
        }
    }
    sqlite3_finalize(stmt);
    db.Exec("COMMIT");
}

void WriteBinary(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

// A fresh, unused name beside `folder`'s contents.
std::string UniqueName(const std::string& parent, const std::string& stem) {
    std::string pattern = parent + "/." + stem + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a folder in " + parent + ": " + std::strerror(errno));
    return pattern;
}

void Validate(const CreateOptions& o) {
    if (o.jobs < 0 || o.jobs > 100000) throw std::runtime_error("--jobs must be between 0 and 100000");
    if (o.signatures < 0 || o.signatures > 10000)
        throw std::runtime_error("--signatures must be between 0 and 10000");
    if (o.site.empty()) throw std::runtime_error("--site must not be empty");
}

}  // namespace

void Create(const CreateOptions& o) {
    Validate(o);
    SimulatedHandheld handheld;
    auto names = SimulatedHandheld::Split(o.deviceDir);
    if (!names) throw std::runtime_error("not a handheld folder: " + o.deviceDir);

    // Where the data folder goes: below the folders of the path (reused whatever their case),
    // or the handheld's root itself for "\".
    std::string parent, target;
    auto existing = handheld.Resolve(*names);
    if (existing && !o.force)
        throw std::runtime_error("a handheld already exists at " + *existing +
                                 " (use --force to replace its data)");
    if (names->empty()) {
        target = handheld.Root();
        parent = fs::path(target).parent_path().string();
        if (!zc::posix::MakeFolders(parent)) throw std::runtime_error("cannot create " + parent);
    } else {
        std::string last = names->back();
        names->pop_back();
        std::string folders;
        for (const auto& n : *names) folders += "\\" + n;
        auto made = handheld.MakeFolders(folders);
        if (!made) throw std::runtime_error("cannot create the handheld folder " + o.deviceDir);
        parent = *made;
        target = existing ? *existing : parent + "/" + last;
    }

    // The new data is built beside the old and swapped in whole, so a failure leaves the old
    // handheld as it was.
    std::string staging = UniqueName(parent, "zilba-sim-new");
    try {
        WriteDatabase(staging + "/" + kDatabase, o);
        std::string signatures = staging + "/" + kSignatures;
        if (::mkdir(signatures.c_str(), 0777) != 0)
            throw std::runtime_error("cannot create " + signatures + ": " + std::strerror(errno));
        for (int k = 0; k < o.signatures; ++k)
            WriteBinary(signatures + "/S_" + std::to_string(5001 + k) + ".bmp",
                        SignatureBitmap(static_cast<uint32_t>(k) + 1));

        if (existing) {
            std::string old = UniqueName(parent, "zilba-sim-old");
            ::rmdir(old.c_str());
            if (::rename(target.c_str(), old.c_str()) != 0)
                throw std::runtime_error("cannot replace " + target + ": " + std::strerror(errno));
            if (::rename(staging.c_str(), target.c_str()) != 0) {
                int err = errno;
                ::rename(old.c_str(), target.c_str());
                throw std::runtime_error("cannot replace " + target + ": " + std::strerror(err));
            }
            std::error_code ec;
            fs::remove_all(old, ec);
        } else if (::rename(staging.c_str(), target.c_str()) != 0) {
            throw std::runtime_error("cannot create " + target + ": " + std::strerror(errno));
        }
    } catch (...) {
        std::error_code ec;
        fs::remove_all(staging, ec);
        throw;
    }

    if (::unlink(handheld.Marker().c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("cannot dock the handheld: " + std::string(std::strerror(errno)));
    std::cout << "Created handheld at " << target << ": " << o.jobs << " jobs, " << o.signatures
              << " signatures, site " << o.site << " (docked)\n";
}

void Status(const std::string& deviceDir) {
    SimulatedHandheld handheld;
    struct stat st{};
    bool rootExists = ::stat(handheld.Root().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::cout << "Root: " << handheld.Root() << (rootExists ? "" : " (not created)") << "\n";
    std::cout << "Docked: " << (handheld.Docked() ? "yes" : "no") << "\n";
    auto folder = handheld.Resolve(deviceDir);
    std::cout << "Handheld directory: " << deviceDir << " -> " << (folder ? *folder : "missing")
              << "\n";

    std::string jobs = "none (no database)";
    if (auto db = handheld.Resolve(deviceDir + "\\" + kDatabase)) {
        sqlite3* conn = nullptr;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_open_v2(db->c_str(), &conn, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(conn, "SELECT count(*) FROM Jobs", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            jobs = std::to_string(sqlite3_column_int64(stmt, 0));
        else
            jobs = std::string("unreadable (") + (conn ? sqlite3_errmsg(conn) : "out of memory") + ")";
        sqlite3_finalize(stmt);
        sqlite3_close(conn);
    }
    std::cout << "Jobs: " << jobs << "\n";

    size_t bitmaps = 0;
    if (auto sigs = handheld.Resolve(deviceDir + "\\" + kSignatures))
        for (const auto& e : SimulatedHandheld::List(*sigs, "*.bmp"))
            if (!e.folder) ++bitmaps;
    std::cout << "Signatures: " << bitmaps << "\n";
    std::cout << "Purge flag: " << (handheld.Resolve(deviceDir + "\\.purge") ? "present" : "absent")
              << "\n";
}

}  // namespace zilba_sim
