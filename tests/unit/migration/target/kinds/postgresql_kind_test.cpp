// Which connection strings get standard quoting put into the connection, and how.
#include <gtest/gtest.h>

#include <string>

#include "migration/target/kinds/TargetKinds.h"

namespace {

std::string Amended(const std::string& connect) {
    return KindOfLibrary(connect).AmendConnection(connect);
}

TEST(PostgresqlKind, PsqlOdbcGetsThePqoptAndNothingElseChanges) {
    const std::string pqopt =
        "pqopt={options='-c standard_conforming_strings=on' keepalives=1 keepalives_idle=10 "
        "keepalives_interval=5 keepalives_count=3 tcp_user_timeout=20000}";
    for (const char* library : {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so", "psqlodbca.so"}) {
        const std::string connect = "Driver=" + std::string(library) + ";Server=h;Database=d";
        EXPECT_EQ(Amended(connect), connect + ";" + pqopt);
        EXPECT_EQ(Amended(connect + ";"), connect + ";" + pqopt);
    }
    // A pqopt of the user's own, another driver, or no driver at all: no pqopt is added.
    for (const char* connect :
         {"Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;PQOPT={application_name=x}",
          "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/tmp/x", "Database=x",
          ""}) {
        EXPECT_EQ(Amended(connect).find("pqopt="), std::string::npos) << connect;
        EXPECT_EQ(Amended(connect).rfind(connect, 0), 0u) << connect;
    }
}

}  // namespace
