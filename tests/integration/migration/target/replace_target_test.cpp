// Transactions on both real targets: a rollback undoes, a commit keeps, other readers see
// nothing before the commit, and a target that cannot undo is found out before any change.
// A replacing run's failed statement is reported by the call after it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "dbaccess/odbc/RollbackProbe.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/kinds/TargetKinds.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testtarget::PostgresServer;
using testtarget::Rows;
using testtarget::SqliteTarget;

// One target of each kind, with a connection string and a reader that does not go
// through the connection under test.
struct TargetKind {
    const char* name;
    std::function<std::string()> open;  // prepares a fresh target, returns the string
    std::function<Rows(const std::string&)> query;
};

class TargetTransaction : public testing::TestWithParam<TargetKind> {
protected:
    void SetUp() override { m_db.OpenEx(GetParam().open(), noOdbcDialog); }
    Rows Query(const std::string& sql) { return GetParam().query(sql); }
    CDatabase m_db;
};

std::unique_ptr<SqliteTarget> g_sqlite;
std::string g_postgres;

const TargetKind kSqlite{"SQLite",
                         [] {
                             g_sqlite = std::make_unique<SqliteTarget>();
                             return g_sqlite->ConnectionString();
                         },
                         [](const std::string& sql) { return g_sqlite->Query(sql); }};
const TargetKind kPostgres{
    "PostgreSQL",
    [] {
        g_postgres = PostgresServer::Get().CreateFreshDatabase("txn");
        return PostgresServer::Get().ConnectionString(g_postgres);
    },
    [](const std::string& sql) { return PostgresServer::Get().Query(g_postgres, sql); }};

TEST_P(TargetTransaction, RollbackUndoesAndCommitKeeps) {
    EXPECT_TRUE(m_db.CanTransact());
    VerifyTargetCanRollBack(m_db, KindOfDbms(m_db.GetDbmsName()).ProbeTables());
    EXPECT_FALSE(m_db.InTransaction());

    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('before')");
    m_db.BeginTrans();
    m_db.ExecuteSQL("delete from Mst02");
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('undone')");
    EXPECT_EQ(Query("select Col02 from Mst02"), (Rows{{"before"}}));  // another reader
    m_db.Rollback();
    EXPECT_EQ(Query("select Col02 from Mst02"), (Rows{{"before"}}));

    m_db.BeginTrans();
    m_db.ExecuteSQL("delete from Mst02");
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('kept')");
    m_db.CommitTrans();
    EXPECT_EQ(Query("select Col02 from Mst02"), (Rows{{"kept"}}));

    // Autocommit is back on: a statement after the commit stays without one.
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('after')");
    m_db.Close();
    EXPECT_EQ(Query("select Col02 from Mst02 order by Col02"), (Rows{{"after"}, {"kept"}}));
}

TEST_P(TargetTransaction, ClosingWithAnOpenTransactionRollsBack) {
    m_db.BeginTrans();
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('undone')");
    m_db.Close();
    EXPECT_EQ(Query("select count(*) from Mst02"), (Rows{{"0"}}));
}

TEST_P(TargetTransaction, AFailedStatementLeavesTheTransactionToRollBack) {
    m_db.BeginTrans();
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('undone')");
    EXPECT_THROW(m_db.ExecuteSQL("insert into NoSuchTable (x) values (1)"), CDBException);
    EXPECT_TRUE(m_db.InTransaction());
    m_db.Rollback();
    EXPECT_EQ(Query("select count(*) from Mst02"), (Rows{{"0"}}));
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetTransaction, testing::Values(kSqlite, kPostgres),
                         [](const auto& info) { return std::string(info.param.name); });

// sqlite3odbc with NoTXN=1 says it has transactions and accepts autocommit off, but runs
// every statement on its own: the probe refuses it and the tables stay as they were.
TEST(TargetRollbackProbe, RefusesADriverThatKeepsRolledBackRows) {
    SqliteTarget target;
    target.Execute("insert into Mst02 (Col02) values ('stays');");
    CDatabase db;
    db.OpenEx(target.ConnectionString() + ";NoTXN=1", noOdbcDialog);
    try {
        VerifyTargetCanRollBack(db, SqliteKind().ProbeTables());
        FAIL() << "a target that cannot roll back was accepted";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("cannot undo a transaction"), std::string::npos)
            << e.GetErrorMessage();
    }
    db.Close();
    EXPECT_EQ(target.Query("select Col02 from Mst02"), (Rows{{"stays"}}));
}

// A read-only PostgreSQL database refuses every spelling of the probe's temporary table: the
// failure told is the server's reason (a read-only transaction), not the syntax error of a
// spelling meant for another kind of server that was tried after it; a replacing run says the
// same before it changes anything.
TEST(TargetRollbackProbe, TellsWhyTheProbeTableCouldNotBeCreated) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("readonly");
    server.Execute(database,
                   "insert into Mst02 (Col02) values ('stays');"
                   "alter database " +
                       database + " set default_transaction_read_only = on;");
    for (const CTargetKind* kind : {&OdbcKind(), &PostgresqlKind()}) {
        CDatabase db;
        db.OpenEx(server.ConnectionString(database), noOdbcDialog);
        try {
            VerifyTargetCanRollBack(db, kind->ProbeTables());
            ADD_FAILURE() << "a read-only database was probed";
        } catch (const CDBException& e) {
            EXPECT_NE(e.GetErrorMessage().find("read-only transaction"), std::string::npos)
                << kind->Name() << ": " << e.GetErrorMessage();
            EXPECT_EQ(e.GetErrorMessage().find("syntax"), std::string::npos)
                << kind->Name() << ": " << e.GetErrorMessage();
        }
    }
    CDatabase db;
    CReplaceTarget target(db);
    try {
        target.Open(server.ConnectionString(database));
        ADD_FAILURE() << "a replacing run began on a read-only database";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("read-only transaction"), std::string::npos)
            << e.GetErrorMessage();
    }
    target.Close();
    EXPECT_EQ(server.Query(database, "select Col02 from Mst02"), (Rows{{"stays"}}));
}

// The statement of rows 3 and 4 fails while rows 5 and 6 are collected: handing those over
// reports it with its own rows, every later call reports it again, and Close rolls back.
TEST(ReplaceTargetFailure, TheNextCallReportsTheRowsOfTheFailedStatement) {
    SqliteTarget target;
    target.Execute(
        "insert into Mst02 (Col02) values ('old'); create unique index u on Mst02(Col02);");
    CDatabase db;
    CReplaceTarget replace(db, 2);
    replace.Open(target.ConnectionString());
    const auto insert = [&replace](const std::string& value) {
        CInsertItemList row("Mst02", 1);
        row.AddItem("Col02", COLKIND_TEXT, CFieldValue::Text(value));
        replace.InsertRow(row);
    };
    for (const char* value : {"a", "b", "c", "c", "d"}) {
        insert(value);
    }
    const auto expectRefusal = [](const std::function<void()>& call) {
        try {
            call();
            ADD_FAILURE() << "the failed statement was not reported";
        } catch (const CDBException& e) {
            EXPECT_EQ(e.GetErrorMessage().rfind("The target refused Mst02 rows 3 to 4: ", 0), 0u)
                << e.GetErrorMessage();
        }
    };
    expectRefusal([&] { insert("e"); });
    expectRefusal([&] { replace.EndTable(); });
    expectRefusal([&] { replace.CommitRun(); });
    replace.Close();
    EXPECT_EQ(target.Query("select Col02 from Mst02"), (Rows{{"old"}}));
}

}  // namespace
