#pragma once

#include <filesystem>
#include <string>

// The read-only files that come with the program: the driver list (odbc/odbcinst.ini) and the
// DDL of the target tables (schema/). An installed program finds them in its data folder
// (/usr/share/brimlow beside /usr/bin); a program in the build tree, in the source tree.

// The path of a shipped file, e.g. ShippedFile("schema/sqlite.sql"). The installed data
// folder is used when it holds the file, the source tree otherwise; the path is returned
// whether the file exists or not.
std::filesystem::path ShippedFile(const std::string& relative);

// The Driver= value of the section [SQL Server] in the shipped odbc/odbcinst.ini: the
// library of the SQLite ODBC driver that stands in for SQL Server. Throws CDBException
// naming the file when it cannot be read or holds no such value.
std::string ShippedSqlServerDriver();

// The Driver= value of the section named section in odbcinst.ini-style text; empty when
// there is none. Section names compare exactly; blanks around keys and values are ignored,
// as are lines starting with '#' or ';'.
std::string FindIniDriver(const std::string& text, const std::string& section);
