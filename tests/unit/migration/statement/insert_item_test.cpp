#include <gtest/gtest.h>

#include <string>

#include "dbaccess/Exceptions.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"

namespace {

TEST(Statement, WorkedExampleOfAMasterRow) {
    CInsertItemList row("Mst02");
    row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text("A01"));
    row.AddItem("Col03", COLKIND_TEXT, CFieldValue::Text("it's"));
    row.AddItem("Col04", COLKIND_TEXT, CFieldValue::Null());
    row.AddItem("Col05", COLKIND_TEXT, CFieldValue::Text(""));
    row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Long(1));
    EXPECT_EQ(row.BuildStatement(),
              "insert into Mst02(Col02,Col03,Col04,Col05,JogaiFlag) values "
              "('A01','it''s',NULL,'',1)");
}

TEST(Statement, WorkedExampleOfAOneColumnRowHasNoComma) {
    CInsertItemList row("KEN_ALL_Version");
    row.AddItem("Version", COLKIND_DATETIME, CFieldValue::Date(39906.588541667));
    EXPECT_EQ(row.BuildStatement(),
              "insert into KEN_ALL_Version(Version) values ('2009/04/03 14:07:30')");
}

TEST(Statement, NullInEveryKindIsTheBareKeywordAndTheColumnStaysListed) {
    CInsertItemList row("T");
    row.AddItem("a", COLKIND_INTEGER, CFieldValue::Null());
    row.AddItem("b", COLKIND_TEXT, CFieldValue::Null());
    row.AddItem("c", COLKIND_DATETIME, CFieldValue::Null());
    EXPECT_EQ(row.BuildStatement(), "insert into T(a,b,c) values (NULL,NULL,NULL)");
    for (const CInsertItem& item : row.m_items) {
        EXPECT_EQ(item.m_nKind, COLKIND_NULL);
        EXPECT_EQ(item.m_strValue, "");
    }
}

TEST(Statement, AnEmptyValueIsNotNull) {
    CInsertItemList row("T");
    row.AddItem("a", COLKIND_INTEGER, CFieldValue());
    row.AddItem("b", COLKIND_TEXT, CFieldValue());
    row.AddItem("c", COLKIND_DATETIME, CFieldValue());
    EXPECT_EQ(row.BuildStatement(), "insert into T(a,b,c) values (0,'','1899/12/30 00:00:00')");
}

TEST(Statement, EntriesHoldTheUnquotedTextAndTheKindPassed) {
    CInsertItemList row("T");
    row.AddItem("name", COLKIND_TEXT, CFieldValue::Text("it's"));
    row.AddItem("flag", COLKIND_INTEGER, CFieldValue::Integer(-5));
    ASSERT_EQ(row.m_items.size(), 2u);
    EXPECT_EQ(row.m_items[0].m_strColumn, "name");
    EXPECT_EQ(row.m_items[0].m_strValue, "it's");
    EXPECT_EQ(row.m_items[0].m_nKind, COLKIND_TEXT);
    EXPECT_EQ(row.m_items[1].m_strValue, "-5");
    EXPECT_EQ(row.m_items[1].m_nKind, COLKIND_INTEGER);
    EXPECT_EQ(row.BuildStatement(), "insert into T(name,flag) values ('it''s',-5)");
}

TEST(Statement, KeepsTheOrderOfAddingAndListsARepeatedColumnTwice) {
    CInsertItemList row("T");
    row.AddItem("b", COLKIND_INTEGER, CFieldValue::Long(2));
    row.AddItem("a", COLKIND_INTEGER, CFieldValue::Long(1));
    row.AddItem("b", COLKIND_INTEGER, CFieldValue::Long(3));
    EXPECT_EQ(row.BuildStatement(), "insert into T(b,a,b) values (2,1,3)");
}

TEST(Statement, BuildingTwiceGivesTheSameTextAndLeavesTheListAlone) {
    CInsertItemList row("Mst01");
    row.AddItem("Col10", COLKIND_TEXT, CFieldValue::Text("最終行'"));
    row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Null());
    const std::string first = row.BuildStatement();
    EXPECT_EQ(row.BuildStatement(), first);
    EXPECT_EQ(first, "insert into Mst01(Col10,JogaiFlag) values ('最終行''',NULL)");
    EXPECT_EQ(row.m_items.size(), 2u);
}

TEST(Statement, NamesGoInVerbatim) {
    CInsertItemList row("my table");
    row.AddItem("Mixed Case", COLKIND_TEXT, CFieldValue::Text("x"));
    EXPECT_EQ(row.BuildStatement(), "insert into my table(Mixed Case) values ('x')");
}

TEST(Statement, AnUnconvertibleValueNamesTableColumnAndTypeAndAddsNothing) {
    CInsertItemList row("KEN_ALL");
    row.AddItem("Flag14", COLKIND_INTEGER, CFieldValue::Long(0));
    try {
        row.AddItem("Flag15", COLKIND_INTEGER, CFieldValue::Text("abc"));
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The Text value \"abc\" cannot be converted to an integer (type mismatch): "
                  "table 'KEN_ALL', column 'Flag15'.");
    }
    EXPECT_EQ(row.m_items.size(), 1u);
}

}  // namespace
