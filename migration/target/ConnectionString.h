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

// The Driver= of the built-in target string (kTargetConnection), the driver name that a driver
// list must register for that string to be used as it stands.
std::string BuiltInDriverName();

// The target as a user can recognise it, from a connection string: its data source, driver,
// server and database, never a password or another attribute. E.g. "driver
// /usr/lib/…/libsqlite3odbc.so, database /home/u/.local/share/brimlow/Pomvale01"; "the
// target" when the string names none of them.
std::string DescribeTarget(const std::string& connect);
