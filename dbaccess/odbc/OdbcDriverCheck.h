#pragma once

#include <sql.h>

#include <optional>
#include <string>

#include "dbaccess/odbc/OdbcCheck.h"

// What a connected driver says about itself.
struct COdbcDriverAbilities {
    // SQL_ODBC_API_CONFORMANCE (ODBC 2 levels: 0 core, 1 level 1, 2 level 2); empty when
    // the driver does not answer.
    std::optional<SQLUSMALLINT> apiConformance;
    // SQL_ODBC_INTERFACE_CONFORMANCE (ODBC 3: 1 core, 2 level 1, 3 level 2); empty when
    // the driver does not answer.
    std::optional<SQLUINTEGER> interfaceConformance;
    // SQLGetFunctions answered that SQLExecDirect is supported.
    bool execDirect = false;
};

// Why a driver with these abilities cannot serve as the target, or an empty text when it
// can. Pure; the rule is explained in the source.
std::string OdbcDriverRefusal(const COdbcDriverAbilities& abilities);

// Asks the driver behind the connected handles.dbc and throws CDBException with the
// refusal when it cannot serve as the target.
void VerifyOdbcDriver(const COdbcHandles& handles);
