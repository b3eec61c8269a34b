#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/PosixRegistry.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/XdgPaths.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace zc {
namespace {

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

const std::string kTool = ZC_BIN_DIR "/zilba-sim";

test::ProcessResult Sim(std::vector<std::string> args) {
    args.insert(args.begin(), kTool);
    return RunProcess(args, 30);
}

std::vector<std::string> Query(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << file;
        return rows;
    }
    auto collect = [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
    };
    if (sqlite3_exec(db, sql.c_str(), collect, &rows, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
}

uint32_t Le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return v;
}

// Checks the file is a bitmap a viewer would show, and that something is drawn on it.
void ExpectValidBitmap(const std::string& path) {
    SCOPED_TRACE(path);
    std::string b = ReadFile(path);
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(Le32(b, 2), b.size());
    uint32_t offset = Le32(b, 10);
    EXPECT_EQ(Le32(b, 14), 40u);
    auto width = static_cast<int32_t>(Le32(b, 18));
    auto height = static_cast<int32_t>(Le32(b, 22));
    uint32_t bits = Le32(b, 28) & 0xFFFF;
    EXPECT_EQ(Le32(b, 26) & 0xFFFF, 1u);
    EXPECT_TRUE(bits == 24 || bits == 8) << bits;
    EXPECT_EQ(Le32(b, 30), 0u) << "uncompressed";
    ASSERT_GT(width, 0);
    ASSERT_NE(height, 0);
    size_t row = (static_cast<size_t>(width) * bits / 8 + 3) / 4 * 4;
    EXPECT_EQ(b.size(), offset + row * static_cast<size_t>(std::abs(height)));
    if (bits == 24) {
        size_t ink = 0, paper = 0;
        for (size_t i = offset; i + 2 < b.size(); i += 3)
            (b[i] == '\xff' && b[i + 1] == '\xff' && b[i + 2] == '\xff' ? paper : ink)++;
        EXPECT_GT(ink, 200u) << "a signature is drawn";
        EXPECT_GT(paper, ink) << "on a mostly white ground";
    }
}

std::string RegistryDefault(const std::string& key) {
    posix::PosixRegistry registry;
    HKEY h = 0;
    if (registry.RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS)
        return "<no key>";
    uint8_t data[4096] = {};
    uint32_t size = sizeof data - 1;
    uint32_t type = 0;
    LONG rc = registry.RegQueryValueExA(h, "", &type, data, &size);
    registry.RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return "<no value>";
    return std::string(reinterpret_cast<char*>(data));  // up to the terminating NUL
}

size_t Lines(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

class ZilbaSimTest : public ::testing::Test {
protected:
    ZilbaSimTest() { home.UseAsHome(); }
    std::string DataFolder() const { return posix::HandheldRoot() + "/My Documents/Pocket Zilba"; }
    std::string Database() const { return DataFolder() + "/P_ZILBA.CDB"; }
    TempDir home;
};

TEST_F(ZilbaSimTest, CreateBuildsAHandheldAndRefusesToOverwriteIt) {
    auto r = Sim({"create", "--jobs", "12", "--signatures", "4"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(fs::exists(posix::UndockedMarker())) << "created docked";

    EXPECT_EQ(Query(Database(), "SELECT SiteName FROM Control"), std::vector<std::string>{"bnwck"});
    EXPECT_EQ(Query(Database(), "SELECT count(*) FROM Jobs"), std::vector<std::string>{"12"});
    // Rows are not stored in event code order, so the export's sort is exercised.
    EXPECT_NE(Query(Database(), "SELECT EventCode FROM Jobs ORDER BY rowid"),
              Query(Database(), "SELECT EventCode FROM Jobs ORDER BY EventCode, rowid"));
    const std::regex date(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
    for (const auto& row : Query(Database(), "SELECT DateTime, typeof(EventCode), Text FROM Jobs")) {
        EXPECT_TRUE(std::regex_search(row, date)) << row;
        EXPECT_NE(row.find("|integer|"), std::string::npos) << row;
    }

    // Every signature named in the database is a bitmap in the signature folder, each different.
    auto named = Query(Database(), "SELECT Signature FROM Jobs WHERE Signature IS NOT NULL");
    EXPECT_EQ(named.size(), 4u);
    std::set<std::string> contents;
    for (const auto& e : fs::directory_iterator(DataFolder() + "/Signatures")) {
        ExpectValidBitmap(e.path());
        contents.insert(ReadFile(e.path()));
    }
    EXPECT_EQ(contents.size(), 4u);
    for (const auto& s : named) EXPECT_TRUE(fs::exists(DataFolder() + "/Signatures/S_" + s + ".bmp")) << s;

    // A second create refuses and touches nothing.
    WriteFile(DataFolder() + "/.purge", "");
    const std::string before = ReadFile(Database());
    r = Sim({"create", "--jobs", "3"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(Lines(r.output), 1u) << r.output;
    EXPECT_NE(r.output.find("--force"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(Database()), before);
    EXPECT_TRUE(fs::exists(DataFolder() + "/.purge"));

    // --force replaces the data folder only.
    WriteFile(posix::HandheldRoot() + "/My Documents/keep.txt", "mine");
    WriteFile(posix::UndockedMarker(), "");
    r = Sim({"create", "--force", "--jobs", "3", "--signatures", "0", "--site", "depot7"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Query(Database(), "SELECT count(*) FROM Jobs"), std::vector<std::string>{"3"});
    EXPECT_EQ(Query(Database(), "SELECT SiteName FROM Control"), std::vector<std::string>{"depot7"});
    EXPECT_FALSE(fs::exists(DataFolder() + "/.purge"));
    EXPECT_TRUE(fs::is_empty(DataFolder() + "/Signatures"));
    EXPECT_EQ(ReadFile(posix::HandheldRoot() + "/My Documents/keep.txt"), "mine");
    EXPECT_FALSE(fs::exists(posix::UndockedMarker()));
    // Nothing of the swap is left beside the data folder.
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(posix::HandheldRoot() + "/My Documents"))
        beside.push_back(e.path().filename());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"Pocket Zilba", "keep.txt"}));

    // Another handheld folder, and arguments that make no sense.
    r = Sim({"create", "--device-dir", "\\Storage Card\\Zilba", "--jobs", "1", "--signatures", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(posix::HandheldRoot() + "/Storage Card/Zilba/Signatures/S_5001.bmp"));
    for (auto bad : std::vector<std::vector<std::string>>{{"create", "--jobs", "-1"},
                                                          {"create", "--jobs", "many"},
                                                          {"create", "--device-dir", "\\..\\x"},
                                                          {"create", "--site", ""},
                                                          {"fly"}}) {
        r = Sim(bad);
        EXPECT_NE(r.exitCode, 0) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
        EXPECT_EQ(Lines(r.output), 1u) << r.output;
    }
    EXPECT_FALSE(fs::exists(posix::HandheldRoot() + "/../x"));
    EXPECT_EQ(Sim({"create", "--help"}).exitCode, 0);
}

TEST_F(ZilbaSimTest, DockUndockAndStatusFollowTheConnection) {
    auto r = Sim({"dock"});
    EXPECT_NE(r.exitCode, 0) << "no handheld yet";
    EXPECT_EQ(Lines(r.output), 1u) << r.output;

    ASSERT_EQ(Sim({"create", "--jobs", "6", "--signatures", "2"}).exitCode, 0);
    posix::SimulatedRapi rapi;
    ASSERT_EQ(Sim({"undock"}).exitCode, 0);
    EXPECT_NE(rapi.CeRapiInit(), 0);
    r = Sim({"status"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Root: " + posix::HandheldRoot() + "\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Docked: no"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Jobs: 6"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Signatures: 2"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Purge flag: absent"), std::string::npos) << r.output;

    r = Sim({"dock"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    WriteFile(DataFolder() + "/.purge", "");
    r = Sim({"status"});
    EXPECT_NE(r.output.find("Docked: yes"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Purge flag: present"), std::string::npos) << r.output;
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
}

TEST_F(ZilbaSimTest, InstallRegistersTheFilterLibrary) {
    auto r = Sim({"install"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::string classId = RegistryDefault("MS.WinCE.Table\\CLSID");
    EXPECT_TRUE(std::regex_match(classId, std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})")))
        << classId;
    const std::string library = fs::canonical(ZC_LIB_DIR "/libzc_adofilter.so").string();
    EXPECT_EQ(RegistryDefault("CLSID\\" + classId + "\\InprocServer32"), library);

    // Paths that are no filter library are refused and the registration stays as it was.
    WriteFile(home / "not-a-library.so", "text");
    for (const std::string& bad : {home / "missing.so", home / "not-a-library.so"}) {
        r = Sim({"install", "--library", bad});
        EXPECT_NE(r.exitCode, 0) << bad;
        EXPECT_EQ(Lines(r.output), 1u) << r.output;
    }
    EXPECT_EQ(RegistryDefault("CLSID\\" + classId + "\\InprocServer32"), library);

    // A relative path is stored absolute, as the program loads it from any folder.
    fs::copy_file(library, home / "filter.so");
    r = RunProcess({"/bin/sh", "-c", "cd '" + home.path() + "' && '" + kTool +
                                         "' install --library filter.so"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(RegistryDefault("CLSID\\" + classId + "\\InprocServer32"), home / "filter.so");
}

TEST_F(ZilbaSimTest, DockStartsTheRegisteredProgramsWithoutWaiting) {
    ASSERT_EQ(Sim({"create"}).exitCode, 0);
    // The program records its process and session, then stays running as a real one would.
    const std::string script = home / "companion.sh";
    const std::string record = home / "started.txt";
    WriteFile(script, "#!/bin/sh\necho \"$$ $(cut -d' ' -f6 /proc/$$/stat)\" > '" + record + ".tmp'\nmv '" +
                          record + ".tmp' '" + record + "'\nexec sleep 30\n");
    fs::permissions(script, fs::perms::owner_all);

    posix::PosixRegistry registry;
    HKEY key = 0;
    ASSERT_EQ(registry.RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect",
                                       0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto set = [&](const std::string& name, const std::string& value) {
        ASSERT_EQ(registry.RegSetValueExA(key, name, 0, REG_SZ,
                                          reinterpret_cast<const uint8_t*>(value.c_str()),
                                          static_cast<uint32_t>(value.size() + 1)),
                  ERROR_SUCCESS);
    };
    set("Zilba Companion", script);
    set("Old Tool", home / "uninstalled/tool");
    registry.RegCloseKey(key);

    auto started = std::chrono::steady_clock::now();
    auto r = Sim({"dock"});
    auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_LT(took, std::chrono::seconds(20)) << "dock waited for the program";
    EXPECT_NE(r.output.find("Started " + script), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Skipped " + (home / "uninstalled/tool")), std::string::npos) << r.output;

    for (int i = 0; i < 200 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(record)) << "the registered program did not run";
    std::string text = ReadFile(record);
    pid_t pid = 0, session = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "%d %d", &pid, &session), 2) << text;
    EXPECT_NE(session, getsid(0)) << "runs in a session of its own";
    EXPECT_EQ(kill(pid, 0), 0) << "still running after dock returned";
    kill(pid, SIGTERM);
}

}  // namespace
}  // namespace zc
