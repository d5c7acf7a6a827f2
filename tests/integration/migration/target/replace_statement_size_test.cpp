// A replacing run's statements end once they pass about 256 KB, long before 500 rows when the
// rows are long: a statement of 500 memo-sized rows would run to megabytes, past what
// SQLite (1,000,000 bytes) and many servers take. (Asked for statements of the kind's rows, a
// replacing run into a SQLite file sends them instead of binding its values.)
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/kinds/TargetKinds.h"
#include "tests/support/SqliteTarget.h"

namespace {

TEST(ReplaceTargetStatementSize, LongRowsAreSplitLongBeforeTheRowLimit) {
    constexpr std::size_t kCap = 256 * 1024;
    constexpr std::size_t kRowText = 8000;
    constexpr std::size_t kRows = 100;  // about 800 KB in all
    testtarget::SqliteTarget target;
    // The SQLite driver writes every statement it prepares to its trace file, one a line.
    const std::string trace = (target.Directory() / "trace.sql").string();
    CDatabase db;
    db.OpenEx(target.ConnectionString() + ";Tracefile=" + trace, noOdbcDialog);
    CReplaceTarget replace(db, SqliteKind().RowsPerStatement());
    replace.TakeOver({target.ConnectionString(), "", "the test's SQLite file"}, SqliteKind());
    for (std::size_t i = 0; i < kRows; ++i) {
        CInsertItemList row("Mst02", 1);
        row.AddItem("Col02", COLKIND_TEXT,
                    CFieldValue::Text(std::to_string(i) + std::string(kRowText, 'x')));
        replace.InsertRow(row);
    }
    replace.EndTable();
    replace.CommitRun();
    replace.Close();
    db.Close();
    EXPECT_EQ(target.Count("Mst02"), kRows);

    std::ifstream in(trace);
    std::vector<std::size_t> sizes;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("insert into Mst02", 0) == 0) {
            sizes.push_back(line.size());
        }
    }
    EXPECT_GE(sizes.size(), 3u);
    for (const std::size_t size : sizes) {
        // A statement ends with the row that takes it past the cap.
        EXPECT_LT(size, kCap + kRowText + 100);
    }
}

}  // namespace
