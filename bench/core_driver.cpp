// zc-bench-core: the toolkit-free parts of the benchmark. Each command does one thing and
// prints what it measured as "key=value" lines, so bench/run can take the process's own peak
// memory around it (one command per process).
//
//   bitmaps FOLDER WIDTH HEIGHT   rewrites every *.bmp in FOLDER as its centre, cropped
//   bitmap PATH WIDTH HEIGHT      one 24-bit bitmap of that size (a grey wash)
//   makedb PATH ROWS              a desktop database with ROWS job rows
//   export LOCALDIR               CreateExportFile over LOCALDIR/P_ZILBA.MDB
//   upload LOCALDIR HOST EXPORT   UploadFiles of EXPORT and LOCALDIR/Export/*.bmp to HOST
//   boundaries COUNT              the boundary words of the first COUNT uploads, one a line
//   bodycheck LOCALDIR SITE BODIES  compares the baseline's request bodies with the program's
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/Form.h"
#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/posix/PosixPlatform.h"
#include "server/Server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A form without windows: fields in a map, the log counted but not kept (a kept log would be
// the form's memory, not the step's), every question answered Yes. Counters are kept as
// numbers on the side so that a million rows do not run into the 16-bit counter.
class SinkForm : public zc::Form {
public:
    std::string Text(zc::Field field) override {
        if (IsCounter(field)) return "0";
        return fields[field];
    }
    void SetText(zc::Field field, const std::string& text) override {
        if (IsCounter(field)) ++counts[field];
        else fields[field] = text;
    }
    void Refresh() override {}
    void WriteLog(const std::string&) override { ++logLines; }
    void ShowLog() override {}
    bool AskYesNo(const std::string&) override { return true; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowWarning(const std::string& text) override { messages.push_back(text); }
    std::string ChooseFile(const std::string&, const std::string&) override { return {}; }
    void SetCursor(zc::Cursor) override {}

    std::map<zc::Field, std::string> fields;
    std::map<zc::Field, long> counts;
    std::vector<std::string> messages;
    long logLines = 0;

private:
    static bool IsCounter(zc::Field f) {
        return f == zc::Field::Sessions || f == zc::Field::Events || f == zc::Field::Signs ||
               f == zc::Field::Success || f == zc::Field::Failure;
    }
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

uint32_t Get32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The sample handheld's bitmaps have one fixed size; the benchmark wants a given one. The crop
// keeps them real 24-bit bitmaps with the pen strokes of the middle.
int Bitmaps(const std::string& folder, int width, int height) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".bmp") continue;
        std::string in = ReadAll(entry.path().string());
        if (in.size() < 54 || in.compare(0, 2, "BM") != 0 || Get32(in, 14) != 40)
            throw std::runtime_error("not a plain bitmap: " + entry.path().string());
        int inWidth = static_cast<int>(Get32(in, 18)), inHeight = static_cast<int>(Get32(in, 22));
        uint32_t offset = Get32(in, 10);
        if (width > inWidth || height > inHeight)
            throw std::runtime_error("the crop is larger than the bitmap");
        size_t inRow = static_cast<size_t>((inWidth * 3 + 3) / 4 * 4);
        size_t outRow = static_cast<size_t>((width * 3 + 3) / 4 * 4);
        int x0 = (inWidth - width) / 2, y0 = (inHeight - height) / 2;
        std::string out(54, '\0');
        out.replace(0, 54, in, 0, 54);
        for (int y = 0; y < height; ++y) {
            std::string row(outRow, '\0');
            size_t from = offset + static_cast<size_t>(y0 + y) * inRow + static_cast<size_t>(x0) * 3;
            row.replace(0, static_cast<size_t>(width) * 3, in, from, static_cast<size_t>(width) * 3);
            out += row;
        }
        Put32(out, 2, static_cast<uint32_t>(out.size()));
        Put32(out, 10, 54);
        Put32(out, 18, static_cast<uint32_t>(width));
        Put32(out, 22, static_cast<uint32_t>(height));
        Put32(out, 34, static_cast<uint32_t>(out.size() - 54));
        WriteAll(entry.path().string(), out);
        ++count;
    }
    std::cout << "bitmaps=" << count << "\n";
    return 0;
}

// A large bitmap written a row at a time, so that making it costs no memory of its size.
int Bitmap(const std::string& path, int width, int height) {
    size_t rowBytes = static_cast<size_t>((width * 3 + 3) / 4 * 4);
    uint64_t pixels = static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height);
    if (width <= 0 || height <= 0 || pixels + 54 > UINT32_MAX) throw std::runtime_error("unusable bitmap size");
    std::string header(54, '\0');
    header[0] = 'B';
    header[1] = 'M';
    Put32(header, 2, static_cast<uint32_t>(pixels + 54));
    Put32(header, 10, 54);
    Put32(header, 14, 40);
    Put32(header, 18, static_cast<uint32_t>(width));
    Put32(header, 22, static_cast<uint32_t>(height));
    header[26] = 1;   // planes
    header[28] = 24;  // bits per pixel
    Put32(header, 34, static_cast<uint32_t>(pixels));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::string row(rowBytes, '\0');
    for (int y = 0; y < height; ++y) {
        for (size_t x = 0; x < rowBytes; ++x) row[x] = static_cast<char>((x + static_cast<size_t>(y)) % 251);
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
    std::cout << "bytes=" << pixels + 54 << "\n";
    return 0;
}

void Exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

// The desktop database as the filter library leaves it, with rows like the sample handheld's:
// mixed event codes in time order, a signature on every twentieth job.
int MakeDatabase(const std::string& path, long rows) {
    fs::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + path);
    std::string sql =
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
        "CREATE TABLE Control(SiteName TEXT); INSERT INTO Control VALUES('bnwck');"
        "CREATE TABLE Jobs(UserID INTEGER, EventCode INTEGER, JobNumber INTEGER, DateTime TEXT,"
        " Text TEXT, Signature TEXT);"
        "CREATE TEMP TABLE kinds(k INTEGER PRIMARY KEY, code INTEGER, text TEXT);"
        "INSERT INTO kinds VALUES (0,101,'Arrived on site'),(1,102,'Work started'),"
        "(2,103,'Work completed, area left tidy'),(3,104,'Customer signed for completed work'),"
        "(4,201,'No access to property'),(5,202,'Customer not at home, card left'),"
        "(6,301,'Parts required: 15mm compression elbow x2');"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
        std::to_string(rows) +
        ") INSERT INTO Jobs SELECT 42 + (i / 10) % 3, code, 731 + i / 2,"
        " datetime('2026-12-05 07:45:00', '+' || (i * 977) || ' seconds'), text,"
        " CASE WHEN i % 20 = 0 THEN 5001 + i / 20 END"
        " FROM n JOIN kinds ON k = (i * 3 + 1) % 7;"
        "COMMIT; PRAGMA journal_mode=DELETE;";
    try {
        Exec(db, sql.c_str());
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    std::cout << "rows=" << rows << "\n";
    return 0;
}

struct Session {
    zc::posix::PosixPlatform os;
    SinkForm form;
    zc::MainForm f{form, os.platform()};
};

int Export(const std::string& localDir) {
    Session s;
    s.form.fields[zc::Field::LocalDir] = localDir;
    s.form.fields[zc::Field::Site] = "bnwck";
    auto start = Clock::now();
    zc::CreateExportFile(s.f);
    double ms = MillisecondsSince(start);
    std::cout << "ms=" << ms << "\nevents=" << s.form.counts[zc::Field::Events]
              << "\nfile=" << s.f.strExportFile << "\n";
    return 0;
}

int Upload(const std::string& localDir, const std::string& host, const std::string& exportFile) {
    Session s;
    s.form.fields[zc::Field::LocalDir] = localDir;
    s.form.fields[zc::Field::Server] = host;
    s.form.fields[zc::Field::Site] = "bnwck";
    s.f.strExportFile = exportFile;
    zc::InitBoundaries();
    auto start = Clock::now();
    zc::UploadFiles(s.f);
    double ms = MillisecondsSince(start);
    std::cout << "ms=" << ms << "\nsuccess=" << s.form.counts[zc::Field::Success]
              << "\nfailure=" << s.form.counts[zc::Field::Failure] << "\n";
    return s.form.counts[zc::Field::Failure] == 0 ? 0 : 1;
}

// A fresh program draws the same boundaries in the same order; the baseline sends with them.
int Boundaries(long count) {
    zc::InitBoundaries();
    for (long i = 0; i < count; ++i) std::cout << zc::Boundaries[zc::DrawBoundaryIndex()] << "\n";
    return 0;
}

// The baseline's bodies (BODIES/<n>.body, n counting from 0 in the order of sending) against
// the bodies the program builds for the same files: the export file, then the bitmaps.
int BodyCheck(const std::string& localDir, const std::string& site, const std::string& bodies) {
    Session s;
    s.form.fields[zc::Field::LocalDir] = localDir;
    zc::InitBoundaries();
    std::string exportFolder = localDir + "/Export";
    std::vector<std::pair<std::string, std::string>> files;  // path, content type
    for (const std::string& name : s.os.files.ListFiles(exportFolder, "*.txt"))
        files.emplace_back(exportFolder + "/" + name, "text/plain");
    if (files.size() != 1) throw std::runtime_error("expected one export file in " + exportFolder);
    for (const std::string& name : s.os.files.ListFiles(exportFolder, "*.bmp"))
        files.emplace_back(exportFolder + "/" + name, "image/bmp");
    std::string upPath = "/zilba/" + site + "/p_zilba/import";
    size_t n = 0;
    for (const auto& [path, type] : files) {
        size_t drawn = zc::DrawBoundaryIndex();
        std::vector<std::string> parts;
        parts.push_back(zc::FormDataPart(s.f, "urlredir", "/none.html"));
        parts.push_back(zc::FormDataPart(s.f, "up_path", upPath));
        parts.push_back(zc::FormDataPart(s.f, "up_file1", path, "attachment", type));
        std::string body = zc::MultipartBody(zc::ChooseBoundary(drawn, parts), parts);
        std::string theirs = ReadAll(bodies + "/" + std::to_string(n) + ".body");
        if (theirs != body) {
            std::cout << "bodycheck=differs at " << path << "\n";
            return 1;
        }
        ++n;
    }
    std::cout << "bodycheck=identical (" << n << " bodies)\n";
    return 0;
}

int Usage() {
    std::cerr << "usage: zc-bench-core bitmaps|bitmap|makedb|export|upload|boundaries|bodycheck ...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() == 4 && a[0] == "bitmaps") return Bitmaps(a[1], std::stoi(a[2]), std::stoi(a[3]));
        if (a.size() == 4 && a[0] == "bitmap") return Bitmap(a[1], std::stoi(a[2]), std::stoi(a[3]));
        if (a.size() == 3 && a[0] == "makedb") return MakeDatabase(a[1], std::stol(a[2]));
        if (a.size() == 2 && a[0] == "export") return Export(a[1]);
        if (a.size() == 4 && a[0] == "upload") return Upload(a[1], a[2], a[3]);
        if (a.size() == 2 && a[0] == "boundaries") return Boundaries(std::stol(a[1]));
        if (a.size() == 4 && a[0] == "bodycheck") return BodyCheck(a[1], a[2], a[3]);
    } catch (const std::exception& e) {
        std::cerr << "zc-bench-core: " << zc::DescribeError(e) << "\n";
        return 1;
    }
    return Usage();
}
