#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "migration/TableCatalogue.h"
#include "migration/statement/ColumnKind.h"

namespace {

struct ExpectedTable {
    const char* table;
    const char* query;
    const char* logLine;
};

TEST(Catalogue, ListsTheEightTablesInRunOrderWithQueryAndLogLine) {
    const ExpectedTable expected[] = {
        {"KEN_ALL", "select * from KEN_ALL", "KEN_ALLを移行しました。"},
        {"KEN_ALL_Version", "select * from KEN_ALL_Version", "KEN_ALL_Versionを移行しました。"},
        {"Mst01", "select * from Mst01", "Mst01を移行しました。"},
        {"Mst02", "select * from Mst02", "Mst02を移行しました。"},
        {"Mst02Error", "select * from Mst02Error", "Mst02Errorを移行しました。"},
        {"Mst03", "select * from Mst03", "Mst03を移行しました。"},
        {"Mst04", "select * from Mst04", "Mst04を移行しました。"},
        {"Mst04Error", "select * from Mst04Error", "Mst04Errorを移行しました。"},
    };
    const std::vector<CCatalogueEntry>& catalogue = GetTableCatalogue();
    ASSERT_EQ(catalogue.size(), std::size(expected));
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        EXPECT_EQ(catalogue[i].table, expected[i].table);
        EXPECT_EQ(catalogue[i].query, expected[i].query);
        EXPECT_EQ(catalogue[i].logLine, expected[i].logLine);
    }
}

// "name:kind" of every column, in order.
std::string Columns(const std::string& table) {
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        if (entry.table == table) {
            std::string text;
            for (const CCatalogueColumn& column : entry.columns) {
                text += (text.empty() ? "" : " ") + column.name + ":" + std::to_string(column.kind);
            }
            return text;
        }
    }
    return "missing";
}

TEST(Catalogue, GivesEachTableItsColumnsAndKinds) {
    EXPECT_EQ(Columns("KEN_ALL"),
              "DantaiCode:1 ZipCode5:1 ZipCode7:1 TodofukenKana:1 City1Kana:1 City2Kana:1 "
              "TodofukenKanji:1 City1Kanji:1 City2Kanji:1 Flag10:0 Flag11:0 Flag12:0 Flag13:0 "
              "Flag14:0 Flag15:0");
    EXPECT_EQ(Columns("KEN_ALL_Version"), "Version:2");
    const std::string tenColumns =
        "Col02:1 Col03:1 Col04:1 Col05:1 Col06:1 Col07:1 Col08:1 Col09:1 Col10:1 JogaiFlag:0";
    EXPECT_EQ(Columns("Mst01"), tenColumns);
    EXPECT_EQ(Columns("Mst03"), tenColumns);
    const std::string fiveColumns = "Col02:1 Col03:1 Col04:1 Col05:1 JogaiFlag:0";
    EXPECT_EQ(Columns("Mst02"), fiveColumns);
    EXPECT_EQ(Columns("Mst02Error"), fiveColumns);
    EXPECT_EQ(Columns("Mst04"), fiveColumns);
    EXPECT_EQ(Columns("Mst04Error"), fiveColumns);
}

}  // namespace
