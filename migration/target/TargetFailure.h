#pragma once

#include <string>

#include "dbaccess/Exceptions.h"

// Words for the target's failures that the driver's own text leaves unclear.

// What a failure was, as its SQLSTATE says, or, where a driver reports no useful state
// (sqlite3odbc says HY000 for nearly everything), as that driver's own code or text says.
enum class TargetFailureKind {
    MissingTable,   // 42S02, 42P01; SQLite: "no such table"
    LockOrTimeout,  // 40001, HYT00; SQLite: SQLITE_BUSY ("database is locked")
    Connection,     // 08xxx, FreeTDS's network failures: the connection failed or was lost
    Other,
};

// The kind of e. dbmsName is the server's product name as its driver gives it
// (SQL_DBMS_NAME: "SQLite", "PostgreSQL", "Microsoft SQL Server"), or "".
TargetFailureKind ClassifyTargetFailure(const CDBException& e, const std::string& dbmsName);

// The text of a failed connection: the driver's text and a line naming the target tried
// (connect's driver, server and database in English; in a translation, description, the
// target as the start button's tooltip names it, may be used instead).
std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect,
                                  const std::string& description = {});

// The text of a failed row statement: the driver's text, followed, when the table is missing
// on a server whose schema file we ship or the SQLite file is locked, by a line that names
// the target and says what to do. Any other failure keeps the driver's text alone. table is
// the table the row was for; connect the connection string used; dbmsName as above.
std::string ExplainStatementFailure(const CDBException& e, const std::string& table,
                                    const std::string& connect, const std::string& dbmsName);
