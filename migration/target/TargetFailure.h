#pragma once

#include <string>

#include "dbaccess/Exceptions.h"
#include "migration/target/kinds/TargetKind.h"

// Words for the target's failures that the driver's own text leaves unclear.

// The kind of e on a target of that kind: a lost connection as any known driver reports it,
// otherwise what the first record that tells something says.
TargetFailureKind ClassifyTargetFailure(const CDBException& e, const CTargetKind& kind);
// The same for a server whose product name (SQL_DBMS_NAME) is dbmsName, or "" when unknown.
TargetFailureKind ClassifyTargetFailure(const CDBException& e, const std::string& dbmsName);

// The text of a failed connection: the driver's text and a line naming the target tried
// (connect's driver, server and database in English; in a translation, description, the
// target as the start button's tooltip names it, may be used instead).
std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect,
                                  const std::string& description = {});

// The text of a failed row statement: the driver's text, followed, when the table is missing
// on a server whose schema file we ship or the SQLite file is locked, by a line that names
// the target and says what to do. Any other failure keeps the driver's text alone. table is
// the table the row was for; connect the connection string used; kind the target's kind.
std::string ExplainStatementFailure(const CDBException& e, const std::string& table,
                                    const std::string& connect, const CTargetKind& kind);
