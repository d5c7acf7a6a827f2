// A PostgreSQL database whose sessions read backslashes as escapes (standard_conforming_strings
// off): values with backslashes, quotes, '?' and SQL arrive byte-exact through both targets,
// because the connection itself turns standard quoting on; the statements stay as they are.
// Whether it is on is not assumed: every session is asked after connecting, and one that
// escapes (a pqopt or a ConnSettings of the user's own) is refused before the first row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/kinds/TargetKinds.h"
#include "tests/support/PostgresServer.h"

namespace {

using testtarget::PostgresServer;
using testtarget::Rows;

// Each row's Col02 ends in a backslash and its Col03 holds '?': a session that read the
// backslash as an escape would end the literal early and take the rest for SQL.
const std::vector<std::vector<std::string>> kValues{
    {"ends in a backslash \\", "what? ", "',0,0);delete from KEN_ALL; --", "100% \\ \"ok\""},
    {"\\n is no newline \\", "?", "it's \\' '' \\\\", "C:\\temp\\x"},
    {"\\", "a ? b", "'); drop table KEN_ALL; --", "\\'"},
};

std::string EscapingDatabase() {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("escapes");
    server.Execute(database, "alter database " + database +
                                 " set standard_conforming_strings = off;"
                                 " insert into KEN_ALL (DantaiCode) values ('kept');");
    return database;
}

void Insert(ITargetDatabase& target) {
    for (const std::vector<std::string>& values : kValues) {
        CInsertItemList row("Mst02", 5);
        const char* columns[] = {"Col02", "Col03", "Col04", "Col05"};
        for (size_t i = 0; i < values.size(); ++i) {
            row.AddItem(columns[i], COLKIND_TEXT, CFieldValue::Text(values[i]));
        }
        row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Long(7));
        target.InsertRow(row);
    }
    target.EndTable();
}

Rows Expected() {
    Rows rows;
    for (const std::vector<std::string>& values : kValues) {
        rows.push_back({values[0], values[1], values[2], values[3], "7"});
    }
    return rows;
}

TEST(StandardQuoting, ValuesArriveByteExactOnAServerThatEscapesBackslashes) {
    PostgresServer& server = PostgresServer::Get();
    const std::string select =
        "select Col02, Col03, Col04, Col05, JogaiFlag from Mst02 order by "
        "Col02 collate \"C\", Col03 collate \"C\"";
    Rows expected = Expected();
    std::sort(expected.begin(), expected.end());
    {
        const std::string database = EscapingDatabase();
        CDatabase db;
        COdbcTarget target(db);
        target.Open(server.ConnectionString(database));
        Insert(target);
        target.Close();
        EXPECT_EQ(server.Query(database, select), expected);
        EXPECT_EQ(server.Query(database, "select DantaiCode from KEN_ALL"), (Rows{{"kept"}}));
    }
    {
        const std::string database = EscapingDatabase();
        CDatabase db;
        CReplaceTarget target(db, 2);
        target.Open(server.ConnectionString(database));
        Insert(target);
        target.CommitRun();
        target.Close();
        EXPECT_EQ(server.Query(database, select), expected);
        EXPECT_EQ(server.Query(database, "select count(*) from KEN_ALL"), (Rows{{"0"}}));
    }
}

// Opens connect with both targets in turn and expects each to refuse it, naming
// standard_conforming_strings, with database's KEN_ALL untouched.
void ExpectRefused(const std::string& connect, const std::string& database) {
    PostgresServer& server = PostgresServer::Get();
    const Rows before = server.Query(database, "select DantaiCode from KEN_ALL");
    for (const bool replace : {false, true}) {
        CDatabase db;
        COdbcTarget perRow(db);
        CReplaceTarget replacing(db);
        ITargetDatabase& target = replace ? static_cast<ITargetDatabase&>(replacing) : perRow;
        try {
            target.Open(connect);
            ADD_FAILURE() << "an escaping session was accepted: " << connect;
        } catch (const CDBException& e) {
            EXPECT_NE(e.GetErrorMessage().find("standard_conforming_strings is off"),
                      std::string::npos)
                << e.GetErrorMessage();
            EXPECT_NE(e.GetErrorMessage().find("nothing was sent"), std::string::npos)
                << e.GetErrorMessage();
            EXPECT_NE(e.GetErrorMessage().find("ConnSettings (or A6)"), std::string::npos)
                << e.GetErrorMessage();
        }
        EXPECT_FALSE(target.IsOpen());
        EXPECT_EQ(server.Query(database, "select DantaiCode from KEN_ALL"), before);
    }
}

// A pqopt of the user's own is left alone; the server is then asked, and a session that
// escapes is refused before anything is sent.
TEST(StandardQuoting, AnOwnPqoptOnAnEscapingServerIsRefusedBeforeTheFirstRow) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = EscapingDatabase();
    const std::string connect =
        server.ConnectionString(database) + ";pqopt={application_name=brimlow_test}";
    EXPECT_EQ(PostgresqlKind().AmendConnection(connect), connect);
    ExpectRefused(connect, database);
    // With the setting on for the database, the same string is accepted.
    server.Execute(database,
                   "alter database " + database + " set standard_conforming_strings = on");
    CDatabase db;
    COdbcTarget target(db);
    target.Open(connect);
    Insert(target);
    target.Close();
    EXPECT_EQ(server.Query(database, "select count(*) from Mst02"), (Rows{{"3"}}));
}

// psqlODBC runs ConnSettings (abbreviated A6) after the start-up options that turn standard
// quoting on: one that turns it off again, on a database that quotes in the standard way, is
// refused too; without it the same database is written to.
TEST(StandardQuoting, AConnSettingsThatTurnsItOffIsRefusedBeforeTheFirstRow) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("connsettings");
    server.Execute(database, "insert into KEN_ALL (DantaiCode) values ('kept');");
    const std::string connect = server.ConnectionString(database);
    ExpectRefused(connect + ";ConnSettings=set standard_conforming_strings=off", database);
    ExpectRefused(connect + ";A6={set standard_conforming_strings to off}", database);
    CDatabase db;
    COdbcTarget target(db);
    target.Open(connect + ";ConnSettings=set application_name=brimlow_test");
    Insert(target);
    target.Close();
    EXPECT_EQ(server.Query(database, "select count(*) from Mst02"), (Rows{{"3"}}));
}

}  // namespace
