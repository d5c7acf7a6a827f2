// Which kind a target is: its driver library before connecting, confirmed by the server's
// product name after.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
