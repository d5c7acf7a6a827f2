#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/MiniJson.h"
#include "tests/support/TempDirectory.h"

namespace testtarget {

// The test TDS server (tests/support/tds_server.py, run with python3) on 127.0.0.1 at a free
// port, reached through Debian's FreeTDS ODBC driver: its folder holds a freetds.conf
// (section "brimlowtest": TDS 7.4, encryption off, the port) and an odbc.ini with the data
// source Pomvale01 (server section brimlowtest, database Pomvale01, UID/PWD as given).
// Stopped (SIGTERM, then waited for) when the object goes.
class TdsServer {
public:
    // options: the server's test controls (--error N=CODE, --error-on TEXT=CODE, --drop-on
    // WHAT, --rows T=N). Throws std::runtime_error when the server does not start.
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

    const std::string& Folder() const { return m_folder; }

private:
    testsupport::TempDirectory m_dir{"brimlow-tds"};
    std::string m_folder;
    pid_t m_pid = -1;
    int m_nPort = 0;
};

}  // namespace testtarget
