// FreeTDS connection strings without a data source: the client charset and the program's name
// are added unless the string sets them; other drivers' strings stay as they are.
#include <gtest/gtest.h>

#include <string>

#include "migration/target/TargetFailure.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

constexpr const char kFreeTds[] = "Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

std::string Amended(const std::string& connect) {
    return KindOfLibrary(connect).AmendConnection(connect);
}

TEST(SqlServerKind, AddsUtf8AndTheProgramsNameOnlyWhereTheStringSetsNone) {
    EXPECT_EQ(Amended(std::string(kFreeTds) + ";Server=h;UID=u;PWD=p"),
              std::string(kFreeTds) + ";Server=h;UID=u;PWD=p;ClientCharset=UTF-8;APP=brimlow");
    EXPECT_EQ(Amended(std::string(kFreeTds) + ";"),
              std::string(kFreeTds) + ";ClientCharset=UTF-8;APP=brimlow");
    const std::string own = std::string(kFreeTds) + ";clientcharset=ISO-8859-1;Server=h;app=x";
    EXPECT_EQ(Amended(own), own);
    EXPECT_EQ(Amended(std::string(kFreeTds) + ";App=x"),
              std::string(kFreeTds) + ";App=x;ClientCharset=UTF-8");
    for (const char* other : {"Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=h",
                              "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;"
                              "Database=/tmp/x"}) {
        EXPECT_EQ(Amended(other).find("ClientCharset"), std::string::npos) << other;
        EXPECT_EQ(Amended(other).find("APP="), std::string::npos) << other;
    }
}

// SQL Server's shutdown, a KILL of the session and the transport errors end the session while
// a statement or a commit may have been applied: a lost connection, whatever the target's kind
// (after the loss its server's name may be unknown). Other native codes tell nothing.
TEST(SqlServerKind, AShutdownOrAKilledSessionIsALostConnection) {
    for (const long native : {6005L, 6006L, 596L, 233L, 10053L, 10054L, 20047L}) {
        for (const char* state : {"HY000", "42000", "01000", "08S01"}) {
            const CDBException e("x", {CDiagnosticRecord{state, native, "x"}});
            EXPECT_EQ(ClassifyTargetFailure(e, ""), TargetFailureKind::Connection)
                << native << " " << state;
            EXPECT_EQ(ClassifyTargetFailure(e, SqlServerKind()), TargetFailureKind::Connection)
                << native << " " << state;
        }
    }
    const CDBException duplicate("x", {CDiagnosticRecord{"23000", 2627, "x"}});
    EXPECT_EQ(ClassifyTargetFailure(duplicate, SqlServerKind()), TargetFailureKind::Other);
}

}  // namespace
