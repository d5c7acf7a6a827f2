#pragma once

#include <string>

// Words for the target's failures that the driver's own text leaves unclear.

// The text of a failed connection: the driver's text and a line naming the target tried.
std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect);

// The text of a failed statement: the driver's text, followed, when it says the table is
// missing or the SQLite file is locked, by a line that names the target and says what to do.
// Any other failure keeps the driver's text alone. statement is the statement that failed.
std::string ExplainStatementFailure(const std::string& driverText, const std::string& statement,
                                    const std::string& connect);
