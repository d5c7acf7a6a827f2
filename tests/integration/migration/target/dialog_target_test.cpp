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

}  // namespace
