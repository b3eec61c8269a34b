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

}  // namespace zc::test
