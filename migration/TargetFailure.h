#pragma once

#include <string>

// Words for the target's failures that the driver's own text leaves unclear.

// The target as a user can recognise it, from a connection string: its data source, driver,
// server and database, never a password or another attribute. A relative SQLite file name is
// shown with the working directory it lies in. E.g. "driver /usr/lib/…/libsqlite3odbc.so,
// database /home/u/.local/share/brimlow/Pomvale01".
std::string DescribeTarget(const std::string& connect);

// The text of a failed connection: the driver's text and a line naming the target tried.
std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect);

// The text of a failed statement: the driver's text, followed, when it says the table is
// missing or the SQLite file is locked, by a line that names the target and says what to do.
// Any other failure keeps the driver's text alone. statement is the statement that failed.
std::string ExplainStatementFailure(const std::string& driverText, const std::string& statement,
                                    const std::string& connect);
