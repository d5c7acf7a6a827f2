#include "migration/target/TargetFailure.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Translate.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetResolution.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

enum class Dbms { SQLite, PostgreSQL, SqlServer, Unknown };

Dbms DbmsOf(const std::string& dbmsName) {
    if (dbmsName == "SQLite") {
        return Dbms::SQLite;
    }
    if (dbmsName == "PostgreSQL") {
        return Dbms::PostgreSQL;
    }
    if (Contains(dbmsName, "SQL Server")) {
        return Dbms::SqlServer;
    }
    return Dbms::Unknown;
}

// SQL Server's message numbers: "Lock request time out period exceeded."; a transaction chosen
// as a deadlock's victim.
constexpr long kSqlServerLockTimeout = 1222;
constexpr long kSqlServerDeadlock = 1205;

// SQLite's result code for a file another connection holds locked.
constexpr long kSqliteBusy = 5;
// SQLite's result code for a file it may not write.
constexpr long kSqliteReadOnly = 8;

TargetFailureKind KindOfState(const std::string& state) {
    if (state == "42S02" || state == "42P01") {
        return TargetFailureKind::MissingTable;
    }
    if (state == "40001" || state == "HYT00") {
        return TargetFailureKind::LockOrTimeout;
    }
    if (state.rfind("08", 0) == 0) {
        return TargetFailureKind::Connection;
    }
    return TargetFailureKind::Other;
}

// FreeTDS gives SQL Server's lock timeout (1222) and deadlock (1205) the general SQLSTATE
// 42000 (it maps neither number), so these are told by SQL Server's own message number.
TargetFailureKind KindOfSqlServerRecord(const CDiagnosticRecord& record) {
    if (record.native == kSqlServerLockTimeout || record.native == kSqlServerDeadlock) {
        return TargetFailureKind::LockOrTimeout;
    }
    return KindOfState(record.state);
}

// FreeTDS reports its own network failures as a warning (01000) with its library's error
// number: the read or the write to the server failed, or the server closed the connection.
bool IsFreeTdsNetworkFailure(const CDiagnosticRecord& record) {
    return record.state == "01000" &&
           (record.native == 20004 || record.native == 20006 || record.native == 20017);
}

// sqlite3odbc reports its failures as HY000 with SQLite's result code as the native code;
// the code of a missing table is the general SQLITE_ERROR, told apart by its text only.
TargetFailureKind KindOfSqliteRecord(const CDiagnosticRecord& record) {
    if (record.native == kSqliteBusy) {
        return TargetFailureKind::LockOrTimeout;
    }
    if (Contains(AsciiLower(record.message), "no such table")) {
        return TargetFailureKind::MissingTable;
    }
    return TargetFailureKind::Other;
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

TargetFailureKind ClassifyTargetFailure(const CDBException& e, const std::string& dbmsName) {
    const Dbms dbms = DbmsOf(dbmsName);
    for (const CDiagnosticRecord& record : e.Records()) {
        if (IsFreeTdsNetworkFailure(record)) {
            return TargetFailureKind::Connection;
        }
        const TargetFailureKind kind = dbms == Dbms::SQLite      ? KindOfSqliteRecord(record)
                                       : dbms == Dbms::SqlServer ? KindOfSqlServerRecord(record)
                                                                 : KindOfState(record.state);
        if (kind != TargetFailureKind::Other) {
            return kind;
        }
    }
    return TargetFailureKind::Other;
}

std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect,
                                  const std::string& description) {
    const std::string tried = DescribeTarget(connect);
    const std::string& named = description.empty() ? tried : description;
    if (driverText.empty()) {
        return TrFormat("Target tried: %1.\n", {tried, named});
    }
    const std::string_view text(driverText.data(),
                                driverText.size() - (driverText.back() == '\n' ? 1 : 0));
    return TrFormat("%1\nTarget tried: %2.\n", {text, tried, named});
}

std::string ExplainStatementFailure(const CDBException& e, const std::string& table,
                                    const std::string& connect, const std::string& dbmsName) {
    const std::string& driverText = e.GetErrorMessage();
    const std::string separator = driverText.empty() || driverText.back() == '\n' ? "" : "\n";
    const Dbms dbms = DbmsOf(dbmsName);
    // A file SQLite may not write: the driver's text names neither the file nor what to do.
    if (dbms == Dbms::SQLite &&
        std::any_of(e.Records().begin(), e.Records().end(), [](const CDiagnosticRecord& record) {
            return record.native == kSqliteReadOnly;
        })) {
        return FormatMessage(TrContext("read-only SQLite target", "%1"),
                             {driverText, SqliteFile(connect)});
    }
    switch (ClassifyTargetFailure(e, dbmsName)) {
        case TargetFailureKind::MissingTable: {
            if (dbms == Dbms::Unknown) {
                break;
            }
            std::string line = "The target has no table " + table + ": " + DescribeTarget(connect);
            if (dbms == Dbms::SQLite && !Contains(line, SqliteFile(connect))) {
                line += " (the SQLite file " + SqliteFile(connect) + ")";
            }
            return driverText + separator + line + ". " + MissingTableAdvice(dbms, connect) + "\n";
        }
        case TargetFailureKind::LockOrTimeout: {
            if (dbms != Dbms::SQLite) {
                break;
            }
            const bool bOurTimeout =
                !ConnectionAttribute(ParseConnectionString(connect), "timeout").empty();
            return driverText + separator + "The SQLite file " + SqliteFile(connect) +
                   " is locked by another program" +
                   (bOurTimeout ? " and stayed locked for " +
                                      std::to_string(kEmbeddedLockWaitSeconds) + " seconds"
                                : "") +
                   ". Close the program that holds it (a sqlite3 shell, another run) and start "
                   "again.\n";
        }
        case TargetFailureKind::Connection:
        case TargetFailureKind::Other:
            break;
    }
    return driverText;
}
