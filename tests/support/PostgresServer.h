#pragma once

#include <memory>
#include <string>

#include "tests/support/QueryRows.h"
#include "tests/support/TempDirectory.h"

namespace testtarget {

// A throwaway PostgreSQL 15 server for the tests of one process: initdb and pg_ctl from
// /usr/lib/postgresql/15/bin, run as user postgres (initdb refuses root), data and socket
// in a temporary folder, listening on 127.0.0.1 at a free port, trust authentication,
// UTF8, no durability (fsync off). Started by the first Get(), stopped (pg_ctl stop -m fast) and
// removed when the process exits normally; a server whose process was killed is stopped and
// removed by the next start.
class PostgresServer {
public:
    // The server, started on first use. Throws std::runtime_error with pg_ctl's output and
    // the server log when it cannot start; a later call tries again.
    static PostgresServer& Get();
    // A server of the caller's own, started now, for a test that stops or breaks it; stopped
    // and removed with the object. Throws as Get() does.
    static std::unique_ptr<PostgresServer> StartPrivate();

    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;
    ~PostgresServer();  // stops the server; never throws

    int Port() const noexcept { return m_nPort; }

    // pg_ctl stop -m immediate: every backend ends at once (its client is told 57P01 where
    // the message gets through), as in a crash of the server. Throws std::runtime_error
    // with pg_ctl's output when it fails.
    void StopImmediately();

    // A DSN-less psqlODBC connection string for database as user postgres.
    std::string ConnectionString(const std::string& database) const;

    // Creates database (dropping one of that name first), with the eight target tables of
    // schema/postgresql.sql when withSchema. Throws std::runtime_error with psql's message.
    void CreateDatabase(const std::string& database, bool withSchema = true);

    // Creates a database with a name not used before in this process, starting with
    // prefix (lower case letters, digits, '_'), and returns the name.
    std::string CreateFreshDatabase(const std::string& prefix = "brimlow", bool withSchema = true);

    // Runs sql (any number of statements) in database with psql, stopping at the first
    // error. Throws std::runtime_error with psql's message.
    void Execute(const std::string& database, const std::string& sql) const;

    // Runs a query in database with psql; rows and values byte-exact, NULL as std::nullopt.
    // Throws std::runtime_error with psql's message.
    Rows Query(const std::string& database, const std::string& sql) const;

private:
    PostgresServer();
    void Start();
    void Stop() noexcept;
    std::string Psql(const std::string& database, const std::string& sql) const;

    std::unique_ptr<testsupport::TempDirectory> m_dir;
    int m_nPort = 0;
    bool m_bRunning = false;
    int m_nDatabases = 0;
    bool m_bSchemaTemplate = false;  // the template database with the eight tables exists
};

}  // namespace testtarget
