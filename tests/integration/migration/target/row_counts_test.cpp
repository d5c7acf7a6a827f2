// The target's own count of the rows each statement inserted, on both real targets the tests
// can start: a row a trigger or a rule discards is counted 0 and stops a replacing run with
// the statement's rows named; a trigger's rows in another table are not the statement's.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testtarget::PostgresServer;
using testtarget::Rows;
using testtarget::SqliteTarget;

// One target of each kind: its connection string, a way to run SQL beside the connection
// under test, and the trigger that discards Mst02's rows whose Col02 is 'drop' and the one
// that copies every Mst02 row into a table audit.
struct TargetCase {
    const char* name;
    std::function<std::string()> open;  // prepares a fresh target, returns the string
    std::function<void(const std::string&)> execute;
    const char* discardTrigger;
    const char* auditTrigger;
};

std::unique_ptr<SqliteTarget> g_sqlite;
std::string g_postgres;

const TargetCase kSqlite{
    "SQLite",
    [] {
        g_sqlite = std::make_unique<SqliteTarget>();
        return g_sqlite->ConnectionString();
    },
    [](const std::string& sql) { g_sqlite->Execute(sql); },
    "create trigger discard before insert on Mst02 when new.Col02 = 'drop' begin select "
    "raise(ignore); end;",
    "create table audit (x text); create trigger audit after insert on Mst02 begin insert into "
    "audit values (new.Col02); insert into audit values ('again'); end;"};
const TargetCase kPostgres{
    "PostgreSQL",
    [] {
        g_postgres = PostgresServer::Get().CreateFreshDatabase("counts");
        return PostgresServer::Get().ConnectionString(g_postgres);
    },
    [](const std::string& sql) { PostgresServer::Get().Execute(g_postgres, sql); },
    "create function discard() returns trigger language plpgsql as $$ begin if new.Col02 = "
    "'drop' then return null; end if; return new; end $$; create trigger discard before insert "
    "on Mst02 for each row execute function discard();",
    "create table audit (x text); create function audit() returns trigger language plpgsql as "
    "$$ begin insert into audit values (new.Col02); insert into audit values ('again'); return "
    "null; end $$; create trigger audit after insert on Mst02 for each row execute function "
    "audit();"};

class RowCounts : public testing::TestWithParam<TargetCase> {
protected:
    void SetUp() override { m_strConnect = GetParam().open(); }
    void Execute(const std::string& sql) { GetParam().execute(sql); }

    std::string m_strConnect;
};

TEST_P(RowCounts, EachStatementReportsTheRowsItStored) {
    Execute(GetParam().discardTrigger);
    Execute(GetParam().auditTrigger);
    CDatabase db;
    db.OpenEx(m_strConnect, noOdbcDialog);
    EXPECT_EQ(db.ExecuteSQL("insert into Mst02(Col02) values ('a')"), 1);
    EXPECT_EQ(db.ExecuteSQL("insert into Mst02(Col02) values ('b'),('drop'),('c')"), 2);
    EXPECT_EQ(db.ExecuteSQL("insert into Mst02(Col02) values ('drop')"), 0);
    // Not a change of rows: whatever the driver says, it is no failure.
    EXPECT_NO_THROW(db.ExecuteSQL("select Col02 from Mst02 where 1=0"));
}

// A replacing run's statement of four rows of which the target stored three fails with its
// rows named; the run is rolled back.
TEST_P(RowCounts, AReplacingRunStopsAtTheStatementWithADiscardedRow) {
    Execute("insert into Mst02(Col02) values ('old');");
    Execute(GetParam().discardTrigger);
    CDatabase db;
    CReplaceTarget replace(db, 4);
    replace.Open(m_strConnect);
    EXPECT_EQ(replace.CountRows("Mst02"), 0u);
    for (const char* value : {"a", "b", "drop", "c"}) {
        CInsertItemList row("Mst02", 1);
        row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text(value));
        replace.InsertRow(row);
    }
    try {
        replace.EndTable();
        FAIL() << "the discarded row was not noticed";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The target accepted rows 1 to 4 of Mst02 but stored only 3 of them: a trigger "
                  "or a rule on the table discarded the others.\n");
    }
    replace.Close();
    CDatabase reader;
    reader.OpenEx(m_strConnect, noOdbcDialog);
    EXPECT_EQ(reader.QueryValue("select count(*) from Mst02"), "1");
}

// The per-row target stops at the discarded row, naming it; an AFTER trigger's rows in
// another table are no failure, and the count is the table's own.
TEST_P(RowCounts, ThePerRowTargetStopsAtTheDiscardedRow) {
    Execute(GetParam().discardTrigger);
    Execute(GetParam().auditTrigger);
    CDatabase db;
    COdbcTarget target(db);
    target.Open(m_strConnect);
    const auto insert = [&target](const char* value) {
        CInsertItemList row("Mst02", 1);
        row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text(value));
        target.InsertRow(row);
    };
    insert("a");
    insert("b");
    try {
        insert("drop");
        FAIL() << "the discarded row was not noticed";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The target accepted row 3 of Mst02 without storing it: a trigger or a rule on "
                  "the table discarded it.\n");
    }
    EXPECT_EQ(target.CountRows("Mst02"), 2u);
    EXPECT_EQ(target.CountRows("audit"), 4u);
    EXPECT_FALSE(target.RowsUncounted());
}

INSTANTIATE_TEST_SUITE_P(Targets, RowCounts, testing::Values(kSqlite, kPostgres),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
