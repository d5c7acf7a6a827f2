// The life of a CDatabase on the embedded default target: the built-in connection string
// through the project's odbcinst.ini, opening, refusing, closing and reopening, and what
// a failure that reaches no driver says.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/WorkingDirectory.h"

namespace {

const std::string kBuiltInTarget =
    "Driver={SQL Server};Server=.\\SQLEXPRESS;Database=Pomvale01;Trusted_Connection=Yes";

using testsupport::WorkingDirectory;

std::string ExecuteError(CDatabase& db, const std::string& statement) {
    try {
        db.ExecuteSQL(statement);
    } catch (const CDBException& e) {
        return e.GetErrorMessage();
    }
    ADD_FAILURE() << "no CDBException for: " << statement;
    return {};
}

std::string OpenError(CDatabase& db, const std::string& connect) {
    try {
        db.OpenEx(connect, noOdbcDialog);
    } catch (const CDBException& e) {
        return e.GetErrorMessage();
    }
    ADD_FAILURE() << "no CDBException for: " << connect;
    return {};
}

TEST(TargetBuiltInString, OpensTheSqliteFilePomvale01InTheWorkingDirectory) {
    testsupport::TempDirectory dir("brimlow-builtin");
    WorkingDirectory cwd(dir.Path());
    CDatabase db;
    EXPECT_TRUE(db.OpenEx(kBuiltInTarget, noOdbcDialog));
    EXPECT_TRUE(db.IsOpen());
    db.ExecuteSQL("create table t (x text)");
    db.ExecuteSQL("insert into t (x) values ('row')");
    db.Close();
    ASSERT_TRUE(std::filesystem::exists(dir / "Pomvale01"));
    auto rows =
        testsupport::RunCommand({"sqlite3", (dir / "Pomvale01").string(), "select x from t"});
    EXPECT_EQ(rows.out, "row\n");
}

TEST(TargetBuiltInString, WorksOnAFilePreparedByPrepareTarget) {
    testsupport::TempDirectory dir("brimlow-prepared");
    const auto script = testpaths::Source("scripts/prepare-target").string();
    auto first = testsupport::RunCommand({script}, {}, dir.Path());
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("sqlite3 Pomvale01"), std::string::npos) << first.out;

    WorkingDirectory cwd(dir.Path());
    CDatabase db;
    db.OpenEx(kBuiltInTarget, noOdbcDialog);
    db.ExecuteSQL("insert into KEN_ALL_Version (Version) values ('2009/04/03 14:07:30')");
    db.Close();

    // Running it again keeps the file, its tables and its rows, and WAL stays on.
    auto second = testsupport::RunCommand({script}, {}, dir.Path());
    ASSERT_EQ(second.exitCode, 0) << second.err;
    auto check = testsupport::RunCommand(
        {"sqlite3", "Pomvale01", "pragma journal_mode", "select count(*) from sqlite_master",
         "select Version from KEN_ALL_Version"},
        {}, dir.Path());
    EXPECT_EQ(check.out, "wal\n8\n2009/04/03 14:07:30\n");
}

TEST(TargetLifecycle, ReopensAfterClose) {
    testtarget::SqliteTarget target;
    CDatabase db;
    db.OpenEx(target.ConnectionString(), noOdbcDialog);
    db.ExecuteSQL("insert into Mst02 (Col02) values ('first')");
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    db.Close();  // closing a closed connection does nothing
    EXPECT_TRUE(db.OpenEx(target.ConnectionString(), noOdbcDialog));
    db.ExecuteSQL("insert into Mst02 (Col02) values ('second')");
    EXPECT_EQ(target.Query("select Col02 from Mst02").size(), 2u);
}

TEST(TargetLifecycle, OpenExOnAnOpenConnectionIsRefusedAndCloses) {
    testtarget::SqliteTarget target;
    CDatabase db;
    db.OpenEx(target.ConnectionString(), noOdbcDialog);
    const std::string message = OpenError(db, target.ConnectionString());
    EXPECT_NE(message, "");
    EXPECT_FALSE(db.IsOpen());
    EXPECT_THROW(db.ExecuteSQL("insert into Mst02 (Col02) values ('x')"), CDBException);
    EXPECT_TRUE(db.OpenEx(target.ConnectionString(), noOdbcDialog));
}

TEST(TargetLifecycle, ExecuteOnAClosedConnectionThrows) {
    CDatabase db;
    EXPECT_THROW(db.ExecuteSQL("select 1"), CDBException);
}

TEST(TargetLifecycle, DestroyingAnOpenConnectionClosesIt) {
    testtarget::SqliteTarget target;
    {
        CDatabase db;
        db.OpenEx(target.ConnectionString(), noOdbcDialog);
        db.ExecuteSQL("insert into Mst04 (Col02) values ('kept')");
    }
    EXPECT_EQ(target.Query("select Col02 from Mst04"), testtarget::Rows{{"kept"}});
}

TEST(TargetConnectFailure, UnknownDriverNamesTheDriverWithoutTags) {
    CDatabase db;
    EXPECT_EQ(OpenError(db, "Driver={No Such Driver};Database=x"),
              "Can't open lib 'No Such Driver' : file not found\n");
    EXPECT_FALSE(db.IsOpen());
}

TEST(TargetConnectFailure, AFailedOpenLeavesTheObjectReusable) {
    testtarget::SqliteTarget target;
    CDatabase db;
    OpenError(db, "Driver={No Such Driver}");
    EXPECT_TRUE(db.OpenEx(target.ConnectionString(), noOdbcDialog));
}

TEST(TargetMessage, LongMessageStaysWithin511BytesAndWholeCharacters) {
    testtarget::SqliteTarget target;
    CDatabase db;
    db.OpenEx(target.ConnectionString(), noOdbcDialog);
    std::string name;
    for (int i = 0; i < 200; ++i) {
        name += "表";
    }
    // SQLite repeats the unknown name (600 bytes); sqlite3odbc itself keeps about 500 bytes
    // of a message, on a character boundary. PostgreSQL shows our own cut (see there).
    const std::string message = ExecuteError(db, "insert into " + name + " (x) values (1)");
    const std::string prefix = "no such table: ";
    EXPECT_LE(message.size(), 511u);
    ASSERT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    EXPECT_EQ(message.back(), '\n');
    EXPECT_EQ((message.size() - prefix.size() - 1) % 3, 0u);
}

}  // namespace
