#pragma once

#include <string>
#include <vector>

#include "migration/target/kinds/TargetKind.h"

// Which kind a target is. Before connecting, its driver library says (so that the connection
// string gets what that driver needs); after connecting, the server's product name confirms
// it. Where they disagree, the target is an unknown ODBC database.

// The kinds, each defined in a file of its own.
const CTargetKind& SqliteKind();
const CTargetKind& PostgresqlKind();
const CTargetKind& SqlServerKind();
// The unknown ODBC database.
const CTargetKind& OdbcKind();

// The known kinds, OdbcKind excluded.
const std::vector<const CTargetKind*>& KnownKinds();

// The kind whose driver library connect names: by the string's Driver=, or by the Driver entry
// of its data source, as a library path or as a registered driver name whose Driver entry
// names the library. OdbcKind when it names none of theirs.
const CTargetKind& KindOfLibrary(const std::string& connect);

// The kind whose server dbmsName (SQL_DBMS_NAME) names; OdbcKind for any other.
const CTargetKind& KindOfDbms(const std::string& dbmsName);

// The kind a connection is, from the kind its library said (library) and the server's
// product name (dbmsName). A library of no known kind leaves it to the server's name.
struct CKindChoice {
    const CTargetKind* kind = nullptr;
    bool bDisagree = false;  // the library's kind and the server's name disagree: OdbcKind
};
CKindChoice ConfirmKind(const CTargetKind& library, const std::string& dbmsName);

// The value of key in the entry of the data source dsn (odbc.ini); "" when there is none.
std::string DataSourceValue(const std::string& dsn, const char* key);
