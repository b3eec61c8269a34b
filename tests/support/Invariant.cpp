#include "support/Invariant.h"

#include <sqlite3.h>

#include <filesystem>

#include "app/Settings.h"
#include "platform/posix/PosixRegistry.h"
#include "support/TempDir.h"

namespace zc::test {
namespace fs = std::filesystem;

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

// Every plain file of the export folder and of the backup folders, by name (several copies kept).
std::multimap<std::string, std::string> OnThePc(const std::string& localDir) {
    std::multimap<std::string, std::string> files;
    auto add = [&](const fs::path& folder) {
        if (!fs::is_directory(folder)) return;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.is_regular_file()) files.emplace(e.path().filename().string(), e.path().string());
    };
    add(fs::path(localDir) / "Export");
    if (fs::is_directory(fs::path(localDir) / "Upload"))
        for (const auto& e : fs::directory_iterator(fs::path(localDir) / "Upload")) add(e.path());
    return files;
}

bool HasCopy(const std::multimap<std::string, std::string>& files, const std::string& name, const std::string& bytes) {
    auto [from, to] = files.equal_range(name);
    for (auto it = from; it != to; ++it)
        if (ReadFile(it->second) == bytes) return true;
    return false;
}

}  // namespace

std::vector<std::string> Breaches(const World& world) {
    std::vector<std::string> breaches;
    std::multimap<std::string, std::string> pc = OnThePc(world.localDir);
    if (fs::exists(fs::path(world.handheld) / ".purge")) {
        std::vector<std::string> rows = JobRows(world.handheld + "/P_ZILBA.CDB");
        if (rows.empty() || JobRows(world.localDir + "/P_ZILBA.MDB") != rows)
            breaches.push_back("the handheld is marked collected but its job rows are not all on the PC");
        for (const auto& e : fs::directory_iterator(world.handheld + "/Signatures"))
            if (e.is_regular_file() && !HasCopy(pc, e.path().filename().string(), ReadFile(e.path().string())))
                breaches.push_back("the handheld is marked collected but " + e.path().filename().string() +
                                   " is not on the PC byte for byte");
    }
    if (!world.served.empty() && fs::is_directory(world.served))
        for (const auto& e : fs::recursive_directory_iterator(world.served)) {
            if (!e.is_regular_file()) continue;
            std::string name = e.path().filename().string();
            std::string bytes = ReadFile(e.path().string());
            bool fromHandheld = fs::exists(world.handheld + "/Signatures/" + name) &&
                                ReadFile(world.handheld + "/Signatures/" + name) == bytes;
            if (!fromHandheld && !HasCopy(pc, name, bytes))
                breaches.push_back("the server holds " + name + ", which matches no file it came from");
        }
    std::map<std::string, std::string> settings = StoredSettings();
    for (const auto& [name, value] : world.settings)
        if (settings[name] != value)
            breaches.push_back("the setting " + name + " reads \"" + settings[name] + "\", not \"" + value + "\"");
    return breaches;
}

std::map<std::string, std::string> StoredSettings() {
    posix::PosixRegistry registry;
    std::map<std::string, std::string> values;
    for (const char* name : {"HPC_LOCATION", "PC_LOCATION", "SERVER_NAME", "SITE_NAME"})
        values[name] = RegReadString(registry, kHkeyCurrentUser, kSettingsKey, name);
    return values;
}

}  // namespace zc::test
