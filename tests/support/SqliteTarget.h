#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/QueryRows.h"
#include "tests/support/TempDirectory.h"

namespace testtarget {

// Points unixODBC at the project's odbc/odbcinst.ini, where the driver name "SQL Server"
// is the SQLite ODBC driver. unixODBC reads ODBCSYSINI once per process, at its first use,
// so this must run before any ODBC call; the test support library does it at start-up,
// and the fixtures below call it again. Idempotent.
void UseProjectOdbcinst();

// A SQLite target file in a temporary folder of its own, reached through the driver name
// "SQL Server" of the project's odbcinst.ini; folder and file go with the object.
// Read-back goes through the sqlite3 command-line client, not through ODBC.
class SqliteTarget {
public:
    // Creates the file with the eight target tables of schema/sqlite.sql, in WAL mode as
    // scripts/prepare-target leaves it, when withSchema; otherwise no file exists yet.
    // Throws std::runtime_error when sqlite3 fails.
    explicit SqliteTarget(bool withSchema = true);

    const std::filesystem::path& Directory() const noexcept { return m_dir.Path(); }
    const std::filesystem::path& File() const noexcept { return m_file; }

    // "Driver={SQL Server};Database=<absolute path of the file>".
    std::string ConnectionString() const;

    // Runs sql (any number of statements) with sqlite3, stopping at the first error.
    // Throws std::runtime_error with sqlite3's message.
    void Execute(const std::string& sql) const;

    // Runs a query with sqlite3; rows and values byte-exact, NULL as std::nullopt.
    // Throws std::runtime_error with sqlite3's message.
    Rows Query(const std::string& sql) const;
    // The rows of table.
    size_t Count(const std::string& table) const;

    // Starts a sqlite3 shell in the background that takes the file's write lock (begin
    // exclusive) and holds it; returns the shell's input, made as a FIFO at fifo: the lock goes
    // with "commit;" or when the stream closes. Throws std::runtime_error when it cannot.
    std::ofstream HoldWriteLock(const std::filesystem::path& fifo) const;

private:
    std::string Sqlite3(const std::string& sql) const;

    testsupport::TempDirectory m_dir{"brimlow-sqlite"};
    std::filesystem::path m_file;
};

}  // namespace testtarget
