// The export writer fed arbitrary row values: no crash, and the file is always framed by its
// START and STOP records with one EVENT record per row.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/Form.h"
#include "support/FakeForm.h"
#include "export/Export.h"
#include "platform/Error.h"
#include "platform/posix/PosixPlatform.h"

namespace {

using Row = std::map<std::string, zc::FieldValue>;

class Rows : public zc::Recordset {
public:
    explicit Rows(std::vector<Row> rows) : rows_(std::move(rows)) {}
    bool Eof() override { return at_ >= rows_.size(); }
    void Read(std::string_view name, zc::FieldValue& value) override {
        if (Eof()) throw zc::Error(3021, "No current record");
        auto field = rows_[at_].find(std::string(name));
        if (field == rows_[at_].end()) throw zc::Error(3265, "no such column: " + std::string(name));
        value = field->second;
    }
    void MoveNext() override {
        if (Eof()) throw zc::Error(3021, "No current record");
        ++at_;
    }

private:
    std::vector<Row> rows_;
    size_t at_ = 0;
};

struct Tables : zc::Database, zc::Connection {
    std::vector<Row> control, jobs;
    std::unique_ptr<zc::Connection> Open(const std::string&) override {
        struct Handle : zc::Connection {
            Tables& t;
            explicit Handle(Tables& tables) : t(tables) {}
            std::unique_ptr<zc::Recordset> Execute(const std::string& sql) override { return t.Execute(sql); }
        };
        return std::make_unique<Handle>(*this);
    }
    std::unique_ptr<zc::Recordset> Execute(const std::string& sql) override {
        return std::make_unique<Rows>(sql.find("[Control]") != std::string::npos ? control : jobs);
    }
};

struct Clock : zc::Clock {
    zc::LocalDateTime Now() override { return {2026, 12, 6, 19, 20, 9}; }
    std::string ShortDate(const zc::LocalDateTime& t) override {
        return std::to_string(t.day) + "/" + std::to_string(t.month) + "/" + std::to_string(t.year);
    }
    std::string LongTime(const zc::LocalDateTime& t) override {
        return std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second);
    }
};

// Values are separated by NUL bytes; a value that is the single byte 0x01 is a null.
std::vector<zc::FieldValue> Values(const uint8_t* data, size_t size) {
    std::vector<zc::FieldValue> values;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    for (std::string value; std::getline(in, value, '\0');) {
        zc::FieldValue v;
        v.isNull = value == "\x01";
        if (!v.isNull) v.text = value;
        values.push_back(v);
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        std::string path = std::filesystem::temp_directory_path() / ("zc-fuzz-export-" + std::to_string(getpid()));
        std::filesystem::create_directories(path + "/Export");
        static std::string remove = path;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return path;
    }();
    std::vector<zc::FieldValue> values = Values(data, size);
    Tables tables;
    if (!values.empty()) tables.control.push_back({{"SiteName", values[0]}});
    static const char* const kColumns[] = {"UserID", "EventCode", "JobNumber", "DateTime", "Text", "Signature"};
    for (size_t i = 1; i + 6 <= values.size(); i += 6) {
        Row row;
        for (size_t c = 0; c < 6; ++c) row[kColumns[c]] = values[i + c];
        tables.jobs.push_back(row);
    }

    zc::posix::PosixRegistry registry;
    zc::posix::PosixKernel kernel;
    zc::posix::PosixShellFolder shell;
    zc::posix::SimulatedRapi rapi;
    zc::posix::PosixFileSystem files;
    zc::posix::CurlHttp http;
    Clock clock;
    zc::Platform os{registry, kernel, shell, rapi, files, tables, http, clock};
    zc::test::FakeForm window;
    window.fields[zc::Field::LocalDir] = folder;
    window.fields[zc::Field::Site] = "bnwck";
    window.answers = {size % 2 == 0};  // the site question, when it comes, both ways
    zc::MainForm f(window, os);
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
    if (eventLines != tables.jobs.size()) std::abort();
    if (window.fields[zc::Field::Events] != std::to_string(tables.jobs.size())) std::abort();
    return 0;
}
