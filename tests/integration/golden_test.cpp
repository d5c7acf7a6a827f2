#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dbaccess/DaoDatabase.h"
#include "dbaccess/DaoRecordset.h"
#include "migration/InsertItem.h"
#include "migration/TableCatalogue.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/Paths.h"

namespace {

// Every row statement of a file: the catalogue's tables in order, rows in storage order.
std::vector<std::string> BuildAllStatements(const std::string& mdbName) {
    CDaoDatabase database;
    database.Open(testpaths::Data(mdbName).string(), false, true, ";PWD=wuzo");
    std::vector<std::string> statements;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        CDaoRecordset recordset(database);
        recordset.Open(dbOpenDynaset, entry.query, dbReadOnly);
        for (; !recordset.IsEOF(); recordset.MoveNext()) {
            CInsertItemList row(entry.table, entry.columns.size());
            for (const CCatalogueColumn& column : entry.columns) {
                row.AddItem(column.name, column.kind, recordset.GetFieldValue(column.name));
            }
            statements.push_back(row.BuildStatement());
        }
    }
    return statements;
}

class GoldenRowStatements : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRowStatements, MatchTheGoldenFileStatementByStatement) {
    const std::string name = GetParam();
    const std::vector<std::string> expected =
        ReadGoldenStatements(testpaths::Data("golden/" + name + ".sql.json"));
    ASSERT_FALSE(expected.empty());
    const std::vector<std::string> actual = BuildAllStatements(name + ".mdb");

    EXPECT_EQ(actual.size(), expected.size());
    int differences = 0;
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i] && ++differences <= 10) {
            ADD_FAILURE() << "statement " << i + 1 << "\n  built:    " << actual[i]
                          << "\n  expected: " << expected[i];
        }
    }
    EXPECT_EQ(differences, 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenRowStatements, testing::Values("sample", "types", "dates"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
