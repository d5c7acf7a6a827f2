#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/MiniJson.h"
#include "tests/support/QueryRows.h"
#include "tests/support/TempDirectory.h"

namespace testtarget {

// The test TDS server (tests/support/tds_server.py, run with python3) on 127.0.0.1 at a free
// port, reached through Debian's FreeTDS ODBC driver: its folder holds a freetds.conf
// (section "brimlowtest": TDS 7.4, encryption off, the port) and an odbc.ini with the data
// source Pomvale01 (server section brimlowtest, database Pomvale01, UID/PWD as given).
// Stopped (SIGTERM, then waited for) when the object goes.
//
// The server holds the rows it is sent in the tables of schema/sqlserver.sql, as SQL Server
// stores them, and answers "select c1,…,cn from T" with the columns' declared types. What it
// stores of text that does not fit is chosen per server by options (tds_server.py says more):
//   {"--column", "Mst01.Col09=nvarchar(4)"}  declares one column otherwise (here shorter);
//   {"--ansi-warnings", "off"}  text longer than its column is cut to the declared length,
//       silently (without it the statement fails, SQL Server's error 2628);
//   {"--code-page", "1252", "--varchar"}  a database in a Latin-1 collation whose text columns
//       are varchar: every character outside code page 1252 is stored as '?'.
class TdsServer {
public:
    // options: the server's test controls (--error N=CODE, --error-on TEXT=CODE, --drop-on
    // WHAT, --rows T=N) and what it stores (--column T.C=TYPE, --ansi-warnings off,
    // --code-page N, --varchar, --schema FILE). Throws std::runtime_error when the server does
    // not start.
    explicit TdsServer(const std::vector<std::string>& options = {});
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;
    ~TdsServer();

    // Whether Debian's FreeTDS ODBC driver is installed (tdsodbc); tests skip without it.
    static bool DriverInstalled();
    static const char* Driver() { return "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"; }

    // Writes the data source Pomvale01 with these extra lines (e.g. "UID=u\nPWD=p\n").
    void DefineDataSource(const std::string& extraLines) const;

    // brimlow-migrate's command line, FREETDSCONF and ODBCINI pointing into the server's
    // folder, environment entries added ("LC_ALL=C"), then the program's arguments.
    std::vector<std::string> MigrateCommand(const std::vector<std::string>& arguments,
                                            const std::vector<std::string>& environment = {}) const;

    // The requests received so far, one JSON object each, in order.
    std::vector<JsonValue> Records() const;
    // The texts of the SQL batches received so far, in order.
    std::vector<std::string> Batches() const;
    // The committed contents: per table, the value texts of its rows.
    std::map<std::string, std::vector<std::string>> Committed() const;

    // A connection string for the driver that needs neither freetds.conf nor odbc.ini: the
    // server's port, TDS 7.4, database Pomvale01, the data source's login, ClientCharset=UTF-8.
    std::string ConnectString() const;

    // What a query gave, read through the driver with SQLExecDirect, SQLDescribeCol and a
    // plain SQLFetch per row.
    struct Result {
        std::vector<short> types;  // each column's SQL data type (SQL_TYPE_TIMESTAMP, ...)
        Rows rows;  // text as UTF-8; a SQL_TYPE_TIMESTAMP column fetched as SQL_C_TYPE_TIMESTAMP
                    // and written "yyyy/mm/dd hh:mm:ss" (the year without leading zeros)
    };
    // Runs query on a connection of its own (ConnectString) and reads at most maxRows rows,
    // then closes the cursor. Throws std::runtime_error with the driver's diagnostics.
    Result Query(const std::string& query, std::size_t maxRows = SIZE_MAX) const;

    const std::string& Folder() const { return m_folder; }

private:
    testsupport::TempDirectory m_dir{"brimlow-tds"};
    std::string m_folder;
    pid_t m_pid = -1;
    int m_nPort = 0;
};

}  // namespace testtarget
