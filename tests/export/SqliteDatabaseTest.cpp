#include <gtest/gtest.h>

#include "platform/posix/SqliteDatabase.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using posix::DataSourceOf;

std::string Jet(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Persist Security Info=False";
}

}  // namespace

TEST(SqliteDatabase, OpensExistingDatabasesOnlyAndReadOnly) {
    TempDir dir;
    posix::SqliteDatabase database;
    // A missing file is an error, never a new empty database.
    Error e = ErrorOf([&] { database.Open(Jet(dir / "missing.mdb")); });
    EXPECT_EQ(e.number(), posix::kErrDatabase);
    EXPECT_NE(e.description().find(dir / "missing.mdb"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "missing.mdb"));

    // A file that is not a database, and a folder, fail at the open and stay as they were.
    WriteFile(dir / "text.mdb", std::string(4096, 'x'));
    e = ErrorOf([&] { database.Open(Jet(dir / "text.mdb")); });
    EXPECT_NE(e.description().find("not a database"), std::string::npos) << e.description();
    EXPECT_NE(ErrorOf([&] { database.Open(Jet(dir.path())); }).number(), 0);
    EXPECT_EQ(ReadFile(dir / "text.mdb"), std::string(4096, 'x'));

    // Nothing is written through the connection.
    Sql(dir / "db.mdb", "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
    auto connection = database.Open(Jet(dir / "db.mdb"));
    e = ErrorOf([&] { connection->Execute("DELETE FROM t"); });
    EXPECT_NE(e.description().find("readonly"), std::string::npos) << e.description();
    EXPECT_EQ(connection->Execute("SELECT COUNT(*) AS n FROM [t]")->Field("n").text, "1");
}

TEST(SqliteDatabase, RowSetGivesValuesByNameUntilEofAndOutlivesItsConnection) {
    TempDir dir;
    Sql(dir / "db.mdb", "CREATE TABLE [Jobs](UserID, EventCode INTEGER); INSERT INTO Jobs VALUES(42, 3);"
                        "INSERT INTO Jobs VALUES(NULL, 2); INSERT INTO Jobs VALUES(x'410042', 1);");
    posix::SqliteDatabase database;
    auto connection = database.Open(Jet(dir / "db.mdb"));
    auto rows = connection->Execute("SELECT * FROM [Jobs] ORDER BY [EventCode]");
    connection.reset();  // the rows stay readable
    std::string seen;
    FieldValue value;  // one value reused across rows, as the export reads
    for (; !rows->Eof(); rows->MoveNext()) {
        rows->Read("userid", value);  // names compare without regard to case
        seen += (value.isNull ? "null" : value.text) + (value.isNumber ? "#" : "") + "|";
    }
    EXPECT_EQ(seen, std::string("A\0B|null|42#|", 13));
    // Past the end reads and moves raise "no current row"; unknown names raise too.
    EXPECT_EQ(ErrorOf([&] { rows->Field("UserID"); }).number(), posix::kErrNoCurrentRow);
    EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }).number(), posix::kErrNoCurrentRow);
    rows = database.Open(Jet(dir / "db.mdb"))->Execute("SELECT * FROM Jobs");
    Error unknown = ErrorOf([&] { rows->Field("Nope"); });
    EXPECT_EQ(unknown.number(), posix::kErrNoSuchField);
    EXPECT_EQ(unknown.description(), "no such column: Nope");
}

}  // namespace zc::test
