// Row statements through CDatabase on both real targets the tests can start: SQLite through
// the project's odbcinst.ini and PostgreSQL 15 through psqlODBC. What the statements wrote
// is read back with the targets' own command-line clients, not through ODBC.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testtarget::Row;
using testtarget::Rows;

// One target database with the eight tables, and a way to look into it.
class Target {
public:
    virtual ~Target() = default;
    virtual std::string ConnectionString() const = 0;
    virtual void Execute(const std::string& sql) = 0;
    virtual Rows Query(const std::string& sql) = 0;
};

class Sqlite : public Target {
public:
    std::string ConnectionString() const override { return m_target.ConnectionString(); }
    void Execute(const std::string& sql) override { m_target.Execute(sql); }
    Rows Query(const std::string& sql) override { return m_target.Query(sql); }

private:
    testtarget::SqliteTarget m_target;
};

class Postgres : public Target {
public:
    Postgres() : m_database(Server().CreateFreshDatabase("statements")) {}
    ~Postgres() override {
        try {
            Server().Execute("postgres", "drop database if exists " + m_database + ";");
        } catch (...) {
            // Left for the server's removal at exit.
        }
    }
    std::string ConnectionString() const override { return Server().ConnectionString(m_database); }
    void Execute(const std::string& sql) override { Server().Execute(m_database, sql); }
    Rows Query(const std::string& sql) override { return Server().Query(m_database, sql); }

private:
    static testtarget::PostgresServer& Server() { return testtarget::PostgresServer::Get(); }
    std::string m_database;
};

// How each target words the failures below. SQLite's texts are fixed; for PostgreSQL the
// first line is checked, psqlODBC adds its own ";\nError while executing the query".
struct TargetCase {
    const char* name;
    std::function<std::unique_ptr<Target>()> make;
    const char* missingTable;
    const char* missingColumn;
    const char* typeMismatch;
    const char* duplicateKey;
    const char* version;  // '2009/04/03 14:07:30' as the target gives it back
};

const TargetCase kSqlite{"sqlite",
                         [] { return std::make_unique<Sqlite>(); },
                         "no such table: nosuch (1)\n",
                         "table Mst02 has no column named NoSuchColumn (1)\n",
                         "datatype mismatch (20)\n",
                         "UNIQUE constraint failed: keyed.id (19)\n",
                         "2009/04/03 14:07:30"};
const TargetCase kPostgres{"postgresql",
                           [] { return std::make_unique<Postgres>(); },
                           "ERROR: relation \"nosuch\" does not exist",
                           "ERROR: column \"nosuchcolumn\" of relation \"mst02\" does not exist",
                           "ERROR: invalid input syntax for type integer: \"abc\"",
                           "ERROR: duplicate key value violates unique constraint \"keyed_pkey\"",
                           "2009-04-03 14:07:30"};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class TargetStatementsTest : public testing::TestWithParam<TargetCase> {
protected:
    void SetUp() override {
        m_target = GetParam().make();
        m_db.OpenEx(m_target->ConnectionString(), noOdbcDialog);
    }

    // The message of the CDBException that statement raises; the test fails without one.
    std::string Failure(const std::string& statement) {
        try {
            m_db.ExecuteSQL(statement);
        } catch (const CDBException& e) {
            return e.GetErrorMessage();
        }
        ADD_FAILURE() << "no CDBException for: " << statement;
        return {};
    }

    void ExpectFailure(const std::string& statement, const std::string& expected) {
        const std::string message = Failure(statement);
        if (std::string(GetParam().name) == "sqlite") {
            EXPECT_EQ(message, expected);
        } else {
            EXPECT_TRUE(StartsWith(message, expected)) << message;
            EXPECT_EQ(message.back(), '\n');
        }
        EXPECT_TRUE(m_db.IsOpen());
    }

    std::unique_ptr<Target> m_target;
    CDatabase m_db;
};

TEST_P(TargetStatementsTest, InsertedRowReadsBack) {
    m_db.ExecuteSQL(
        "insert into Mst02 (Col02,Col03,Col04,Col05,JogaiFlag) values "
        "('B01','文具','ﾌﾞﾝｸﾞ',NULL,0)");
    EXPECT_EQ(m_target->Query("select Col02, Col03, Col04, Col05, JogaiFlag from Mst02"),
              (Rows{{"B01", "文具", "ﾌﾞﾝｸﾞ", std::nullopt, "0"}}));
}

TEST_P(TargetStatementsTest, EveryCatalogueColumnTakesItsKindOfValue) {
    const std::string memo(3000, 'M');
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        std::string names, values, selected;
        Row expected;
        for (const CCatalogueColumn& column : entry.columns) {
            const char* separator = names.empty() ? "" : ",";
            names += separator + column.name;
            selected += separator + column.name;
            if (column.kind == COLKIND_TEXT) {
                values += std::string(separator) + "'" + memo + "日本'";
                expected.push_back(memo + "日本");
            } else if (column.kind == COLKIND_INTEGER) {
                values += std::string(separator) + "-2147483648";
                expected.push_back("-2147483648");
            } else {
                values += std::string(separator) + "'2009/04/03 14:07:30'";
                expected.push_back(GetParam().version);
            }
        }
        m_db.ExecuteSQL("insert into " + entry.table + " (" + names + ") values (" + values + ")");
        EXPECT_EQ(m_target->Query("select " + selected + " from " + entry.table), Rows{expected})
            << entry.table;
    }
}

TEST_P(TargetStatementsTest, TextArrivesByteForByte) {
    const std::vector<std::string> texts = {
        "東京都千代田区",                // kanji
        "ｵｰﾌﾞﾗｲｴﾝｼｮｳｶｲ ﾊﾟﾋﾟﾌﾟ",          // half-width katakana with (han)dakuten
        "𠮷野商店",                      // U+20BB7, outside the BMP and code page 932
        "絵文字😀テスト𩸽",               // emoji and another non-BMP kanji
        "表計算ソフト能力開発十予貼噂",  // second byte 0x5C in code page 932
        "C:\\Users\\share\\顧客.xlsx",   // backslashes stay single
        "値引き率10%_\"ダブル\"",
        "1行目\r\n2行目\t列2\n",
        "  前後空白  ",
        std::string(5001, 'x') + "末尾",  // longer than any Text column: a Memo value
    };
    for (const std::string& text : texts) {
        m_db.ExecuteSQL("insert into Mst01 (Col10) values ('" + text + "')");
    }
    m_db.ExecuteSQL("insert into Mst01 (Col10) values ('it''s')");
    m_db.ExecuteSQL("insert into Mst01 (Col10) values ('')");
    m_db.ExecuteSQL("insert into Mst01 (Col10) values (NULL)");

    Rows expected;
    for (const std::string& text : texts) {
        expected.push_back({text});
    }
    expected.push_back({"it's"});
    expected.push_back({""});
    expected.push_back({std::nullopt});
    EXPECT_EQ(m_target->Query("select Col10 from Mst01"), expected);
}

// Text built into row statements the way a run builds them arrives as plain text: nothing in
// it is taken for SQL, a quote or an escape.
TEST_P(TargetStatementsTest, HostileTextInRowStatementsArrivesAsPlainText) {
    std::string controls;
    for (char c = 0x01; c < 0x1a; ++c) {
        controls += c;
    }
    const std::vector<std::string> texts = {
        "'); drop table KEN_ALL; --", "''", "'", "\\'", "a\\", "\\0\\n%_\"", controls,
    };
    for (const std::string& text : texts) {
        CInsertItemList row("Mst04");
        row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text(text));
        row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Long(0));
        m_db.ExecuteSQL(row.BuildStatement());
    }

    Rows expected;
    for (const std::string& text : texts) {
        expected.push_back({text});
    }
    EXPECT_EQ(m_target->Query("select Col02 from Mst04"), expected);
    EXPECT_EQ(m_target->Query("select count(*) from KEN_ALL"), (Rows{{"0"}}));
}

TEST_P(TargetStatementsTest, MissingTableFails) {
    ExpectFailure("insert into nosuch (Col02) values ('x')", GetParam().missingTable);
}

TEST_P(TargetStatementsTest, MissingColumnFails) {
    ExpectFailure("insert into Mst02 (NoSuchColumn) values ('x')", GetParam().missingColumn);
}

TEST_P(TargetStatementsTest, TypeMismatchFails) {
    m_target->Execute("create table keyed (id integer primary key, name text);");
    ExpectFailure("insert into keyed (id,name) values ('abc','x')", GetParam().typeMismatch);
}

TEST_P(TargetStatementsTest, DuplicateKeyFails) {
    m_target->Execute("create table keyed (id integer primary key, name text);");
    m_db.ExecuteSQL("insert into keyed (id,name) values (1,'first')");
    ExpectFailure("insert into keyed (id,name) values (1,'again')", GetParam().duplicateKey);
}

TEST_P(TargetStatementsTest, FailureKeepsEarlierRowsAndTheConnection) {
    m_target->Execute("create table keyed (id integer primary key, name text);");
    m_db.ExecuteSQL("insert into keyed (id,name) values (1,'one')");
    m_db.ExecuteSQL("insert into keyed (id,name) values (2,'two')");
    Failure("insert into keyed (id,name) values (2,'duplicate')");
    m_db.ExecuteSQL("insert into keyed (id,name) values (3,'three')");
    // Read through another connection while this one is still open: each row was committed
    // on its own.
    EXPECT_EQ(m_target->Query("select id, name from keyed order by id"),
              (Rows{{"1", "one"}, {"2", "two"}, {"3", "three"}}));
}

TEST_P(TargetStatementsTest, ResultSetsAreDrainedBeforeTheNextStatement) {
    m_db.ExecuteSQL("insert into Mst04 (Col02) values ('a')");
    m_db.ExecuteSQL("select Col02 from Mst04");
    m_db.ExecuteSQL("insert into Mst04 (Col02) values ('b')");
    EXPECT_EQ(m_target->Query("select count(*) from Mst04"), (Rows{{"2"}}));
}

TEST_P(TargetStatementsTest, StatementChangingNoRowsPasses) {
    // SQL_NO_DATA from SQLExecDirect is a normal outcome.
    m_db.ExecuteSQL("delete from Mst04 where Col02 = 'nothing'");
    m_db.ExecuteSQL("update Mst04 set Col02 = 'x' where 1 = 0");
    EXPECT_TRUE(m_db.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetStatementsTest, testing::Values(kSqlite, kPostgres),
                         [](const testing::TestParamInfo<TargetCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
