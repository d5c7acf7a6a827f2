#pragma once

#include <string>
#include <utility>
#include <vector>

// An ODBC connection string as the driver manager reads it: "key=value;key={value};…".

// The attributes of connect in their order; keys in lower case, values as written (without
// the braces around a braced value).
using CConnectionAttributes = std::vector<std::pair<std::string, std::string>>;
CConnectionAttributes ParseConnectionString(const std::string& connect);

// The value of the first attribute named key (lower case), or "".
std::string ConnectionAttribute(const CConnectionAttributes& attributes, const std::string& key);

// A key that connect gives more than once, as written ("Database", or "Database/DBQ" for two
// spellings the drivers read as one: Server/Servername, UID/Username/User, PWD/Password,
// Database/DBQ, ConnSettings/A6); keys compare without case. "" when there is none. The
// drivers disagree on which value counts (psqlODBC takes the last, sqlite3odbc the first).
std::string RepeatedConnectionKey(const std::string& connect);
// The usage error for a key given twice (RepeatedConnectionKey), naming it; "" when none is.
std::string ConnectionStringProblem(const std::string& connect);

// The Driver= of the built-in target string (kTargetConnection), the driver name that a driver
// list must register for that string to be used as it stands.
std::string BuiltInDriverName();

// The target as a user can recognise it, from a connection string: its data source, driver,
// server, port and database as the driver uses them (the string's value, else its data
// source's entry), never a password or another attribute. E.g. "driver
// /usr/lib/…/libsqlite3odbc.so, database /home/u/.local/share/brimlow/Pomvale01"; "the
// target" when the string names none of them.
std::string DescribeTarget(const std::string& connect);

// A description as DescribeTarget or a data source's gives it, in Japanese words for the
// dialog and the Japanese texts: "DSN Pomvale01 (driver d, server s, database p)" gives
// "Pomvale01（サーバー s、データベース p）". The driver is named only when neither the server
// nor the database is; a description of another form (a file's path) stays as it is.
std::string JapaneseTargetName(const std::string& description);
