// SQLite through the SQLite ODBC driver (sqlite3odbc): a file, the kind the program creates
// for itself when no server is configured.
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Translate.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// SQLite's result code for a file another connection holds locked.
constexpr long kSqliteBusy = 5;
// SQLite's result code for a file it may not write.
constexpr long kSqliteReadOnly = 8;

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

// The driver's Timeout= (ms) that makes it wait kEmbeddedLockWaitSeconds for a lock in all.
std::string OurTimeout() {
    return std::to_string(kEmbeddedLockWaitSeconds * 1000 / 2);
}

// Whether connect or its data source sets the driver's Timeout=.
bool SetsTimeout(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    const std::string dsn = ConnectionAttribute(attributes, "dsn");
    return !ConnectionAttribute(attributes, "timeout").empty() ||
           (!dsn.empty() && !DataSourceValue(dsn, "Timeout").empty());
}

// sqlite3odbc keeps the whole result of a query in memory (unless the connection asked for its
// StepAPI, which would change every statement of the run's connection): a table is read back
// a page at a time, in the order of its rowid, each page starting after the last rowid read.
class CRowidPaging final : public CReadBackPaging {
public:
    CRowidPaging(const std::string& table, const std::string& columns, std::size_t rows)
        : m_strHead("select rowid, " + columns + " from " + table),
          m_strTail(" order by rowid limit " + std::to_string(rows)),
          m_nRows(rows) {}

    std::string NextQuery(std::size_t rowsRead, std::string_view lastKey) override {
        if (!m_bStarted) {
            m_bStarted = true;
            return m_strHead + m_strTail;
        }
        if (rowsRead < m_nRows) {
            return {};
        }
        return m_strHead + " where rowid > " + std::string(lastKey) + m_strTail;
    }
    bool Repeatable() const override { return true; }
    bool HasKey() const override { return true; }

private:
    std::string m_strHead;  // "select rowid, <columns> from <table>"
    std::string m_strTail;  // " order by rowid limit <rows>"
    std::size_t m_nRows;
    bool m_bStarted = false;
};

class CSqliteKind final : public CTargetKind {
public:
    std::string Name() const override { return "SQLite"; }
    bool IsDriverLibrary(const std::string& fileName) const override {
        return fileName.find("sqlite") != std::string::npos;
    }
    bool IsDbmsName(const std::string& dbmsName) const override { return dbmsName == "SQLite"; }

    std::string SchemaFile() const override { return "schema/sqlite.sql"; }

    // The per-user file's lock wait (Timeout=, see kEmbeddedLockWaitSeconds) for every SQLite
    // target whose string and data source set none: the driver's own default waits 100 s for
    // each busy statement, several minutes in all for a file another program holds.
    std::string AmendConnection(const std::string& connect) const override {
        if (SetsTimeout(connect)) {
            return connect;
        }
        const bool bEndsWithSeparator = connect.empty() || connect.back() == ';';
        return connect + (bEndsWithSeparator ? "" : ";") + "Timeout=" + OurTimeout();
    }

    // sqlite3odbc reports its failures as HY000 with SQLite's result code as the native code;
    // the code of a missing table is the general SQLITE_ERROR, told apart by its text only.
    TargetFailureKind ClassifyRecord(const CDiagnosticRecord& record) const override {
        if (record.native == kSqliteBusy) {
            return TargetFailureKind::LockOrTimeout;
        }
        if (AsciiLower(record.message).find("no such table") != std::string::npos) {
            return TargetFailureKind::MissingTable;
        }
        return TargetFailureKind::Other;
    }

    // A file SQLite may not write: the driver's text names neither the file nor what to do.
    std::string ExplainRefusal(const CDBException& e, const std::string& connect) const override {
        const bool bReadOnly = std::any_of(
            e.Records().begin(), e.Records().end(),
            [](const CDiagnosticRecord& record) { return record.native == kSqliteReadOnly; });
        if (!bReadOnly) {
            return {};
        }
        return FormatMessage(TrContext("read-only SQLite target", "%1"),
                             {e.GetErrorMessage(), SqliteFile(connect)});
    }

    std::string MissingTableLine(const std::string& table,
                                 const std::string& connect) const override {
        const std::string target = DescribeTarget(connect);
        const std::string file = SqliteFile(connect);
        const std::string schema = ShippedFile(SchemaFile()).string();
        const std::string command = "sqlite3 " + Quoted(file) + " < " + Quoted(schema);
        if (target.find(file) != std::string::npos) {
            return TrFormat(
                       "The target has no table %1: %2. Create the eight tables with %3, "
                       "e.g. %4",
                       {table, target, schema, command, JapaneseTargetName(target)}) +
                   "\n";
        }
        return TrFormat(
                   "The target has no table %1: %2 (the SQLite file %3). Create the eight "
                   "tables with %4, e.g. %5",
                   {table, target, file, schema, command, JapaneseTargetName(target)}) +
               "\n";
    }

    std::string LockedLine(const std::string& connect) const override {
        const CConnectionAttributes attributes = ParseConnectionString(connect);
        const std::string timeout = ConnectionAttribute(attributes, "timeout");
        const bool bOurTimeout = timeout.empty() ? !SetsTimeout(connect) : timeout == OurTimeout();
        if (bOurTimeout) {
            return TrFormat(
                       "The SQLite file %1 is locked by another program and stayed locked "
                       "for %2 seconds. Close the program that holds it (a sqlite3 shell, "
                       "another run) and start again.",
                       {SqliteFile(connect), std::to_string(kEmbeddedLockWaitSeconds)}) +
                   "\n";
        }
        return TrFormat(
                   "The SQLite file %1 is locked by another program. Close the program "
                   "that holds it (a sqlite3 shell, another run) and start again.",
                   {SqliteFile(connect)}) +
               "\n";
    }

    // Nothing to lock: the first delete is the transaction's first statement that touches
    // the file, so it waits for the write lock (a transaction that had read first would be
    // refused at once in WAL mode instead of waiting). The plain deletes are inherited.

    // SQLite pads nothing, and keeps a date-time as the text that was sent: the driver would
    // parse it (and misread "yyyy/mm/dd") if asked for a date-time.
    bool PadsFixedLengthText() const override { return false; }
    bool ReadsDateTimesAsText() const override { return true; }
    std::unique_ptr<CReadBackPaging> ReadBackPaging(const std::string& table,
                                                    const std::string& columns,
                                                    std::size_t rows) const override {
        return std::make_unique<CRowidPaging>(table, columns, rows);
    }

    // SQLite has no sessions: the run lock is a lock file beside the database file.
    bool UsesRunLockFile() const override { return true; }
};

}  // namespace

const CTargetKind& SqliteKind() {
    static const CSqliteKind* const kind = new CSqliteKind;  // never destroyed: see KnownKinds
    return *kind;
}
