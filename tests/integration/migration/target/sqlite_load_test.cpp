// A replacing run into a SQLite file binds each value as its literal would be stored: the same
// storage class and value in columns of every affinity, for the texts a literal must quote
// with care and for texts that look like numbers. A row a trigger discards is named; a
// rollback-journal file, which a lock of the driver's idle connection would block at the
// commit, commits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/jet/FieldValue.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testtarget::Rows;
using testtarget::SqliteTarget;

// Mst02 with a column of each affinity.
constexpr const char kAffinities[] =
    "drop table Mst02; create table Mst02 (Col02 integer, Col03 real, Col04 numeric, Col05 "
    "blob, JogaiFlag text);";

const char* const kColumns[] = {"Col02", "Col03", "Col04", "Col05", "JogaiFlag"};

// Rows of hostile and number-like values, each given to every column as text, then integers,
// date-times and NULLs.
void InsertRows(ITargetDatabase& target) {
    const std::vector<std::string> texts = {
        "plain",
        "it's",
        "''",
        "",
        "back\\slash\\",
        "tab\there",
        "line\nfeed",
        "cr\r\nlf",
        std::string("zero\0byte", 9),
        "\xF0\xA0\xAE\xB7\xE9\x87\x8E\xE5\xAE\xB6\xF0\x9F\x98\x80",
        std::string(511, 'x') + "\xE8\xA1\xA8",
        "0600041",
        " 12 ",
        "12",
        "-5",
        "+7",
        "1e5",
        "3.0",
        "3.50",
        "0x10",
        "-0",
        "9223372036854775807",
        "9223372036854775808",
        "１２",
        "NULL",
        "2009/04/03 14:07:30"};
    for (const std::string& text : texts) {
        CInsertItemList row("Mst02", 5);
        for (const char* column : kColumns) {
            row.AddItem(column, COLKIND_TEXT, CFieldValue::Text(text));
        }
        target.InsertRow(row);
    }
    for (const int32_t number : {0, -5, 7, 2147483647, -2147483647 - 1}) {
        CInsertItemList row("Mst02", 5);
        for (const char* column : kColumns) {
            row.AddItem(column, COLKIND_INTEGER, CFieldValue::Long(number));
        }
        target.InsertRow(row);
    }
    for (const double days : {46000.5, 0.0, -700000.0}) {
        CInsertItemList row("Mst02", 5);
        for (const char* column : kColumns) {
            row.AddItem(column, COLKIND_DATETIME, CFieldValue::Date(days));
        }
        target.InsertRow(row);
    }
    CInsertItemList nulls("Mst02", 5);
    for (const char* column : kColumns) {
        nulls.AddItem(column, COLKIND_TEXT, CFieldValue::Null());
    }
    target.InsertRow(nulls);
    target.EndTable();
}

Rows Stored(const SqliteTarget& target) {
    std::string select;
    for (const char* column : kColumns) {
        select += std::string(select.empty() ? "" : ", ") + "typeof(" + column + "), hex(quote(" +
                  column + "))";
    }
    return target.Query("select " + select + " from Mst02 order by rowid;");
}

TEST(SqliteLoad, EachValueIsStoredAsItsLiteralInColumnsOfEveryAffinity) {
    const SqliteTarget perRow;
    perRow.Execute(kAffinities);
    {
        CDatabase db;
        COdbcTarget target(db);
        target.Open(perRow.ConnectionString());
        InsertRows(target);
        target.CommitRun();
        target.Close();
    }
    const SqliteTarget replaced;
    replaced.Execute(kAffinities);
    replaced.Execute("insert into Mst02 (Col02) values ('old');");
    CDatabase db;
    CReplaceTarget target(db);
    target.Open(replaced.ConnectionString());
    EXPECT_EQ(target.BulkPath(), "bound");
    InsertRows(target);
    target.CommitRun();
    target.Close();

    const Rows expected = Stored(perRow);
    ASSERT_EQ(expected.size(), 35u);
    EXPECT_EQ(Stored(replaced), expected);
}

// RAISE(IGNORE) makes SQLite skip the row without a failure: the run stops there, naming it,
// and nothing is kept.
TEST(SqliteLoad, ARowATriggerDiscardsIsNamedAndNothingIsKept) {
    const SqliteTarget sqlite;
    sqlite.Execute(
        "insert into Mst02 (Col02) values ('old'); create trigger discard before insert on Mst02 "
        "when new.Col02 = 'drop' begin select raise(ignore); end;");
    CDatabase db;
    CReplaceTarget target(db);
    target.Open(sqlite.ConnectionString());
    ASSERT_EQ(target.BulkPath(), "bound");
    try {
        for (const char* value : {"a", "b", "drop", "c"}) {
            CInsertItemList row("Mst02", 1);
            row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text(value));
            target.InsertRow(row);
        }
        ADD_FAILURE() << "the discarded row was not noticed";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The target accepted row 3 of Mst02 without storing it: a trigger or a rule on "
                  "the table discarded it.\n");
    }
    EXPECT_THROW(target.CommitRun(), CDBException);
    target.Close();
    EXPECT_EQ(sqlite.Query("select Col02 from Mst02;"), (Rows{{"old"}}));
}

// With a rollback journal the commit needs the file to itself: the driver's connection, idle
// since the checks, must hold no read lock then. The counts inside the transaction and after it
// are the library connection's.
TEST(SqliteLoad, ARollbackJournalFileCommits) {
    const SqliteTarget sqlite;
    sqlite.Execute("pragma journal_mode=delete; insert into Mst02 (Col02) values ('old');");
    CDatabase db;
    CReplaceTarget target(db);
    target.Open(sqlite.ConnectionString());
    ASSERT_EQ(target.BulkPath(), "bound");
    EXPECT_EQ(target.CountRows("Mst02"), 0u);
    EXPECT_EQ(target.ReadBackPadding("Mst02", {"Col02", "JogaiFlag"}),
              (std::vector<bool>{false, false}));
    CInsertItemList row("Mst02", 2);
    row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text("new"));
    row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Long(1));
    target.InsertRow(row);
    target.EndTable();
    target.CommitRun();
    EXPECT_EQ(target.CountRows("Mst02"), 1u);
    target.Close();
    EXPECT_EQ(sqlite.Query("select Col02, typeof(JogaiFlag) from Mst02;"),
              (Rows{{"new", "integer"}}));
    EXPECT_EQ(sqlite.Query("pragma journal_mode;"), (Rows{{"delete"}}));
}

}  // namespace
