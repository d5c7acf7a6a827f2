#include "dbaccess/odbc/OdbcDriverCheck.h"

#include <sqlext.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

// The target only ever needs SQLExecDirect. The check exists to refuse a driver that
// cannot execute statements at all, and it must accept the drivers we know: sqlite3odbc
// (API level 1, SQL grammar 0), psqlODBC (1, 1) and FreeTDS (2, 1).
// - API level 1 is required because in ODBC 2 SQLGetInfo and SQLGetFunctions themselves
//   are level-1 functions: a driver below it cannot tell us what it supports. A pure
//   ODBC 3 driver may answer only the interface conformance; its core level includes them.
// - SQLExecDirect must be reported as supported: that is what "can execute" means here.
// - The SQL grammar level is not checked: its lowest value, 0, already is the minimum
//   grammar, so the check would refuse nothing (sqlite3odbc reports exactly 0).
std::string OdbcDriverRefusal(const COdbcDriverAbilities& abilities) {
    if (!abilities.apiConformance && !abilities.interfaceConformance) {
        return Tr("The ODBC driver does not report its conformance level.");
    }
    const bool level1 = abilities.apiConformance ? *abilities.apiConformance >= SQL_OAC_LEVEL1
                                                 : *abilities.interfaceConformance >= SQL_OIC_CORE;
    if (!level1) {
        return Tr("The ODBC driver does not meet ODBC API conformance level 1.");
    }
    if (!abilities.execDirect) {
        return Tr("The ODBC driver cannot execute SQL statements (no SQLExecDirect).");
    }
    return {};
}

namespace {

// The driver's answers are taken as they come: a failed SQLGetInfo or SQLGetFunctions
// means "not supported", which the refusal then reports.
COdbcDriverAbilities AskDriver(SQLHDBC dbc) {
    COdbcDriverAbilities abilities;
    SQLUSMALLINT api = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_ODBC_API_CONFORMANCE, &api, sizeof api, nullptr))) {
        abilities.apiConformance = api;
    }
    SQLUINTEGER iface = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfo(dbc, SQL_ODBC_INTERFACE_CONFORMANCE, &iface, sizeof iface, nullptr))) {
        abilities.interfaceConformance = iface;
    }
    SQLUSMALLINT supported = SQL_FALSE;
    abilities.execDirect = SQL_SUCCEEDED(SQLGetFunctions(dbc, SQL_API_SQLEXECDIRECT, &supported)) &&
                           supported == SQL_TRUE;
    return abilities;
}

}  // namespace

void VerifyOdbcDriver(const COdbcHandles& handles) {
    const std::string refusal = OdbcDriverRefusal(AskDriver(handles.dbc));
    if (!refusal.empty()) {
        throw CDBException(refusal);
    }
}
