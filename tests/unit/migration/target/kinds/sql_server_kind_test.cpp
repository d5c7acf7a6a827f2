// FreeTDS connection strings without a data source: the client charset is added unless the
// string sets one; other drivers' strings stay as they are.
#include <gtest/gtest.h>

#include <string>

#include "migration/target/kinds/TargetKinds.h"

namespace {

constexpr const char kFreeTds[] = "Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

std::string Amended(const std::string& connect) {
    return KindOfLibrary(connect).AmendConnection(connect);
}

TEST(SqlServerKind, AddsUtf8OnlyWhereTheStringSetsNoClientCharset) {
    EXPECT_EQ(Amended(std::string(kFreeTds) + ";Server=h;UID=u;PWD=p"),
              std::string(kFreeTds) + ";Server=h;UID=u;PWD=p;ClientCharset=UTF-8");
    EXPECT_EQ(Amended(std::string(kFreeTds) + ";"), std::string(kFreeTds) + ";ClientCharset=UTF-8");
    const std::string own = std::string(kFreeTds) + ";clientcharset=ISO-8859-1;Server=h";
    EXPECT_EQ(Amended(own), own);
    for (const char* other : {"Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=h",
                              "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;"
                              "Database=/tmp/x"}) {
        EXPECT_EQ(Amended(other).find("ClientCharset"), std::string::npos) << other;
    }
}

}  // namespace
