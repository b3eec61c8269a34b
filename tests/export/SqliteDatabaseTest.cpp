#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export/ExportWorld.h"
#include "platform/posix/SqliteDatabase.h"

namespace zc::test {
namespace fs = std::filesystem;

using posix::DataSourceOf;

namespace {

std::string Jet(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Persist Security Info=False";
}

}  // namespace

TEST(SqliteDatabase, TakesTheDataSourceOfTheConnectionString) {
    EXPECT_EQ(DataSourceOf(Jet("/home/a/P_ZILBA.MDB")), "/home/a/P_ZILBA.MDB");
    EXPECT_EQ(DataSourceOf("data source=/x.db"), "/x.db");
    EXPECT_EQ(DataSourceOf(" Data Source =/x y.db ; Mode=Read"), "/x y.db ");
    // Folder names may hold ";" and "=": only a ";" that starts a new keyword ends the value.
    EXPECT_EQ(DataSourceOf(Jet("/home/a;b/c=d/P_ZILBA.MDB")), "/home/a;b/c=d/P_ZILBA.MDB");
    EXPECT_EQ(DataSourceOf("Data Source=\"/a;Mode=x\"\"q.db\";Mode=Read"), "/a;Mode=x\"q.db");
    EXPECT_EQ(ErrorOf([] { DataSourceOf("Provider=Microsoft.Jet.OLEDB.4.0"); }).number(),
              posix::kErrDatabase);
}

TEST(SqliteDatabase, OpensExistingDatabasesOnlyAndReadOnly) {
    TempDir dir;
    posix::SqliteDatabase database;
    {  // a missing file is an error, never a new empty database
        Error e = ErrorOf([&] { database.Open(Jet(dir / "missing.mdb")); });
        EXPECT_EQ(e.number(), posix::kErrDatabase);
        EXPECT_NE(e.description().find(dir / "missing.mdb"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "missing.mdb"));
        EXPECT_TRUE(ErrorOf([&] { database.Open(Jet("")); }).number() != 0);
    }
    {  // a file that is not a database, and a folder, fail at the open
        WriteFile(dir / "text.mdb", std::string(4096, 'x'));
        Error e = ErrorOf([&] { database.Open(Jet(dir / "text.mdb")); });
        EXPECT_NE(e.description().find("not a database"), std::string::npos) << e.description();
        EXPECT_NE(ErrorOf([&] { database.Open(Jet(dir.path())); }).number(), 0);
        EXPECT_EQ(ReadFile(dir / "text.mdb"), std::string(4096, 'x'));
    }
    {  // nothing is written through the connection
        Exec(dir / "db.mdb", "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
        auto connection = database.Open(Jet(dir / "db.mdb"));
        Error e = ErrorOf([&] { connection->Execute("DELETE FROM t"); });
        EXPECT_NE(e.description().find("readonly"), std::string::npos) << e.description();
        EXPECT_EQ(connection->Execute("SELECT COUNT(*) AS n FROM [t]")->Field("n").text, "1");
    }
}

TEST(SqliteDatabase, RowSetGivesValuesByNameUntilEof) {
    TempDir dir;
    Exec(dir / "db.mdb",
         "CREATE TABLE [Jobs](UserID, EventCode INTEGER, Name TEXT);"
         "INSERT INTO Jobs VALUES(42, 3, 'c');"
         "INSERT INTO Jobs VALUES(2.0, 1, 'a');"
         "INSERT INTO Jobs VALUES(NULL, 2, NULL);"
         "INSERT INTO Jobs VALUES(-1.25, 4, x'410042');"
         "CREATE TABLE Empty(a);");
    posix::SqliteDatabase database;
    auto connection = database.Open(Jet(dir / "db.mdb"));

    auto rows = connection->Execute("SELECT * FROM [Jobs] ORDER BY [EventCode]");
    std::string seen;
    FieldValue value;  // one value reused across rows, as the export reads
    while (!rows->Eof()) {
        rows->Read("userid", value);  // names compare without regard to case
        seen += (value.isNull ? "null" : value.text) + (value.isNumber ? "#" : "") + "|";
        rows->Read("Name", value);
        seen += (value.isNull ? "null" : value.text) + ";";
        rows->MoveNext();
    }
    EXPECT_EQ(seen, std::string("2#|a;null|null;42#|c;-1.25#|A\0B;", 32));

    // Past the end: reads and moves raise "no current row"; unknown names raise too.
    EXPECT_EQ(ErrorOf([&] { rows->Field("Name"); }).number(), posix::kErrNoCurrentRow);
    EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }).number(), posix::kErrNoCurrentRow);
    Error unknown = ErrorOf([&] { rows->Field("Nope"); });
    EXPECT_EQ(unknown.number(), posix::kErrNoSuchField);
    EXPECT_EQ(unknown.description(), "no such column: Nope");

    EXPECT_TRUE(connection->Execute("SELECT * FROM [Empty]")->Eof());
    EXPECT_EQ(ErrorOf([&] { connection->Execute("SELECT * FROM [Missing]"); }).description(),
              "no such table: Missing");
    EXPECT_EQ(ErrorOf([&] { connection->Execute("SELECT * FROM Jobs ORDER BY [Code]"); })
                  .description(),
              "no such column: Code");
}

TEST(SqliteDatabase, RowSetOutlivingItsConnectionStaysReadable) {
    TempDir dir;
    std::string sql = "CREATE TABLE t(n INTEGER);";
    for (int i = 0; i < 3000; ++i) sql += "INSERT INTO t VALUES(" + std::to_string(i) + ");";
    Exec(dir / "db.mdb", "BEGIN;" + sql + "COMMIT;");
    posix::SqliteDatabase database;
    auto connection = database.Open(Jet(dir / "db.mdb"));
    auto rows = connection->Execute("SELECT * FROM t ORDER BY n DESC");
    connection.reset();

    int count = 0;
    long long sum = 0;
    for (; !rows->Eof(); rows->MoveNext(), ++count) sum += std::stoll(rows->Field("n").text);
    EXPECT_EQ(count, 3000);
    EXPECT_EQ(sum, 2999LL * 3000 / 2);
}

}  // namespace zc::test
