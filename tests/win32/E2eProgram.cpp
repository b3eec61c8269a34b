// ZilbaCompanion-e2e.exe, the program of the whole transfer under Wine: the shipped program but
// for Jet 4.0, which Wine lacks. Its database reads the converted copy of the handheld's as the
// text the test put there: one row a line, its table, then tab, "column=value" ("#column" a
// number; a column left out is null) and so on. It runs the export's two statements only.
// ZC_CONNECT_LIMIT_MS, when set, shortens the wait for a handheld, so that a test of nothing
// docked need not wait the shipped 30 s.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "app/win32/Program.h"
#include "platform/Error.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinText.h"

namespace {

using Row = std::map<std::string, zc::FieldValue, std::less<>>;

// Raises, as a row set must, when there is no current row.
struct Rows : zc::Recordset {
    bool Eof() override { return at >= rows.size(); }
    void Read(std::string_view name, zc::FieldValue& value) override {
        auto field = rows.at(at).find(name);
        value = field == rows[at].end() ? zc::FieldValue{} : field->second;
    }
    void MoveNext() override {
        if (Eof()) throw std::out_of_range("no current row");
        ++at;
    }

    std::vector<Row> rows;
    size_t at = 0;
};

// Opening gives a database of its own, holding the tables, as the connection.
struct TextDatabase : zc::Database, zc::Connection {
    std::unique_ptr<zc::Connection> Open(const std::string& connection) override {
        const std::string path = std::regex_replace(connection, std::regex(".*Data Source=([^;]*).*"), "$1");
        std::ifstream file(std::filesystem::path(zc::win32::Widen(path)), std::ios::binary);
        file.ignore(16);  // the bytes the stand-in filter checks; the test checks the whole copy
        std::string line, table, cell;
        auto database = std::make_unique<TextDatabase>();
        while (std::getline(file, line)) {
            std::istringstream cells(line);
            std::getline(cells, table, '\t');
            Row& row = database->tables_[table].emplace_back();
            while (std::getline(cells, cell, '\t')) {
                size_t is = cell.find('='), name = cell[0] == '#' ? 1 : 0;
                row[cell.substr(name, is - name)] = {false, name == 1, cell.substr(is + 1)};
            }
        }
        return database;
    }
    std::unique_ptr<zc::Recordset> Execute(const std::string& sql) override {
        std::smatch is;
        if (!std::regex_match(sql, is, std::regex(R"(SELECT \* FROM \[(\w+)\]( ORDER BY \[(\w+)\])?)")) ||
            !tables_.count(is[1]))
            throw zc::Error(-2147217865, "The test database cannot run: " + sql);
        auto rows = std::make_unique<Rows>();
        rows->rows = tables_[is[1]];
        const std::string column = is[3];
        if (!column.empty())
            std::stable_sort(rows->rows.begin(), rows->rows.end(), [&column](const Row& a, const Row& b) {
                return std::stol(a.at(column).text) < std::stol(b.at(column).text);
            });
        return rows;
    }

    std::map<std::string, std::vector<Row>> tables_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    zc::win32::Win32Platform os;
    char limit[16];
    DWORD n = ::GetEnvironmentVariableA("ZC_CONNECT_LIMIT_MS", limit, sizeof limit);
    if (n > 0 && n < sizeof limit) os.rapi.connectLimit = std::chrono::milliseconds(std::atol(limit));
    TextDatabase database;
    zc::Platform platform{os.registry, os.kernel, os.shell, os.rapi, os.files, database, os.http, os.clock};
    return zc::win32::RunProgram(instance, platform);
}
