// The export file built from the desktop database, and the backup of what was sent.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "export/Export.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE Control(SiteName TEXT);"
    "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, Signature);";

// The worked example's local folders, site and clock.
struct ExportRig : Rig {
    ExportRig() {
        fs::create_directories(Local("Export"));
        fs::create_directories(Local("Upload"));
        form.fields[Field::Site] = "depot7";
        clock.now = {2026, 12, 5, 14, 7, 9};
    }
    std::string Export(const std::string& name) const { return Local("Export/" + name); }
};

using Lines = std::vector<std::string>;
const std::string kFileName = "c_zilba_05122026_140709.txt", kStamp = "05122026_140709";

// Runs `sql` on a SQLite file (made when missing); a failing statement fails the test.
void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    char* error = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK || sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
        ADD_FAILURE() << file << ": " << sql << ": " << (error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    sqlite3_close(db);
}

}  // namespace

// The worked example; then rows stored out of order, nulls, values holding the record marks and line
// breaks, dates that are no date and time, text beyond ASCII, and the handheld's own site answered
// No: the configured one stays in the file and the field, hence in the upload and the import.
TEST(CreateExportFile, WritesEveryRowAsStoredInEventCodeOrder) {
    const struct { const char* sql; const char* file; Lines events; const char* question; } cases[] = {
        {"INSERT INTO Control VALUES('depot7');"
         "INSERT INTO Jobs VALUES(42, 101, 731, '2026-12-05 09:30:00', 7, 3);"
         "INSERT INTO Jobs VALUES(42, 102, 732, '2026-12-05 10:15:27', NULL, NULL);",
         "worked-export.txt", {"101: 731", "102: 732"}, nullptr},
        {"INSERT INTO Control VALUES('north');"
         "INSERT INTO Jobs VALUES('u9', 300, 'J-300', '2026-02-28', 'a+++b', 'sig%%&&');"
         "INSERT INTO Jobs VALUES(7, 5, 55, '2026-12-05 23:59:59', 'line1' || char(13, 10) || 'line2', 'Zürich');"
         "INSERT INTO Jobs VALUES(NULL, NULL, NULL, NULL, NULL, NULL);"
         "INSERT INTO Jobs VALUES(8, 42, 4.0, 'yesterday', '', 2.5);"
         "INSERT INTO Jobs VALUES(8, 41, 41, '2026-02-30 10:00:00', 't', 's');",
         "export-rows.txt", {": ", "5: 55", "41: 41", "42: 4", "300: J-300"},
         "Site name in the device is north. Do you want to use the site configured in the device?"},
    };
    for (const auto& c : cases) {
        ExportRig rig;
        Sql(rig.Local("P_ZILBA.MDB"), kSchema + std::string(c.sql));  // the handheld's tables, converted
        rig.form.answers = {false};
        CreateExportFile(rig.f);
        const std::string path = rig.Export(kFileName);
        // No byte-order mark, CR LF after every record including the last.
        EXPECT_EQ(ReadFile(path), ReadFile(std::string(ZC_DATA_DIR) + "/" + c.file));
        std::string log = "Creating export file\r\n  ..Site: depot7\r\n";
        for (const std::string& event : c.events) log += "  ..Event: " + event + "\r\n";
        EXPECT_EQ(rig.form.LogText(), log + " ..Created " + path + "\r\n");
        EXPECT_EQ(rig.form.fields[Field::Events], std::to_string(c.events.size()));
        EXPECT_EQ(rig.form.questions, c.question ? Lines{c.question} : Lines{});
        EXPECT_EQ(rig.form.fields[Field::Site], "depot7");
        EXPECT_EQ(Names(rig.Local("Export")), Lines{kFileName});
    }
}

TEST(BackupFiles, MovesReadOnlyFilesKeepsUnsentExportFilesAndStopsWholeAtAFailure) {
    ExportRig rig;
    for (const char* name : {"a.bmp", "b.bmp", "c.txt"}) WriteFile(rig.Export(name), name);
    fs::permissions(rig.Export("a.bmp"), fs::perms::owner_read);  // moves like any other file
    WriteFile(rig.Export("c_zilba_old.txt"), "&&START%%\r\n&&STOP%%\r\n");  // whole, and not sent by this run
    rig.plan.FailCall("MoveFile", 2);
    Error e = ErrorOf([&] { BackupFiles(rig.f); });
    EXPECT_NE(e.description().find(rig.Export("b.bmp")), std::string::npos) << e.description();
    EXPECT_EQ(Names(rig.Local("Upload/" + kStamp)), Lines{"a.bmp"});
    EXPECT_EQ(Names(rig.Local("Export")), (Lines{"b.bmp", "c.txt", "c_zilba_old.txt"})) << "the later files stay";
    EXPECT_EQ(ReadFile(rig.Local("Upload/" + kStamp + "/a.bmp")), "a.bmp");

    rig.clock.now.second += 1;
    BackupFiles(rig.f);
    EXPECT_EQ(Names(rig.Local("Export")), Lines{"c_zilba_old.txt"}) << "an export file nobody sent stays";
    rig.f.delivery.sent = {"c_zilba_old.txt"};
    rig.clock.now.second += 1;
    BackupFiles(rig.f);
    EXPECT_EQ(Names(rig.Local("Export")), Lines{});
}

}  // namespace zc::test
