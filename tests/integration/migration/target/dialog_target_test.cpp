// The dialog's target asks before adding rows to tables that hold some; a table it cannot
// count (here, one missing from the target) counts as holding rows.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/DialogTarget.h"
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

TEST(DialogTargetExistingRows, ACountThatFailsCountsAsRows) {
    testtarget::SqliteTarget target;
    EXPECT_FALSE(AskedAbout(target).has_value());

    target.Execute("drop table Mst03;");
    const auto asked = AskedAbout(target);
    ASSERT_TRUE(asked.has_value());
    for (const CTargetTableRows& table : *asked) {
        if (table.table == "Mst03") {
            EXPECT_FALSE(table.rows.has_value());
        } else {
            EXPECT_EQ(table.rows, std::optional<std::size_t>(0)) << table.table;
        }
    }
    EXPECT_EQ(asked->size(), 8u);
}

}  // namespace
