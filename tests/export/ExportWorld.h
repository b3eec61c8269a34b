#pragma once
// The world of an export or backup test: a real local folder, the real file system and SQLite
// layers, a clock with fixed formats, and the fake form. The handheld, registry, kernel, shell
// folder and web layers are not used by these steps; touching one fails the test.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/Form.h"
#include "platform/Error.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SqliteDatabase.h"
#include "support/FakeForm.h"
#include "support/Faults.h"
#include "support/TempDir.h"

namespace zc::test {

[[noreturn]] inline void NotUsed() { throw std::logic_error("layer not used by the export"); }

struct UnusedRegistry : Registry {
    LONG RegOpenKeyExA(HKEY, const std::string&, uint32_t, uint32_t, HKEY*) override { NotUsed(); }
    LONG RegQueryValueExA(HKEY, const std::string&, uint32_t*, uint8_t*, uint32_t*) override {
        NotUsed();
    }
    LONG RegCreateKeyExA(HKEY, const std::string&, uint32_t, const char*, uint32_t, uint32_t,
                         const void*, HKEY*, uint32_t*) override {
        NotUsed();
    }
    LONG RegSetValueExA(HKEY, const std::string&, uint32_t, uint32_t, const uint8_t*,
                        uint32_t) override {
        NotUsed();
    }
    LONG RegCloseKey(HKEY) override { NotUsed(); }
    LONG RegEnumValueA(HKEY, uint32_t, std::string*, uint32_t*, std::vector<uint8_t>*) override {
        NotUsed();
    }
};

struct UnusedKernel : Kernel {
    HANDLE CreateMutexA(const SECURITY_ATTRIBUTES*, bool, const std::string&) override {
        NotUsed();
    }
    uint32_t GetLastError() override { NotUsed(); }
    HMODULE LoadLibraryA(const std::string&) override { NotUsed(); }
    void* GetProcAddress(HMODULE, const std::string&) override { NotUsed(); }
    bool FreeLibrary(HMODULE) override { NotUsed(); }
    HANDLE CreateFileA(const std::string&, uint32_t, uint32_t, const SECURITY_ATTRIBUTES*,
                       uint32_t, uint32_t, HANDLE) override {
        NotUsed();
    }
    bool WriteFile(HANDLE, const uint8_t*, uint32_t, uint32_t*, OVERLAPPED*) override {
        NotUsed();
    }
    bool CloseHandle(HANDLE) override { NotUsed(); }
    std::string AppPath() override { NotUsed(); }
    std::string AppExeName() override { NotUsed(); }
};

struct UnusedShellFolder : ShellFolder {
    int32_t SHGetFolderPathA(intptr_t, int32_t, intptr_t, uint32_t, char*) override { NotUsed(); }
    std::string FallbackLocalDir() override { NotUsed(); }
};

struct UnusedRapi : Rapi {
    int32_t CeRapiInit() override { NotUsed(); }
    int32_t CeRapiUninit() override { NotUsed(); }
    HANDLE CeFindFirstFile(const char16_t*, CE_FIND_DATA*) override { NotUsed(); }
    int32_t CeFindNextFile(HANDLE, CE_FIND_DATA*) override { NotUsed(); }
    int32_t CeFindClose(HANDLE) override { NotUsed(); }
    HANDLE CeCreateFile(const char16_t*, uint32_t, uint32_t, const void*, uint32_t, uint32_t,
                        HANDLE) override {
        NotUsed();
    }
    int32_t CeReadFile(HANDLE, void*, uint32_t, uint32_t*, void*) override { NotUsed(); }
    int32_t CeCloseHandle(HANDLE) override { NotUsed(); }
};

struct UnusedHttp : Http {
    std::unique_ptr<HttpRequest> CreateRequest() override { NotUsed(); }
};

// A clock that stands still, with the regional formats a test picks.
class FixedClock : public Clock {
public:
    enum class Style {
        DayMonthYear,  // 05/12/2026 and 14:07:09
        MonthDayYear,  // 12/5/2026 and 2:07:09 PM
        Dotted,        // 05.12.2026 and 14:07:09
    };
    LocalDateTime now{2026, 12, 5, 14, 7, 9};
    Style style = Style::DayMonthYear;
    int shortDates = 0;  // how often the short date was asked for

    LocalDateTime Now() override { return now; }
    std::string ShortDate(const LocalDateTime& t) override {
        ++shortDates;
        char text[32];
        if (style == Style::MonthDayYear)
            std::snprintf(text, sizeof text, "%d/%d/%04d", t.month, t.day, t.year);
        else
            std::snprintf(text, sizeof text, style == Style::Dotted ? "%02d.%02d.%04d"
                                                                    : "%02d/%02d/%04d",
                          t.day, t.month, t.year);
        return text;
    }
    std::string LongTime(const LocalDateTime& t) override {
        char text[32];
        if (style == Style::MonthDayYear)
            std::snprintf(text, sizeof text, "%d:%02d:%02d %s", (t.hour + 11) % 12 + 1, t.minute,
                          t.second, t.hour < 12 ? "AM" : "PM");
        else
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        return text;
    }
};

// Passes every call on and counts the export files that are open, to tell a file left open.
class TrackingFileSystem : public FileSystem {
public:
    explicit TrackingFileSystem(FileSystem& real) : real_(real) {}
    bool Exists(const std::string& p) override { return real_.Exists(p); }
    void MkDir(const std::string& p) override { real_.MkDir(p); }
    std::vector<std::string> ListFiles(const std::string& d, const std::string& p) override {
        return real_.ListFiles(d, p);
    }
    void FileCopy(const std::string& s, const std::string& d) override { real_.FileCopy(s, d); }
    void Kill(const std::string& p) override { real_.Kill(p); }
    std::vector<uint8_t> ReadBinary(const std::string& p) override { return real_.ReadBinary(p); }
    std::unique_ptr<TextFile> CreateText(const std::string& p) override {
        return std::make_unique<Tracked>(real_.CreateText(p), openFiles);
    }
    int openFiles = 0;

private:
    struct Tracked : TextFile {
        Tracked(std::unique_ptr<TextFile> file, int& open) : file_(std::move(file)), open_(open) {
            ++open_;
        }
        void PrintLine(const std::string& line) override { file_->PrintLine(line); }
        void Close() override {
            if (!closed_) {
                closed_ = true;
                --open_;
            }
            file_->Close();
        }
        std::unique_ptr<TextFile> file_;
        int& open_;
        bool closed_ = false;  // a file dropped without Close stays counted as open
    };
    FileSystem& real_;
};

inline void Exec(const std::string& dbPath, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

constexpr const char* kSchema =
    "CREATE TABLE Control(SiteName TEXT);"
    "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, Signature);";

struct World {
    World() {
        std::filesystem::create_directories(localDir + "/Export");
        std::filesystem::create_directories(localDir + "/Upload");
        form.fields[Field::LocalDir] = localDir;
        form.fields[Field::Site] = "depot7";
    }
    std::string Export(const std::string& name) const { return localDir + "/Export/" + name; }
    std::string Upload(const std::string& name) const { return localDir + "/Upload/" + name; }
    std::string DbPath() const { return localDir + "/P_ZILBA.MDB"; }
    // The converted database with the handheld's tables, then `sql` run on it.
    void Database(const std::string& sql, const char* schema = kSchema) {
        Exec(DbPath(), std::string(schema) + sql);
    }

    TempDir dir;
    std::string localDir = dir / "Zilba Companion";
    posix::PosixFileSystem realFiles;
    FaultPlan plan;
    FaultyFileSystem faultyFiles{realFiles, plan};
    TrackingFileSystem files{faultyFiles};
    posix::SqliteDatabase database;
    FixedClock clock;
    UnusedRegistry registry;
    UnusedKernel kernel;
    UnusedShellFolder shell;
    UnusedRapi rapi;
    UnusedHttp http;
    Platform os{registry, kernel, shell, rapi, files, database, http, clock};
    FakeForm form;
    MainForm f{form, os};
};

// The error a step raised; fails the test when none was raised.
template <typename Step>
Error ErrorOf(Step&& step) {
    try {
        step();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return Error(0, "");
}

}  // namespace zc::test
