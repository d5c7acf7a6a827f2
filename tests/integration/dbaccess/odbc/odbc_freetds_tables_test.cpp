// The test TDS server (tests/support/tds_server.py) as a target whose tables are read back:
// through FreeTDS's ODBC driver it holds the rows it is sent as SQL Server holds them, in the
// column types of schema/sqlserver.sql, and stores text that does not fit as SQL Server's
// settings make it: cut to the column (ANSI_WARNINGS OFF), or '?' outside the code page.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "tests/support/TdsServer.h"

namespace {

using testtarget::Row;
using testtarget::Rows;
using testtarget::TdsServer;
using Types = std::vector<short>;

class FreeTdsTables : public testing::Test {
protected:
    void SetUp() override {
        if (!TdsServer::DriverInstalled()) {
            GTEST_SKIP() << TdsServer::Driver()
                         << " is not installed (package tdsodbc; scripts/install-deps)";
        }
    }
};

// Rows in the statements' literal forms, transactions, deletes and counts; text of every kind
// comes back byte-exact, NULL apart from empty, integers as int, datetime2 as a timestamp.
TEST_F(FreeTdsTables, TheRowsSentAreHeldAndReadBackInTheirColumnsTypes) {
    const TdsServer server;
    CDatabase db;
    db.OpenEx(server.ConnectString());
    EXPECT_EQ(db.ExecuteSQL("insert into Mst01(Col02,Col03,Col10,JogaiFlag) values "
                            "('A001','O''Brien 北海道 ｻｯﾎﾟﾛ 𠮷\\',NULL,-1),"
                            "('A002','',' two\nlines ',2147483647)"),
              2);
    EXPECT_EQ(db.ExecuteSQL("insert into KEN_ALL_Version(Version) values ('2009/04/03 14:07:30')"),
              1);
    db.ExecuteSQL("insert into KEN_ALL_Version(Version) values ('100/01/01 00:00:00'),(NULL)");
    db.BeginTrans();
    db.ExecuteSQL("delete from Mst01");
    db.ExecuteSQL("insert into Mst01(Col02) values ('rolled back')");
    db.Rollback();
    db.BeginTrans();
    db.ExecuteSQL("insert into Mst01(Col02) values ('A003')");
    db.CommitTrans();

    const TdsServer::Result mst01 = server.Query("select Col02,Col03,Col10,JogaiFlag from Mst01");
    EXPECT_EQ(mst01.types, (Types{SQL_WVARCHAR, SQL_WVARCHAR, SQL_WVARCHAR, SQL_INTEGER}));
    EXPECT_EQ(mst01.rows, (Rows{{"A001", "O'Brien 北海道 ｻｯﾎﾟﾛ 𠮷\\", std::nullopt, "-1"},
                                {"A002", "", " two\nlines ", "2147483647"},
                                {"A003", std::nullopt, std::nullopt, std::nullopt}}));
    const TdsServer::Result versions = server.Query("select Version from KEN_ALL_Version");
    EXPECT_EQ(versions.types, Types{SQL_TYPE_TIMESTAMP});
    EXPECT_EQ(versions.rows,
              (Rows{{"2009/04/03 14:07:30"}, {"100/01/01 00:00:00"}, Row{std::nullopt}}));
    // The columns are described without a row.
    const TdsServer::Result described = server.Query("select JogaiFlag,Col05 from Mst04 where 1=0");
    EXPECT_EQ(described.types, (Types{SQL_INTEGER, SQL_WVARCHAR}));
    EXPECT_TRUE(described.rows.empty());

    EXPECT_EQ(db.QueryValue("select count(*) from Mst01"), "3");
    EXPECT_EQ(db.ExecuteSQL("delete from Mst01 with (TABLOCKX, HOLDLOCK)"), 3);
    EXPECT_TRUE(server.Query("select Col02 from Mst01").rows.empty());
}

// A result is streamed as it is encoded: thousands of rows arrive whole and in order, and a
// reader that closes its cursor early is answered with the end of the result at once.
TEST_F(FreeTdsTables, ThousandsOfRowsAreStreamedAndAReadCanEndEarly) {
    const TdsServer server;
    CDatabase db;
    db.OpenEx(server.ConnectString());
    const std::string kanji = "北海道札幌市中央区以下に掲載がない場合";
    for (int statement = 0; statement < 5; ++statement) {
        std::string values;
        for (int i = statement * 1000; i < (statement + 1) * 1000; ++i) {
            values += (values.empty() ? "(" : ",(") + std::to_string(i) + ",'" + kanji +
                      std::to_string(i) + "')";
        }
        ASSERT_EQ(db.ExecuteSQL("insert into KEN_ALL(Flag10,City2Kanji) values " + values), 1000);
    }
    const Rows rows = server.Query("select Flag10,City2Kanji,Flag11 from KEN_ALL").rows;
    ASSERT_EQ(rows.size(), 5000u);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(rows[i], (Row{std::to_string(i), kanji + std::to_string(i), std::nullopt})) << i;
    }

    EXPECT_EQ(server.Query("select Flag10 from KEN_ALL", 10).rows.size(), 10u);
    std::size_t attentions = 0;
    for (const JsonValue& record : server.Records()) {
        attentions += record["kind"].text == "attention";
    }
    EXPECT_EQ(attentions, 1u);
    EXPECT_EQ(db.QueryValue("select count(*) from KEN_ALL"), "5000");
}

// ANSI_WARNINGS OFF: a text longer than its column is cut to the declared length (nvarchar in
// characters, varchar in bytes) without a word. SQL Server's default refuses the statement,
// and none of its rows is stored. Blanks beyond the length are dropped either way.
TEST_F(FreeTdsTables, TextLongerThanItsColumnIsCutWithAnsiWarningsOffAndRefusedWithout) {
    const std::string insert =
        "insert into Mst01(Col02,Col09,Col10) values ('A001','abcdef','xyz   '),"
        "('A002','北海道札幌市','ab')";
    for (const bool cut : {true, false}) {
        std::vector<std::string> options{"--column", "Mst01.Col09=nvarchar(4)", "--column",
                                         "Mst01.Col10=varchar(3)"};
        if (cut) {
            options.insert(options.end(), {"--ansi-warnings", "off"});
        }
        const TdsServer server(options);
        CDatabase db;
        db.OpenEx(server.ConnectString());
        const char* select = "select Col02,Col09,Col10 from Mst01";
        if (cut) {
            EXPECT_EQ(db.ExecuteSQL(insert), 2);
            const TdsServer::Result result = server.Query(select);
            EXPECT_EQ(result.types, (Types{SQL_WVARCHAR, SQL_WVARCHAR, SQL_VARCHAR}));
            EXPECT_EQ(result.rows, (Rows{{"A001", "abcd", "xyz"}, {"A002", "北海道札", "ab"}}));
            EXPECT_EQ(server.Committed().at("Mst01").at(1), "('A002','北海道札','ab')");
            continue;
        }
        try {
            db.ExecuteSQL(insert);
            ADD_FAILURE() << "the statement was not refused";
        } catch (const CDBException& e) {
            EXPECT_NE(e.GetErrorMessage().find("String or binary data would be truncated in "
                                               "table 'Pomvale01.dbo.Mst01', column 'Col09'."),
                      std::string::npos)
                << e.GetErrorMessage();
        }
        EXPECT_TRUE(server.Query(select).rows.empty());
    }
}

// A database in a Latin-1 collation whose text columns are varchar: a '…' literal is read in
// code page 1252, and every character outside it is stored as '?'.
TEST_F(FreeTdsTables, CharactersOutsideTheCodePageAreStoredAsQuestionMarks) {
    const TdsServer server({"--code-page", "1252", "--varchar"});
    CDatabase db;
    db.OpenEx(server.ConnectString());
    EXPECT_EQ(db.ExecuteSQL("insert into Mst02(Col02,Col03,Col04,JogaiFlag) values "
                            "('B01','北海道 café','ﾎｯｶｲﾄﾞｳ 5 €',0)"),
              1);
    const TdsServer::Result result = server.Query("select Col02,Col03,Col04,JogaiFlag from Mst02");
    EXPECT_EQ(result.types, (Types{SQL_VARCHAR, SQL_VARCHAR, SQL_VARCHAR, SQL_INTEGER}));
    EXPECT_EQ(result.rows, (Rows{{"B01", "??? café", "??????? 5 €", "0"}}));
}

}  // namespace
