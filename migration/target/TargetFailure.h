#pragma once

#include <string>

#include "dbaccess/Exceptions.h"
#include "migration/RunOutcome.h"
#include "migration/target/kinds/TargetKind.h"

// Words for the target's failures that the driver's own text leaves unclear.

// The kind of e on a target of that kind: a lost connection as any known driver reports it,
// otherwise what the first record that tells something says.
TargetFailureKind ClassifyTargetFailure(const CDBException& e, const CTargetKind& kind);
// The same for a server whose product name (SQL_DBMS_NAME) is dbmsName, or "" when unknown.
TargetFailureKind ClassifyTargetFailure(const CDBException& e, const std::string& dbmsName);

// The text of a failed connection e: the driver's text and a line naming the target tried
// (connect's driver, server and database in English; a translation may name description, the
// target as the start button's tooltip names it, in its own words instead, and say what to do
// by the failure's cause: a missing data source or driver, a refused login, anything else).
std::string ExplainConnectFailure(const CDBException& e, const std::string& connect,
                                  const std::string& description = {});

// The driver's text followed by a line of ours that ends with a line break; a translation may
// put its line first.
std::string DriverTextAndLine(const std::string& driverText, const std::string& line);

// The text of a failed row statement: the driver's text, followed, when the table is missing
// on a server whose schema file we ship or the SQLite file is locked, by a line that names
// the target and says what to do. Any other failure keeps the driver's text alone. table is
// the table the row was for; connect the connection string used; kind the target's kind.
std::string ExplainStatementFailure(const CDBException& e, const std::string& table,
                                    const std::string& connect, const CTargetKind& kind);

// The trouble with the target's server that ended a failed run, for the words both front ends
// put before the driver's own text: the connection was lost, the server ended the session (it
// was shut down, or an administrator terminated the connection), or it stopped answering.
enum class ServerTrouble { None, Lost, Ended, NoAnswer };

// The trouble that ended a run as outcome tells it; None for a run that completed or was
// stopped, for a connection that could not be made, and for a failure of any other kind.
ServerTrouble ServerTroubleOf(const CRunOutcome& outcome);
