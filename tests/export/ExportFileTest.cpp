#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "export/Export.h"
#include "export/ExportWorld.h"
#include "platform/posix/SqliteDatabase.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

const std::string kStart = "&&START%%";
const std::string kDownload = "&&DOWNLOAD+++05/12/2026+++14:07:09%%";
const std::string kComment =
    "&&COMMENT+++LoginID+++Event-code+++Time+++Date+++JobID+++Text+++SignatureID%%";
const std::string kStop = "&&STOP%%";
const std::string kFileName = "c_zilba_05122026_140709.txt";

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

}  // namespace

TEST(CreateExportFile, WritesTheWorkedExampleByteForByte) {
    World w;
    w.Database(
        "INSERT INTO Control VALUES('depot7');"
        "INSERT INTO Jobs VALUES(42, 101, 731, '2026-12-05 09:30:00', 7, 3);"
        "INSERT INTO Jobs VALUES(42, 102, 732, '2026-12-05 10:15:27', NULL, NULL);");

    CreateExportFile(w.f);

    const std::string path = w.Export(kFileName);
    EXPECT_EQ(w.f.strExportFile, path);
    // No byte-order mark, CR LF after every record including the last.
    EXPECT_EQ(ReadFile(path),
              Lines({kStart, "&&SITE+++depot7%%", kDownload, kComment,
                     "&&EVENT+++42+++101+++09:30+++05/12/2026+++731+++T_7+++S_3.bmp%%",
                     "&&EVENT+++42+++102+++10:15+++05/12/2026+++732+++T_+++S_.bmp%%", kStop}));
    EXPECT_EQ(w.form.log,
              (std::vector<std::string>{"Creating export file", "  ..Site: depot7",
                                        "  ..Event: 101: 731", "  ..Event: 102: 732",
                                        " ..Created " + path}));
    EXPECT_EQ(w.form.fields[Field::Events], "2");
    EXPECT_GE(w.form.refreshes, 2);  // the count shows while the build goes on
    EXPECT_TRUE(w.form.questions.empty());
    EXPECT_EQ(w.files.openFiles, 0);
    EXPECT_EQ(FilesIn(w.localDir + "/Export"), std::vector<std::string>{kFileName});
}

TEST(CreateExportFile, JobsWithoutRowsGiveTheFiveFixedRecords) {
    World w;
    w.Database("INSERT INTO Control VALUES('depot7');");
    w.form.fields[Field::Events] = "7";

    CreateExportFile(w.f);

    EXPECT_EQ(ReadFile(w.f.strExportFile),
              Lines({kStart, "&&SITE+++depot7%%", kDownload, kComment, kStop}));
    EXPECT_EQ(w.form.log, (std::vector<std::string>{"Creating export file", "  ..Site: depot7",
                                                    " ..Created " + w.Export(kFileName)}));
    EXPECT_EQ(w.form.fields[Field::Events], "7");
}

TEST(CreateExportFile, RowsComeInEventCodeOrderWithValuesAsStored) {
    World w;
    // Stored out of order; nulls; values holding the record marks and line breaks; dates that
    // are not a date and time; text beyond ASCII.
    w.Database(
        "INSERT INTO Control VALUES('depot7');"
        "INSERT INTO Jobs VALUES('u9', 300, 'J-300', '2026-02-28', 'a+++b', 'sig%%&&');"
        "INSERT INTO Jobs VALUES(7, 5, 55, '2026-12-05 23:59:59', 'line1' || char(13, 10) || "
        "'line2', 'Zürich');"
        "INSERT INTO Jobs VALUES(NULL, NULL, NULL, NULL, NULL, NULL);"
        "INSERT INTO Jobs VALUES(8, 42, 4.0, 'yesterday', '', 2.5);"
        "INSERT INTO Jobs VALUES(8, 41, 41, '2026-02-30 10:00:00', 't', 's');");

    CreateExportFile(w.f);

    EXPECT_EQ(ReadFile(w.f.strExportFile),
              Lines({kStart, "&&SITE+++depot7%%", kDownload, kComment,
                     "&&EVENT+++" "+++" "+++" "+++" "+++" "+++T_+++S_.bmp%%",
                     "&&EVENT+++7+++5+++23:59+++05/12/2026+++55+++T_line1\r\nline2+++S_Zürich"
                     ".bmp%%",
                     "&&EVENT+++8+++41+++++++++41+++T_t+++S_s.bmp%%",
                     "&&EVENT+++8+++42+++++++++4+++T_+++S_2.5.bmp%%",
                     "&&EVENT+++u9+++300+++00:00+++28/02/2026+++J-300+++T_a+++b+++S_sig%%&&"
                     ".bmp%%",
                     kStop}));
    EXPECT_EQ(w.form.log,
              (std::vector<std::string>{"Creating export file", "  ..Site: depot7",
                                        "  ..Event: : ", "  ..Event: 5: 55", "  ..Event: 41: 41",
                                        "  ..Event: 42: 4", "  ..Event: 300: J-300",
                                        " ..Created " + w.f.strExportFile}));
    EXPECT_EQ(w.form.fields[Field::Events], "5");
}

TEST(ParseStoredDateTime, TakesTheStoredFormsAndRefusesTheRest) {
    auto at = [](const char* text) { return ParseStoredDateTime(text); };
    ASSERT_TRUE(at("2026-12-05 09:30:07"));
    EXPECT_EQ(at("2026-12-05 09:30:07")->hour, 9);
    EXPECT_EQ(at("2026-12-05 09:30:07")->minute, 30);
    EXPECT_EQ(at("2026-12-05 09:30:07")->second, 7);
    EXPECT_EQ(at("2024-02-29T23:05")->minute, 5);
    EXPECT_EQ(at("2026-12-05 09:30:07.250")->second, 7);
    EXPECT_EQ(at("2026-12-05")->hour, 0);
    EXPECT_EQ(at("2026-12-05")->day, 5);
    for (const char* bad : {"", "yesterday", "2026-12-5 09:30", "2026-13-01", "2025-02-29",
                            "2026-04-31", "2026-12-05 24:00", "2026-12-05 10:60",
                            "2026-12-05 9:30", "2026-12-05 09:30:07Z", "05/12/2026 09:30"})
        EXPECT_FALSE(at(bad)) << bad;
}

TEST(CreateExportFile, SiteCheckAsksOnlyWhenTheDeviceSiteDiffers) {
    const std::string question =
        "Site name in the device is Depot7. Do you want to use the site configured in the device?";
    {  // equal texts
        World w;
        w.Database("INSERT INTO Control VALUES('depot7'); INSERT INTO Control VALUES('other');");
        CreateExportFile(w.f);
        EXPECT_TRUE(w.form.questions.empty());
    }
    {  // case alone differs; Yes takes the device's site everywhere
        World w;
        w.Database("INSERT INTO Control VALUES('Depot7');");
        w.form.answers = {true};
        CreateExportFile(w.f);
        EXPECT_EQ(w.form.questions, std::vector<std::string>{question});
        EXPECT_EQ(w.form.fields[Field::Site], "Depot7");
        EXPECT_NE(ReadFile(w.f.strExportFile).find("\r\n&&SITE+++Depot7%%\r\n"), std::string::npos);
        EXPECT_EQ(w.form.log[1], "  ..Site: Depot7");
    }
    {  // No keeps the configured site
        World w;
        w.Database("INSERT INTO Control VALUES('Depot7');");
        w.form.answers = {false};
        CreateExportFile(w.f);
        EXPECT_EQ(w.form.questions.size(), 1u);
        EXPECT_EQ(w.form.fields[Field::Site], "depot7");
        EXPECT_NE(ReadFile(w.f.strExportFile).find("\r\n&&SITE+++depot7%%\r\n"), std::string::npos);
        EXPECT_EQ(w.form.log[1], "  ..Site: depot7");
    }
    {  // a device without a stored site: nothing to offer
        World w;
        w.Database("INSERT INTO Control VALUES(NULL);");
        CreateExportFile(w.f);
        EXPECT_TRUE(w.form.questions.empty());
        EXPECT_EQ(w.form.fields[Field::Site], "depot7");
    }
    {  // a trailing space is a difference too
        World w;
        w.Database("INSERT INTO Control VALUES('depot7 ');");
        w.form.answers = {false};
        CreateExportFile(w.f);
        EXPECT_EQ(w.form.questions.size(), 1u);
    }
}

TEST(CreateExportFile, EventCounterOverflowEndsTheBuildBeforeThatRecord) {
    World w;
    w.Database(
        "INSERT INTO Control VALUES('depot7');"
        "INSERT INTO Jobs VALUES(1, 1, 11, '2026-12-05 09:30:00', 'a', 'b');"
        "INSERT INTO Jobs VALUES(1, 2, 12, '2026-12-05 09:31:00', 'a', 'b');");
    w.form.fields[Field::Events] = "32766";

    Error e = ErrorOf([&] { CreateExportFile(w.f); });

    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), "Overflow");
    EXPECT_EQ(w.form.fields[Field::Events], "32767");
    EXPECT_EQ(w.form.log.back(), "  ..Event: 2: 12");
    // Whole lines so far, no STOP, and the file closed so that a backup can move it.
    EXPECT_EQ(ReadFile(w.Export(kFileName)),
              Lines({kStart, "&&SITE+++depot7%%", kDownload, kComment,
                     "&&EVENT+++1+++1+++09:30+++05/12/2026+++11+++T_a+++S_b.bmp%%"}));
    EXPECT_EQ(w.files.openFiles, 0);
}

TEST(CreateExportFile, DatabaseFailuresEndTheBuildBeforeTheFileExists) {
    struct Case {
        const char* name;
        const char* schema;
        const char* rows;
        const char* inDescription;
    };
    const Case cases[] = {
        {"missing database", nullptr, nullptr, "P_ZILBA.MDB"},
        {"missing Control", "CREATE TABLE Jobs(UserID, EventCode, JobNumber, DateTime, Text, "
                            "Signature);", "", "no such table: Control"},
        {"missing Jobs", "CREATE TABLE Control(SiteName);", "INSERT INTO Control VALUES('x');",
         "no such table: Jobs"},
        {"missing sort column", "CREATE TABLE Control(SiteName); CREATE TABLE Jobs(UserID, "
                                "JobNumber, DateTime, Text, Signature);",
         "INSERT INTO Control VALUES('x');", "no such column: EventCode"},
        {"missing SiteName", "CREATE TABLE Control(Site); CREATE TABLE Jobs(UserID, EventCode, "
                             "JobNumber, DateTime, Text, Signature);",
         "INSERT INTO Control VALUES('x');", "no such column: SiteName"},
        {"Control without rows", kSchema, "", "current record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        if (c.schema) w.Database(c.rows, c.schema);
        w.f.strExportFile = "earlier";

        Error e = ErrorOf([&] { CreateExportFile(w.f); });

        EXPECT_NE(e.description().find(c.inDescription), std::string::npos) << e.description();
        EXPECT_EQ(w.form.log, std::vector<std::string>{"Creating export file"});
        EXPECT_EQ(w.f.strExportFile, "earlier");
        EXPECT_TRUE(FilesIn(w.localDir + "/Export").empty());
        EXPECT_TRUE(w.form.questions.empty());
        // A missing database is never created as a new empty one.
        EXPECT_EQ(fs::exists(w.DbPath()), c.schema != nullptr);
    }
}

TEST(CreateExportFile, MissingJobColumnFailsAtTheFirstRowWithTheFileClosed) {
    const std::string rows =
        "INSERT INTO Control VALUES('depot7');"
        "INSERT INTO Jobs VALUES(1, 1, '2026-12-05 09:30:00', 'a', 'b');";
    const std::string partial = Lines({kStart, "&&SITE+++depot7%%", kDownload, kComment});
    {  // JobNumber is read for the log line, so it fails before it
        World w;
        w.Database(rows, "CREATE TABLE Control(SiteName);"
                         "CREATE TABLE Jobs(UserID, EventCode, DateTime, Text, Signature);");
        Error e = ErrorOf([&] { CreateExportFile(w.f); });
        EXPECT_EQ(e.description(), "no such column: JobNumber");
        EXPECT_EQ(w.form.log.back(), "  ..Site: depot7");
        EXPECT_EQ(w.form.fields[Field::Events], "0");
        EXPECT_EQ(ReadFile(w.Export(kFileName)), partial);
        EXPECT_EQ(w.files.openFiles, 0);
    }
    {  // any other column fails after the log line and the count
        World w;
        w.Database("INSERT INTO Control VALUES('depot7');"
                   "INSERT INTO Jobs VALUES(1, 1, 11, '2026-12-05 09:30:00', 'a');",
                   "CREATE TABLE Control(SiteName);"
                   "CREATE TABLE Jobs(UserID, EventCode, JobNumber, DateTime, Text);");
        Error e = ErrorOf([&] { CreateExportFile(w.f); });
        EXPECT_EQ(e.description(), "no such column: Signature");
        EXPECT_EQ(w.form.log.back(), "  ..Event: 1: 11");
        EXPECT_EQ(w.form.log.size(), 3u);
        EXPECT_EQ(w.form.fields[Field::Events], "1");
        EXPECT_EQ(ReadFile(w.Export(kFileName)), partial);
        EXPECT_EQ(w.files.openFiles, 0);
    }
}

TEST(CreateExportFile, ExportFileThatCannotBeCreatedIsTheFileSystemsError) {
    World w;
    w.Database("INSERT INTO Control VALUES('north');");
    fs::remove(w.localDir + "/Export");
    w.form.answers = {true};

    Error e = ErrorOf([&] { CreateExportFile(w.f); });

    EXPECT_EQ(e.number(), kErrPathNotFound);
    EXPECT_NE(e.description().find(w.Export(kFileName)), std::string::npos);
    // The new name and the answer were settled before the file was tried.
    EXPECT_EQ(w.f.strExportFile, w.Export(kFileName));
    EXPECT_EQ(w.form.fields[Field::Site], "north");
    EXPECT_EQ(w.form.log, std::vector<std::string>{"Creating export file"});
}

TEST(CreateExportFile, PathsAreUsedAsTypedAndEachBuildCounts) {
    World w;
    w.Database(
        "INSERT INTO Control VALUES('depot7');"
        "INSERT INTO Jobs VALUES(1, 1, 11, '2026-12-05 09:30:00', 'a', 'b');");
    w.form.fields[Field::LocalDir] = w.localDir + "/";

    CreateExportFile(w.f);
    EXPECT_EQ(w.f.strExportFile, w.localDir + "//Export/" + kFileName);
    EXPECT_TRUE(fs::exists(w.Export(kFileName)));

    w.clock.now.second = 10;
    CreateExportFile(w.f);
    EXPECT_EQ(w.f.strExportFile, w.localDir + "//Export/c_zilba_05122026_140710.txt");
    EXPECT_EQ(w.form.fields[Field::Events], "2");
    EXPECT_EQ(FilesIn(w.localDir + "/Export").size(), 2u);
}

TEST(ExportTimeStamp, FollowsTheRegionalGeneralDate) {
    World w;
    EXPECT_EQ(ExportTimeStamp(w.f), "05122026_140709");
    w.clock.style = FixedClock::Style::MonthDayYear;
    EXPECT_EQ(ExportTimeStamp(w.f), "1252026_20709_PM");
    w.clock.style = FixedClock::Style::Dotted;
    EXPECT_EQ(ExportTimeStamp(w.f), "05.12.2026_140709");
    w.clock.now = {2026, 12, 5, 0, 0, 0};  // midnight: the short date alone
    EXPECT_EQ(ExportTimeStamp(w.f), "05.12.2026");
    w.clock.now = {2026, 12, 5, 0, 0, 1};
    EXPECT_EQ(ExportTimeStamp(w.f), "05.12.2026_000001");

    // The file name keeps the dots; the DOWNLOAD record has the long time even at midnight.
    w.clock.now = {2026, 12, 5, 0, 0, 0};
    w.Database("INSERT INTO Control VALUES('depot7');");
    CreateExportFile(w.f);
    EXPECT_EQ(w.f.strExportFile, w.Export("c_zilba_05.12.2026.txt"));
    EXPECT_NE(ReadFile(w.f.strExportFile).find("&&DOWNLOAD+++05.12.2026+++00:00:00%%\r\n"),
              std::string::npos);
}

}  // namespace zc::test
