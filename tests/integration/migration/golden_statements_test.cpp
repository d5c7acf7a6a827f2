#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <string>
#include <tuple>
#include <vector>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoRecordset.h"
#include "migration/TableCatalogue.h"
#include "migration/statement/InsertItem.h"
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

// The fixture's name and the locale the process is in while it renders: the statements
// must not change with a decimal comma (de_DE) or a Japanese locale, whatever the program
// or a library it loads sets.
class GoldenRowStatements : public testing::TestWithParam<std::tuple<const char*, const char*>> {
protected:
    void SetUp() override {
        m_previous = std::setlocale(LC_ALL, nullptr);
        const char* locale = std::get<1>(GetParam());
        if (std::setlocale(LC_ALL, locale) == nullptr) {
            GTEST_SKIP() << "the locale " << locale
                         << " is not generated (scripts/install-deps generates it)";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

TEST_P(GoldenRowStatements, MatchTheGoldenFileStatementByStatement) {
    const std::string name = std::get<0>(GetParam());
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

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenRowStatements,
                         testing::Combine(testing::Values("sample", "types", "dates"),
                                          testing::Values("C", "de_DE.UTF-8", "ja_JP.UTF-8")),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param)) + "_" +
                                                std::get<1>(info.param);
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                                 '_');
                             return name;
                         });

}  // namespace
