#include "migration/target/StandardQuoting.h"

#include <odbcinst.h>

#include <filesystem>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/ConnectionString.h"

namespace {

constexpr const char kStandardQuoting[] = "options='-c standard_conforming_strings=on'";
// libpq leaves TCP keepalives to the system (two hours before the first probe), so a server
// that went silent mid-statement (a network dropping packets) would hold the run for hours.
// With these a dead peer is found in about 20 s: unacknowledged data or keepalive probes
// unanswered for 20 s close the connection.
constexpr const char kKeepalives[] =
    "keepalives=1 keepalives_idle=10 keepalives_interval=5 "
    "keepalives_count=3 tcp_user_timeout=20000";

std::string ProfileValue(const std::string& section, const char* key, const char* file) {
    char value[1024] = "";
    SQLGetPrivateProfileString(section.c_str(), key, "", value, sizeof value, file);
    return value;
}

// The data source named by connect, its Driver entry and whether it sets pqopt.
struct CConnectionFacts {
    std::string driver;  // a library path or a registered driver name
    bool bOwnPqopt = false;
};

CConnectionFacts FactsOf(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    CConnectionFacts facts;
    facts.driver = ConnectionAttribute(attributes, "driver");
    facts.bOwnPqopt = !ConnectionAttribute(attributes, "pqopt").empty();
    if (const std::string dsn = ConnectionAttribute(attributes, "dsn"); !dsn.empty()) {
        if (facts.driver.empty()) {
            facts.driver = ProfileValue(dsn, "Driver", "ODBC.INI");
        }
        facts.bOwnPqopt = facts.bOwnPqopt || !ProfileValue(dsn, "pqopt", "ODBC.INI").empty();
    }
    return facts;
}

// psqlODBC's libraries are psqlodbcw.so and psqlodbca.so, named by path or through a
// registered driver name whose Driver entry names one of them.
bool IsPsqlOdbc(const std::string& driver) {
    const auto named = [](const std::string& library) {
        return AsciiLower(std::filesystem::path(library).filename().string())
                   .rfind("psqlodbc", 0) == 0;
    };
    if (driver.empty()) {
        return false;
    }
    return named(driver) || named(ProfileValue(driver, "Driver", "ODBCINST.INI"));
}

}  // namespace

std::string PqoptValue(const std::vector<std::string>& libpqOptions) {
    std::string value = "{";
    for (const std::string& option : libpqOptions) {
        value += (value.size() > 1 ? " " : "") + option;
    }
    return value + "}";
}

std::string WithStandardQuoting(const std::string& connect) {
    const CConnectionFacts facts = FactsOf(connect);
    if (facts.bOwnPqopt || !IsPsqlOdbc(facts.driver)) {
        return connect;
    }
    const bool bEndsWithSeparator = connect.empty() || connect.back() == ';';
    return connect + (bEndsWithSeparator ? "" : ";") +
           "pqopt=" + PqoptValue({kStandardQuoting, kKeepalives});
}

void ConnectWithStandardQuoting(CDatabase& database, const std::string& connect) {
    const std::string connection = WithStandardQuoting(connect);
    database.OpenEx(connection, noOdbcDialog);
    if (connection != connect || database.GetDbmsName() != "PostgreSQL") {
        return;
    }
    if (database.QueryValue("show standard_conforming_strings") == "on") {
        return;
    }
    database.Close();
    throw CDBException(
        "The PostgreSQL server reads backslashes in quoted text as escapes "
        "(standard_conforming_strings is off), so values holding a backslash would arrive "
        "changed and could end their text early; nothing was sent. Turn the setting on for the "
        "database or the role (ALTER DATABASE … SET standard_conforming_strings = on), or remove "
        "pqopt from the data source or the connection string so that the program can turn it on "
        "for its own connection.");
}
