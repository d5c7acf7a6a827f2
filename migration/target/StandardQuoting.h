#pragma once

#include <string>
#include <vector>

class CDatabase;

// Every value goes to the target as a literal in which only apostrophes are doubled. A
// PostgreSQL session with standard_conforming_strings off (a database or role setting some
// sites carry) reads a backslash inside such a literal as an escape: values change, and a
// value ending in a backslash ends its literal early, so that the text after it runs as SQL.
// psqlODBC fixes the quoting of its session when it connects, so the setting is put into the
// connection itself, through the driver's pqopt attribute (options passed on to libpq).

// The value of psqlODBC's pqopt attribute carrying these libpq options ("name=value",
// separated by blanks in the attribute): "{opt1 opt2}".
std::string PqoptValue(const std::vector<std::string>& libpqOptions);

// The connection string to connect with for connect. For psqlODBC (named by the string's
// Driver=, or by the Driver entry of its data source, as a library path or a registered
// driver name) it carries pqopt with standard_conforming_strings=on and short TCP keepalives
// (a silent server is found in about 20 s), unless the string or the data source's entry has
// a pqopt of its own, which is left alone. Any other string is returned as it is.
std::string WithStandardQuoting(const std::string& connect);

// Connects database with WithStandardQuoting(connect). Where the server is PostgreSQL and the
// option could not be put into the connection (a pqopt of the user's own, a driver not known
// as psqlODBC), asks the server and refuses, closing the connection, when backslashes escape:
// CDBException saying why and what to do. Other servers receive no statement.
void ConnectWithStandardQuoting(CDatabase& database, const std::string& connect);
