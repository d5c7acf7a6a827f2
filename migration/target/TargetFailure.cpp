#include "migration/target/TargetFailure.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetResolution.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The table a row statement inserts into: "insert into T(…" gives "T".
std::string InsertTable(const std::string& statement) {
    const std::string prefix = "insert into ";
    if (Lower(statement.substr(0, prefix.size())) != prefix) {
        return {};
    }
    const size_t end = statement.find_first_of("( ", prefix.size());
    return statement.substr(prefix.size(), end == std::string::npos ? end : end - prefix.size());
}

enum class Dbms { SQLite, PostgreSQL, SqlServer, Unknown };

// Which server says the table is missing, from the texts its driver uses for it.
Dbms MissingTableDbms(const std::string& lowerText) {
    if (Contains(lowerText, "no such table")) {
        return Dbms::SQLite;
    }
    if (Contains(lowerText, "error: relation \"") && Contains(lowerText, "does not exist")) {
        return Dbms::PostgreSQL;
    }
    if (Contains(lowerText, "invalid object name")) {
        return Dbms::SqlServer;
    }
    return Dbms::Unknown;
}

// The SQLite file a connection string names, absolute.
std::string SqliteFile(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    std::string file = ConnectionAttribute(attributes, "database");
    if (file.empty()) {
        file = ConnectionAttribute(attributes, "dbq");
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    return ec ? file : absolute.lexically_normal().string();
}

std::string Quoted(const std::string& path) {
    std::string quoted = "'";
    for (char c : path) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string MissingTableAdvice(Dbms dbms, const std::string& connect) {
    switch (dbms) {
        case Dbms::SQLite: {
            const std::string schema = ShippedFile("schema/sqlite.sql").string();
            return "Create the eight tables with " + schema + ", e.g. sqlite3 " +
                   Quoted(SqliteFile(connect)) + " < " + Quoted(schema);
        }
        case Dbms::PostgreSQL:
            return "Create the eight tables with " + ShippedFile("schema/postgresql.sql").string() +
                   " (psql -f).";
        case Dbms::SqlServer:
            return "Create the eight tables with " + ShippedFile("schema/sqlserver.sql").string() +
                   " (sqlcmd -i).";
        case Dbms::Unknown:
            break;
    }
    return {};
}

}  // namespace

std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect) {
    const std::string separator = driverText.empty() || driverText.back() == '\n' ? "" : "\n";
    return driverText + separator + "Target tried: " + DescribeTarget(connect) + ".\n";
}

std::string ExplainStatementFailure(const std::string& driverText, const std::string& statement,
                                    const std::string& connect) {
    const std::string lower = Lower(driverText);
    const std::string separator = driverText.empty() || driverText.back() == '\n' ? "" : "\n";
    const Dbms dbms = MissingTableDbms(lower);
    if (dbms != Dbms::Unknown) {
        std::string line =
            "The target has no table " + InsertTable(statement) + ": " + DescribeTarget(connect);
        if (dbms == Dbms::SQLite && !Contains(line, SqliteFile(connect))) {
            line += " (the SQLite file " + SqliteFile(connect) + ")";
        }
        return driverText + separator + line + ". " + MissingTableAdvice(dbms, connect) + "\n";
    }
    if (Contains(lower, "database is locked")) {
        const bool bOurTimeout = Contains(Lower(connect), ";timeout=");
        return driverText + separator + "The SQLite file " + SqliteFile(connect) +
               " is locked by another program" +
               (bOurTimeout ? " and stayed locked for " + std::to_string(kEmbeddedLockWaitSeconds) +
                                  " seconds"
                            : "") +
               ". Close the program that holds it (a sqlite3 shell, another run) and start "
               "again.\n";
    }
    return driverText;
}
