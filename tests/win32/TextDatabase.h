#pragma once
// The database double of the whole transfer under Wine, which has no Jet: it reads the converted
// copy as text, a row a line: its table, then tab-separated "column=value" ("#column" a number,
// a column left out null). It runs the export's two statements only.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace zc::test {

using Row = std::map<std::string, FieldValue, std::less<>>;

struct TextDatabase : Database, Connection, Recordset {
    std::unique_ptr<Connection> Open(const std::string& connection) override {
        const std::string path = std::regex_replace(connection, std::regex(".*Data Source=([^;]*).*"), "$1");
        std::ifstream file(std::filesystem::path(win32::Widen(path)), std::ios::binary);
        file.ignore(16);  // the bytes the stand-in filter checks
        auto database = std::make_unique<TextDatabase>();
        for (std::string line, table, cell; std::getline(file, line);) {
            std::istringstream cells(line);
            Row& row = database->tables_[std::getline(cells, table, '\t') ? table : ""].emplace_back();
            while (std::getline(cells, cell, '\t')) {
                size_t is = cell.find('='), name = cell[0] == '#' ? 1 : 0;
                row[cell.substr(name, is - name)] = {false, name == 1, cell.substr(is + 1)};
            }
        }
        return database;
    }
    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        std::smatch is;
        if (!std::regex_match(sql, is, std::regex(R"(SELECT \* FROM \[(\w+)\]( ORDER BY \[(\w+)\])?)")) ||
            !tables_.count(is[1]))
            throw Error(-2147217865, "The test database cannot run: " + sql);
        auto rows = std::make_unique<TextDatabase>();
        rows->rows_ = tables_[is[1]];
        if (const std::string column = is[3]; !column.empty())
            std::stable_sort(rows->rows_.begin(), rows->rows_.end(), [&column](const Row& a, const Row& b) {
                return std::stol(a.at(column).text) < std::stol(b.at(column).text);
            });
        return rows;
    }
    bool Eof() override { return at_ >= rows_.size(); }
    void Read(std::string_view name, FieldValue& value) override {
        auto field = rows_.at(at_).find(name);
        value = field == rows_[at_].end() ? FieldValue{} : field->second;
    }
    void MoveNext() override {
        if (Eof()) throw std::out_of_range("no current row");
        ++at_;
    }

    std::map<std::string, std::vector<Row>> tables_;
    std::vector<Row> rows_;
    size_t at_ = 0;
};

}  // namespace zc::test
