#pragma once

#include <sql.h>

// The handles whose diagnostic records describe a failure; any of them may be null.
struct COdbcHandles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

// The one checked path for ODBC calls. Returns rc when it is SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO or SQL_NO_DATA; informational records are never looked at.
// Otherwise throws CDBException whose text lists the diagnostic records of handles
// (see below), or "<call> failed." when there is none, and which keeps the records
// themselves; a record with state HY001 (the driver ran out of memory) throws
// CMemoryException instead.
// The records are those of the environment, the connection and the statement, in that
// order, each handle read until it has none left or a record has state "00000"; their
// messages are composed by ComposeDiagnosticText.
SQLRETURN OdbcCheck(SQLRETURN rc, const char* call, const COdbcHandles& handles);
