// The export writer fed arbitrary row values in a real desktop database: no crash, and the file
// is always framed by its START and STOP records with one EVENT record per row.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "export/Export.h"
#include "platform/Error.h"
#include "platform/posix/PosixPlatform.h"
#include "support/FakeForm.h"

// Values are separated by NUL bytes; a value that is the single byte 0x01 is a null. The first
// is the site; every six after it are a row of Jobs. Gives the number of rows.
size_t StoreRows(const std::string& file, const uint8_t* data, size_t size) {
    std::filesystem::remove(file);
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; CREATE TABLE Control(SiteName TEXT);"
                     "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, Signature);",
                 nullptr, nullptr, nullptr);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> values;
    for (std::string value; std::getline(in, value, '\0');) values.push_back(value);
    auto insert = [db, &values](const char* sql, size_t first, size_t count) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        for (size_t c = 0; c < count; ++c) {
            const std::string& v = values[first + c];
            if (v == "\x01") sqlite3_bind_null(statement, int(c) + 1);
            else sqlite3_bind_text(statement, int(c) + 1, v.data(), int(v.size()), SQLITE_TRANSIENT);
        }
        sqlite3_step(statement);
        sqlite3_finalize(statement);
    };
    if (!values.empty()) insert("INSERT INTO Control VALUES(?)", 0, 1);
    const size_t rows = values.empty() ? 0 : (values.size() - 1) / 6;
    for (size_t row = 0; row < rows; ++row) insert("INSERT INTO Jobs VALUES(?, ?, ?, ?, ?, ?)", 1 + 6 * row, 6);
    sqlite3_close(db);
    return rows;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        std::string path = std::filesystem::temp_directory_path() / ("zc-fuzz-export-" + std::to_string(getpid()));
        std::filesystem::create_directories(path + "/Export");
        static std::string remove = path;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return path;
    }();
    const size_t rows = StoreRows(folder + "/P_ZILBA.MDB", data, size);
    zc::posix::PosixPlatform os;
    zc::test::FakeForm window;
    window.fields[zc::Field::LocalDir] = folder;
    window.fields[zc::Field::Site] = "bnwck";
    window.answers = {size % 2 == 0};  // the site question, when it comes, both ways
    zc::MainForm f(window, os.platform());
    try {
        zc::CreateExportFile(f);
    } catch (const zc::Error&) {
        return 0;  // no Control row or a counter at its limit: refused, as it should be
    }
    std::ifstream in(f.strExportFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(f.strExportFile);
    if (!text.starts_with("&&START%%\r\n") || !text.ends_with("&&STOP%%\r\n")) std::abort();
    size_t eventLines = 0;
    for (const std::string& line : window.log) eventLines += line.starts_with("  ..Event: ");
    if (eventLines != rows || window.fields[zc::Field::Events] != std::to_string(rows)) std::abort();
    return 0;
}
