#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "migration/TableCatalogue.h"
#include "migration/statement/ColumnKind.h"
#include "tests/support/Paths.h"

// The DDL files in schema/ must declare exactly the catalogue's tables and columns, with a
// type per column kind. SQLite and PostgreSQL are also exercised for real by the
// integration tests; for SQL Server this is the only check.
namespace {

using Columns = std::vector<std::pair<std::string, std::string>>;  // name, type

std::map<std::string, Columns> ReadCreateTables(const std::string& file) {
    std::ifstream in(testpaths::Source("schema/" + file));
    std::ostringstream text;
    text << in.rdbuf();
    const std::string ddl = text.str();

    std::map<std::string, Columns> tables;
    const std::regex table(R"(create table (?:if not exists )?(\w+) \(([^;]*)\);)");
    const std::regex column(R"(^\s*(\w+) ([\w()]+),?\s*$)");
    for (std::sregex_iterator it(ddl.begin(), ddl.end(), table), end; it != end; ++it) {
        Columns& columns = tables[(*it)[1]];
        std::istringstream lines((*it)[2]);
        for (std::string line; std::getline(lines, line);) {
            std::smatch match;
            if (std::regex_match(line, match, column)) {
                columns.emplace_back(match[1], match[2]);
            }
        }
    }
    return tables;
}

struct SchemaCase {
    const char* file;
    const char* textType;
    const char* integerType;
    const char* dateTimeType;
};

class SchemaFileTest : public testing::TestWithParam<SchemaCase> {};

TEST_P(SchemaFileTest, DeclaresTheCatalogueTablesAndColumns) {
    const auto tables = ReadCreateTables(GetParam().file);
    const auto& catalogue = GetTableCatalogue();
    ASSERT_EQ(tables.size(), catalogue.size());
    for (const CCatalogueEntry& entry : catalogue) {
        SCOPED_TRACE(entry.table);
        ASSERT_EQ(tables.count(entry.table), 1u);
        const Columns& columns = tables.at(entry.table);
        ASSERT_EQ(columns.size(), entry.columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            EXPECT_EQ(columns[i].first, entry.columns[i].name);
            const int kind = entry.columns[i].kind;
            const char* expected = kind == COLKIND_TEXT      ? GetParam().textType
                                   : kind == COLKIND_INTEGER ? GetParam().integerType
                                                             : GetParam().dateTimeType;
            EXPECT_EQ(columns[i].second, expected) << columns[i].first;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SchemaFileTest,
    testing::Values(SchemaCase{"sqlserver.sql", "nvarchar(max)", "int", "datetime2(0)"},
                    SchemaCase{"postgresql.sql", "text", "integer", "timestamp"},
                    SchemaCase{"sqlite.sql", "text", "integer", "text"}),
    [](const testing::TestParamInfo<SchemaCase>& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

}  // namespace
