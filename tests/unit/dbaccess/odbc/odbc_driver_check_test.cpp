#include "dbaccess/odbc/OdbcDriverCheck.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

namespace {

struct DriverCase {
    const char* name;
    COdbcDriverAbilities abilities;
    bool accepted;
};

class DriverRefusalTest : public testing::TestWithParam<DriverCase> {};

TEST_P(DriverRefusalTest, AcceptsOnlyDriversThatCanExecuteStatements) {
    const std::string refusal = OdbcDriverRefusal(GetParam().abilities);
    if (GetParam().accepted) {
        EXPECT_EQ(refusal, "");
    } else {
        EXPECT_NE(refusal, "");
    }
}

// The first three are what the drivers we target report (API level, interface level).
INSTANTIATE_TEST_SUITE_P(
    Drivers, DriverRefusalTest,
    testing::Values(DriverCase{"sqlite3odbc", {SQL_OAC_LEVEL1, SQL_OIC_CORE, true}, true},
                    DriverCase{"psqlodbc", {SQL_OAC_LEVEL1, SQL_OIC_CORE, true}, true},
                    DriverCase{"freetds", {SQL_OAC_LEVEL2, SQL_OIC_LEVEL1, true}, true},
                    DriverCase{"odbc3onlydriver", {std::nullopt, SQL_OIC_CORE, true}, true},
                    DriverCase{"apilevel0", {SQL_OAC_NONE, SQL_OIC_CORE, true}, false},
                    DriverCase{"noexecdirect", {SQL_OAC_LEVEL2, SQL_OIC_LEVEL2, false}, false},
                    DriverCase{"odbc3belowcore", {std::nullopt, 0, true}, false},
                    DriverCase{"nolevelreported", {std::nullopt, std::nullopt, true}, false}),
    [](const testing::TestParamInfo<DriverCase>& info) { return std::string(info.param.name); });

TEST(DriverRefusalTextTest, SaysWhy) {
    EXPECT_EQ(OdbcDriverRefusal({SQL_OAC_LEVEL1, SQL_OIC_CORE, false}),
              "The ODBC driver cannot execute SQL statements (no SQLExecDirect).");
    EXPECT_EQ(OdbcDriverRefusal({SQL_OAC_NONE, std::nullopt, true}),
              "The ODBC driver does not meet ODBC API conformance level 1.");
}

}  // namespace
