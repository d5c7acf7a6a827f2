// Which kind a target is: its driver library before connecting, confirmed by the server's
// product name after.
#include <gtest/gtest.h>

#include <string>

#include "migration/target/TargetFailure.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

TEST(TargetKinds, TheDriverLibraryNamesTheKind) {
    struct Case {
        const char* connect;
        const CTargetKind& kind;
    };
    for (const Case& c : {
             Case{"Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/tmp/x",
                  SqliteKind()},
             Case{"DRIVER=/opt/PSQLODBCW.SO;Server=h", PostgresqlKind()},
             Case{"Driver=psqlodbca.so", PostgresqlKind()},
             Case{"Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;Server=h", SqlServerKind()},
             // Another driver, a driver name no driver list registers, no driver at all.
             Case{"Driver=/usr/lib/libmyodbc8w.so;Server=h", OdbcKind()},
             Case{"Driver={No Such Driver};Server=h", OdbcKind()},
             Case{"Server=h;Database=d", OdbcKind()},
         }) {
        EXPECT_EQ(&KindOfLibrary(c.connect), &c.kind) << c.connect;
    }
}

TEST(TargetKinds, TheServerConfirmsTheLibraryOrTheTargetIsUnknown) {
    struct Case {
        const CTargetKind& library;
        const char* dbmsName;
        const CTargetKind& kind;
        bool bDisagree;
    };
    for (const Case& c : {
             Case{SqliteKind(), "SQLite", SqliteKind(), false},
             Case{PostgresqlKind(), "PostgreSQL", PostgresqlKind(), false},
             Case{SqlServerKind(), "Microsoft SQL Server", SqlServerKind(), false},
             // A library of no known kind leaves it to the server.
             Case{OdbcKind(), "PostgreSQL", PostgresqlKind(), false},
             Case{OdbcKind(), "MySQL", OdbcKind(), false},
             // FreeTDS talking to Sybase, psqlODBC to a server that calls itself otherwise.
             Case{SqlServerKind(), "Adaptive Server Enterprise", OdbcKind(), true},
             Case{PostgresqlKind(), "SQLite", OdbcKind(), true},
             Case{PostgresqlKind(), "", OdbcKind(), true},
         }) {
        const CKindChoice choice = ConfirmKind(c.library, c.dbmsName);
        EXPECT_EQ(choice.kind, &c.kind) << c.library.Name() << " / " << c.dbmsName;
        EXPECT_EQ(choice.bDisagree, c.bDisagree) << c.library.Name() << " / " << c.dbmsName;
    }
}

// The server ending the session (a stop, a crash, a terminated backend: SQLSTATE 57P01 to
// 57P05) may come between a statement's effect and its answer, as a broken connection (08xxx)
// may: both are lost connections. A cancelled statement (57014) is not.
TEST(TargetKinds, TheServerEndingTheSessionIsALostConnection) {
    for (const char* state : {"08S01", "08001", "57P01", "57P02", "57P03", "57P04", "57P05"}) {
        EXPECT_EQ(KindOfState(state), TargetFailureKind::Connection) << state;
        const CDBException e("x", {CDiagnosticRecord{state, 7, "x"}});
        for (const CTargetKind* kind : {&PostgresqlKind(), &OdbcKind(), &SqlServerKind()}) {
            EXPECT_EQ(ClassifyTargetFailure(e, *kind), TargetFailureKind::Connection)
                << state << " " << kind->Name();
        }
        EXPECT_EQ(ClassifyTargetFailure(e, ""), TargetFailureKind::Connection) << state;
    }
    for (const char* state : {"57014", "57000", "57P00", "57P06", "57P1", "HY000", "23505"}) {
        EXPECT_EQ(KindOfState(state), TargetFailureKind::Other) << state;
    }
}

// An SQLite target gets the per-user file's lock wait unless its string sets a Timeout of
// its own; other kinds get none.
TEST(TargetKinds, ASqliteTargetWaitsForALockAsThePerUserFileDoes) {
    const std::string sqlite =
        "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/d";
    const auto amended = [](const std::string& connect) {
        return KindOfLibrary(connect).AmendConnection(connect);
    };
    EXPECT_EQ(amended(sqlite),
              sqlite + ";Timeout=" + std::to_string(kEmbeddedLockWaitSeconds * 500));
    EXPECT_EQ(amended(sqlite + ";"),
              sqlite + ";Timeout=" + std::to_string(kEmbeddedLockWaitSeconds * 500));
    EXPECT_EQ(amended(sqlite + ";timeout=100"), sqlite + ";timeout=100");
    EXPECT_EQ(
        amended("Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Database=d").find("Timeout"),
        std::string::npos);
}

}  // namespace
