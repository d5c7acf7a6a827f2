// A SQLite target file moved or deleted while a run writes to it: the rows follow the open file,
// not the path the report names, so the run fails instead of calling itself done; a replacing
// run does not commit into it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "tests/support/SqliteTarget.h"

namespace {

// Inserts one KEN_ALL_Version row and ends the table.
void InsertVersion(ITargetDatabase& target) {
    CInsertItemList row("KEN_ALL_Version", 1);
    row.AddItem("Version", COLKIND_DATETIME, CFieldValue::Date(46000.5));
    target.InsertRow(row);
    target.EndTable();
}

bool Says(const CDBException& e, const std::string& part) {
    return e.GetErrorMessage().find(part) != std::string::npos;
}

}  // namespace

TEST(TargetFileMoved, APerRowRunFailsWhenItsFileWasMovedOrDeleted) {
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "moved");
        const testtarget::SqliteTarget sqlite;
        CDatabase database;
        COdbcTarget target(database);
        target.Open(sqlite.ConnectionString());
        InsertVersion(target);
        const std::filesystem::path moved = sqlite.Directory() / "elsewhere.db";
        if (deleted) {
            std::filesystem::remove(sqlite.File());
        } else {
            std::filesystem::rename(sqlite.File(), moved);
        }
        try {
            target.CommitRun();
            ADD_FAILURE() << "the run called itself done";
        } catch (const CDBException& e) {
            EXPECT_TRUE(Says(e, "was moved or deleted during the run")) << e.GetErrorMessage();
            EXPECT_TRUE(Says(e, sqlite.File().string())) << e.GetErrorMessage();
        }
        target.Close();
    }
}

TEST(TargetFileMoved, AReplacingRunDoesNotCommitIntoAFileThatIsNoLongerTheTarget) {
    const testtarget::SqliteTarget sqlite;
    sqlite.Execute("insert into KEN_ALL_Version (Version) values ('old')");
    CDatabase database;
    CReplaceTarget target(database);
    target.Open(sqlite.ConnectionString());
    InsertVersion(target);
    const std::filesystem::path moved = sqlite.Directory() / "elsewhere.db";
    std::filesystem::rename(sqlite.File(), moved);
    EXPECT_THROW(target.CommitRun(), CDBException);
    target.Close();
    // Rolled back: the moved file holds what it held before.
    std::filesystem::rename(moved, sqlite.File());
    EXPECT_EQ(sqlite.Query("select Version from KEN_ALL_Version"),
              (testtarget::Rows{{std::string("old")}}));
}

TEST(TargetFileMoved, AFileInItsPlaceCompletes) {
    const testtarget::SqliteTarget sqlite;
    CDatabase database;
    COdbcTarget target(database);
    target.Open(sqlite.ConnectionString());
    InsertVersion(target);
    EXPECT_NO_THROW(target.CommitRun());
    target.Close();
}
