// ZilbaCompanion-e2e.exe, the program of the whole transfer under Wine: the shipped program but
// for Jet 4.0, which Wine lacks. Its database reads the converted copy of the handheld's as the
// text the test put there behind the 16 bytes the stand-in filter checks: one row a line, its
// table, then tab, "column=value" ("#column" a number; a column left out is null) and so on.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/win32/Program.h"
#include "platform/Error.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinText.h"

namespace {

using Row = std::map<std::string, zc::FieldValue, std::less<>>;

class Rows : public zc::Recordset {
public:
    explicit Rows(std::vector<Row> rows) : rows_(std::move(rows)) {}
    bool Eof() override { return at_ >= rows_.size(); }
    void Read(std::string_view name, zc::FieldValue& value) override {
        auto field = Current().find(name);
        value = field == Current().end() ? zc::FieldValue{} : field->second;
    }
    void MoveNext() override {
        Current();
        ++at_;
    }

private:
    const Row& Current() {
        if (Eof()) throw zc::Error(3021, "Either BOF or EOF is True, or the current record has been deleted.");
        return rows_[at_];
    }
    std::vector<Row> rows_;
    size_t at_ = 0;
};

class TextConnection : public zc::Connection {
public:
    explicit TextConnection(const std::string& path) {
        std::ifstream file(std::filesystem::path(zc::win32::Widen(path)), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (text.compare(0, 16, std::string("SQLite format 3\0", 16)) != 0)
            throw zc::Error(-2147467259, "Unrecognized database format '" + path + "'.");
        std::istringstream in(text.substr(16));
        for (std::string line, table, cell; std::getline(in, line);) {
            std::istringstream cells(line);
            std::getline(cells, table, '\t');
            Row& row = tables_[table].emplace_back();
            while (std::getline(cells, cell, '\t')) {
                size_t is = cell.find('='), name = cell[0] == '#' ? 1 : 0;
                row[cell.substr(name, is - name)] = {false, name == 1, cell.substr(is + 1)};
            }
        }
    }
    std::unique_ptr<zc::Recordset> Execute(const std::string& sql) override {
        auto table = tables_.find(Bracketed(sql, "SELECT * FROM ["));
        if (table == tables_.end()) throw zc::Error(-2147217865, "Cannot find the input table: " + sql);
        std::vector<Row> rows = table->second;
        if (std::string column = Bracketed(sql, "ORDER BY ["); !column.empty())
            std::stable_sort(rows.begin(), rows.end(), [&column](const Row& a, const Row& b) {
                return std::stol(a.at(column).text) < std::stol(b.at(column).text);
            });
        return std::make_unique<Rows>(std::move(rows));
    }

private:
    static std::string Bracketed(const std::string& sql, const std::string& before) {
        size_t at = sql.find(before);
        return at == std::string::npos ? "" : sql.substr(at + before.size(), sql.find(']', at) - at - before.size());
    }
    std::map<std::string, std::vector<Row>> tables_;
};

struct TextDatabase : zc::Database {
    std::unique_ptr<zc::Connection> Open(const std::string& connection) override {
        size_t at = connection.find("Data Source=") + 12;
        return std::make_unique<TextConnection>(connection.substr(at, connection.find(';', at) - at));
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    zc::win32::Win32Platform os;
    TextDatabase database;
    zc::Platform platform{os.registry, os.kernel, os.shell, os.rapi, os.files, database, os.http, os.clock};
    return zc::win32::RunProgram(instance, platform);
}
