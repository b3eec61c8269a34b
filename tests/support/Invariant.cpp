#include "support/Invariant.h"

#include <sqlite3.h>

#include "core/Settings.h"
#include "platform/posix/PosixRegistry.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

// Every row of Jobs as text, each column's name and quoted value, in rowid order; nothing when
// the file is not a database with Jobs.
std::vector<std::string> JobRows(const std::string& file) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT * FROM Jobs ORDER BY rowid", -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                std::string row;
                for (int c = 0; c < sqlite3_column_count(st); ++c) {
                    const unsigned char* text = sqlite3_column_text(st, c);
                    row += std::string(sqlite3_column_name(st, c)) + "=" + std::to_string(sqlite3_column_type(st, c)) +
                           ":" + (text ? reinterpret_cast<const char*>(text) : "") + "|";
                }
                rows.push_back(row);
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

bool HasCopy(const std::multimap<std::string, std::string>& files, const std::string& name, const std::string& bytes) {
    auto [from, to] = files.equal_range(name);
    for (auto it = from; it != to; ++it)
        if (ReadFile(it->second) == bytes) return true;
    return false;
}

// Whole export files (ending with their STOP record) holding exactly `events` EVENT records.
bool HasWholeExport(const std::multimap<std::string, std::string>& files, size_t events) {
    for (const auto& [name, path] : files) {
        if (!name.starts_with("c_zilba_") || !name.ends_with(".txt")) continue;
        std::string text = ReadFile(path);
        size_t n = 0;
        for (size_t at = text.find("\r\n&&EVENT+++"); at != std::string::npos; at = text.find("\r\n&&EVENT+++", at + 1)) ++n;
        if (text.ends_with("\r\n&&STOP%%\r\n") && n == events) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> Breaches(const World& world, const std::string& box) {
    std::vector<std::string> breaches;
    // On the PC: the export folder and the backups (several copies of one name may be kept).
    std::multimap<std::string, std::string> pc = FilesBelow(world.localDir + "/Export"), served = FilesBelow(world.served);
    pc.merge(FilesBelow(world.localDir + "/Upload"));

    const bool flagged = fs::exists(fs::path(world.handheld) / ".purge");
    const bool finished = box == "Finished. For more information please see the log.";
    bool undelivered = false;
    // One piece of the handheld's data: delivered (b), or kept and told (c), when the handheld
    // no longer vouches for it (a).
    auto check = [&](const std::string& what, bool onServer, bool onPc) {
        if (onServer || (!flagged && !finished)) return;
        undelivered = true;
        if (finished) breaches.push_back("the run said Finished but the server does not hold " + what);
        else if (!onPc) breaches.push_back("the handheld is marked collected but " + what + " is neither on the server nor on the PC");
    };
    if (fs::is_directory(world.handheld + "/Signatures"))
        for (const auto& e : fs::directory_iterator(world.handheld + "/Signatures")) {
            if (!e.is_regular_file()) continue;
            std::string name = e.path().filename().string(), bytes = ReadFile(e.path().string());
            check(name + " byte for byte", HasCopy(served, name, bytes), HasCopy(pc, name, bytes));
        }
    std::vector<std::string> rows = JobRows(world.handheld + "/P_ZILBA.CDB");
    if (flagged && (rows.empty() || JobRows(world.localDir + "/P_ZILBA.MDB") != rows))
        breaches.push_back("the handheld is marked collected but its job rows are not all in the desktop database");
    check("an export file of all " + std::to_string(rows.size()) + " job rows", HasWholeExport(served, rows.size()),
          HasWholeExport(pc, rows.size()));
    if (undelivered && !box.empty() && box.find("kept in") == std::string::npos &&
        box.find("still holds") == std::string::npos)
        breaches.push_back("not everything reached the server, and the box does not say where it is kept: " + box);

    // Finished leaves nothing waiting: an export file left in the export folder would be asked
    // for by the next Transfer, and sent and imported a second time.
    for (const auto& [name, path] : FilesBelow(world.localDir + "/Export"))
        if (finished && name.starts_with("c_zilba_"))
            breaches.push_back("the run said Finished but " + name + " waits in the export folder");
    for (const auto& [name, path] : served) {
        std::string bytes = ReadFile(path);
        bool fromHandheld = fs::exists(world.handheld + "/Signatures/" + name) &&
                            ReadFile(world.handheld + "/Signatures/" + name) == bytes;
        if (!fromHandheld && !HasCopy(pc, name, bytes))
            breaches.push_back("the server holds " + name + ", which matches no file it came from");
    }
    // Each row imported once: no EVENT record in two imports (or twice in one) below `served`.
    if (!world.serverLog.empty()) {
        std::map<std::string, int> imported;
        std::string log = ReadFile(world.serverLog);
        const std::string mark = " 200 imported " + world.served + "/";
        for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
            size_t from = at + mark.size() - world.served.size() - 1, end = log.find(" (", from);
            std::string text = ReadFile(log.substr(from, end - from));
            for (size_t e = text.find("&&EVENT+++"); e != std::string::npos; e = text.find("&&EVENT+++", e + 1))
                if (++imported[text.substr(e, text.find("\r\n", e) - e)] == 2)
                    breaches.push_back("the server imported a row twice: " + text.substr(e, text.find("\r\n", e) - e));
        }
    }
    std::map<std::string, std::string> settings = StoredSettings();
    for (const auto& [name, value] : world.settings)
        if (settings[name] != value)
            breaches.push_back("the setting " + name + " reads \"" + settings[name] + "\", not \"" + value + "\"");
    return breaches;
}

std::multimap<std::string, std::string> FilesBelow(const std::string& folder) {
    std::multimap<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file()) files.emplace(it->path().filename().string(), it->path().string());
    return files;
}

std::map<std::string, std::string> StoredSettings() {
    posix::PosixRegistry registry;
    std::map<std::string, std::string> values;
    for (const char* name : {"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"})
        values[name] = RegReadString(registry, kHkeyCurrentUser, kSettingsKey, name);
    return values;
}

}  // namespace zc::test
