#pragma once

#include <string>

// The user's list of ODBC data sources, which may hold a server password: the file unixODBC
// reads as ~/.odbc.ini ($ODBCINI when set, else .odbc.ini in the home folder of the password
// database, not $HOME).
std::string UserDataSourcesPath();

// unixODBC creates that file, empty and readable by every local user (mode 0644 under the
// usual umask), the first time anything looks a data source up, and odbcinst later writes
// passwords into it unchanged. Called before the program's first lookup: creates the file
// empty with mode 0600 when it is missing (never through a link), and narrows to 0600 an empty
// one of the user's that others may read (what such a lookup left before). A file with
// content is the administrator's: it is left as it is. Never throws; does nothing when the
// folder is missing.
void ProtectUserDataSources() noexcept;
