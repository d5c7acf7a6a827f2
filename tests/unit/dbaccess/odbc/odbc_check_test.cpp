// The checked path for ODBC calls, against the driver manager alone: no driver is loaded.
#include "dbaccess/odbc/OdbcCheck.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcHandle.h"

namespace {

std::string CheckFailure(SQLRETURN rc, const char* call, const COdbcHandles& handles) {
    try {
        OdbcCheck(rc, call, handles);
    } catch (const CDBException& e) {
        return e.GetErrorMessage();
    }
    ADD_FAILURE() << "no CDBException";
    return {};
}

TEST(OdbcCheckTest, SuccessInformationAndNoDataPass) {
    EXPECT_EQ(OdbcCheck(SQL_SUCCESS, "SQLExecDirect", {}), SQL_SUCCESS);
    EXPECT_EQ(OdbcCheck(SQL_SUCCESS_WITH_INFO, "SQLExecDirect", {}), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(OdbcCheck(SQL_NO_DATA, "SQLExecDirect", {}), SQL_NO_DATA);
}

TEST(OdbcCheckTest, FailureWithoutRecordsNamesTheCall) {
    EXPECT_EQ(CheckFailure(SQL_ERROR, "SQLDriverConnect", {}), "SQLDriverConnect failed.");
    EXPECT_EQ(CheckFailure(SQL_INVALID_HANDLE, "SQLExecDirect", {}), "SQLExecDirect failed.");
    EXPECT_EQ(CheckFailure(SQL_NEED_DATA, "SQLExecDirect", {}), "SQLExecDirect failed.");
}

TEST(OdbcCheckTest, FailureWithAnEnvironmentWithoutRecordsNamesTheCall) {
    COdbcHandle env = AllocateOdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, {});
    EXPECT_EQ(CheckFailure(SQL_ERROR, "SQLSetEnvAttr", {env.Get()}), "SQLSetEnvAttr failed.");
}

TEST(OdbcCheckTest, DriverManagerRecordLosesItsTagsInTheTextAndKeepsItsState) {
    COdbcHandle env = AllocateOdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, {});
    // Attribute 4711 does not exist: the driver manager records HY092 on the environment.
    const SQLRETURN rc = SQLSetEnvAttr(env.Get(), 4711, nullptr, 0);
    EXPECT_EQ(CheckFailure(rc, "SQLSetEnvAttr", {env.Get()}),
              "Invalid attribute/option identifier\n");
    try {
        OdbcCheck(rc, "SQLSetEnvAttr", {env.Get()});
    } catch (const CDBException& e) {
        ASSERT_EQ(e.Records().size(), 1u);
        // S1092 is HY092 in the ODBC 2 spelling, which an environment without a version gets.
        EXPECT_EQ(e.Records()[0].state, "S1092");
        EXPECT_EQ(e.Records()[0].message,
                  "[unixODBC][Driver Manager]Invalid attribute/option identifier");
    }
}

TEST(OdbcHandleTest, MovingTransfersOwnership) {
    COdbcHandle env = AllocateOdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, {});
    const SQLHANDLE raw = env.Get();
    COdbcHandle moved(std::move(env));
    EXPECT_FALSE(env);
    EXPECT_EQ(moved.Get(), raw);
    COdbcHandle assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved);
    EXPECT_EQ(assigned.Get(), raw);
    assigned.Reset();
    EXPECT_FALSE(assigned);
}

}  // namespace
