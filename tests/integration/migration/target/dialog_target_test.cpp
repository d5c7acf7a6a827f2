// The dialog's target asks before adding rows to tables that hold some; a table missing from
// the target fails the open before anything is asked, and a table that cannot be counted
// counts as holding rows.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/DialogTarget.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/RunLock.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SqliteTarget.h"

namespace {

// Opens a dialog target on target; the rows it asked about, or none when it did not ask.
std::optional<std::vector<CTargetTableRows>> AskedAbout(const testtarget::SqliteTarget& target) {
    std::optional<std::vector<CTargetTableRows>> asked;
    CDatabase db;
    CDialogTarget dialog(db, std::nullopt, [&asked](const CExistingRows& existing) {
        asked = existing.tables;
        return ExistingRowsChoice::Cancel;
    });
    try {
        dialog.Open(target.ConnectionString());
        dialog.Close();
    } catch (const CRunCancelled&) {
        EXPECT_TRUE(asked.has_value());
    }
    return asked;
}

TEST(DialogTargetExistingRows, ATableWithRowsIsAskedAboutAndAMissingOneFailsTheOpen) {
    testtarget::SqliteTarget target;
    EXPECT_FALSE(AskedAbout(target).has_value());

    target.Execute("insert into Mst02(Col02) values ('old');");
    const auto asked = AskedAbout(target);
    ASSERT_TRUE(asked.has_value());
    ASSERT_EQ(asked->size(), 8u);
    for (const CTargetTableRows& table : *asked) {
        EXPECT_EQ(table.rows, std::optional<std::size_t>(table.table == "Mst02" ? 1 : 0))
            << table.table;
    }

    target.Execute("drop table Mst03;");
    try {
        AskedAbout(target);
        ADD_FAILURE() << "a target without Mst03 was opened";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("The target has no table Mst03: "), std::string::npos)
            << e.GetErrorMessage();
    }

    // A count that fails counts as rows.
    CDatabase db;
    db.OpenEx(target.ConnectionString(), noOdbcDialog);
    for (const CTargetTableRows& table : CountTargetRows(db)) {
        EXPECT_EQ(table.rows.has_value(), table.table != "Mst03") << table.table;
    }
}

// The dialog's run holds the target's run lock from before its question to its Close: a run
// started meanwhile, in this process too, is refused naming it; the replace it switches to
// runs on its connection under that same lock; after its Close the next run goes ahead.
TEST(DialogTargetRunLock, TheQuestionAndTheRunHoldTheTargetsRunLock) {
    testtarget::SqliteTarget target;
    target.Execute("insert into Mst02 (Col02) values ('held');");
    std::string refusal;
    CDatabase db;
    CDialogTarget dialog(db, std::nullopt, [&](const CExistingRows&) {
        CDatabase other;
        COdbcTarget beside(other);
        try {
            beside.Open(target.ConnectionString());
            ADD_FAILURE() << "a run opened beside the dialog's";
            beside.Close();
        } catch (const CDBException& e) {
            refusal = e.GetErrorMessage();
        }
        return ExistingRowsChoice::Replace;
    });
    dialog.Open(target.ConnectionString());
    EXPECT_TRUE(dialog.IsReplacing());
    EXPECT_EQ(refusal.rfind("Another Brimlow run (dialog by ", 0), 0u) << refusal;
    EXPECT_NE(refusal.find("; nothing was sent."), std::string::npos) << refusal;
    dialog.CommitRun();
    dialog.Close();
    EXPECT_EQ(target.Count("Mst02"), 0u);

    CDatabase after;
    COdbcTarget next(after);
    next.Open(target.ConnectionString());
    next.Close();
}

// Into PostgreSQL, 置き換える loads through libpq's session: the run lock the question was asked
// under moves to that session, which also holds the tables, and another run is still refused
// naming the dialog's run. A connection string libpq cannot follow keeps the insert path, and
// the note says why.
TEST(DialogTargetRunLock, AReplaceIntoPostgresHoldsTheRunLockOnItsLoadingSession) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("dialoglock");
    server.Execute(database, "insert into Mst02 (Col02) values ('held');");
    const std::string advisory =
        "select l.pid from pg_locks l where l.locktype = 'advisory' and l.granted and "
        "l.objsubid = 1 and l.classid = " +
        std::to_string(kRunLockKey >> 32) +
        " and l.objid = " + std::to_string(kRunLockKey & 0xffffffff);
    // The sessions that hold the run lock and Mst01's exclusive lock alike.
    const std::string both = "select count(*) from (" + advisory +
                             ") a where a.pid in (select pid from pg_locks where locktype = "
                             "'relation' and granted and mode = 'ExclusiveLock' and relation = "
                             "'mst01'::regclass)";
    {
        CDatabase db;
        CDialogTarget dialog(db, std::nullopt,
                             [](const CExistingRows&) { return ExistingRowsChoice::Replace; });
        bool noted = false;
        dialog.SetBulkNote([&noted](const CBulkUnusable&) { noted = true; });
        dialog.Open(server.ConnectionString(database));
        ASSERT_TRUE(dialog.IsReplacing());
        EXPECT_EQ(dialog.BulkPath(), "copy");
        EXPECT_FALSE(noted);
        EXPECT_EQ(server.Query(database, "select count(*) from (" + advisory + ") a").at(0).at(0),
                  "1");
        EXPECT_EQ(server.Query(database, both).at(0).at(0), "1");

        CDatabase other;
        COdbcTarget beside(other);
        try {
            beside.Open(server.ConnectionString(database));
            ADD_FAILURE() << "a run opened beside the dialog's";
            beside.Close();
        } catch (const CDBException& e) {
            EXPECT_EQ(e.GetErrorMessage().rfind("Another Brimlow run (dialog by ", 0), 0u)
                << e.GetErrorMessage();
        }
        dialog.CommitRun();
        dialog.Close();
    }
    EXPECT_EQ(server.Query(database, "select count(*) from Mst02").at(0).at(0), "0");
    EXPECT_EQ(server.Query(database, "select count(*) from (" + advisory + ") a").at(0).at(0), "0");

    server.Execute(database, "insert into Mst02 (Col02) values ('held');");
    CDatabase db;
    CDialogTarget dialog(db, std::nullopt,
                         [](const CExistingRows&) { return ExistingRowsChoice::Replace; });
    std::optional<CBulkUnusable> noted;
    dialog.SetBulkNote([&noted](const CBulkUnusable& unusable) { noted = unusable; });
    dialog.Open(server.ConnectionString(database) + ";MaxVarcharSize=300");
    EXPECT_EQ(dialog.BulkPath(), "insert");
    ASSERT_TRUE(noted.has_value());
    EXPECT_EQ(noted->reason, CBulkUnusable::Reason::Attribute);
    EXPECT_EQ(noted->attribute, "maxvarcharsize");
    dialog.CommitRun();
    dialog.Close();
    EXPECT_EQ(server.Query(database, "select count(*) from Mst02").at(0).at(0), "0");
}

}  // namespace
