// PostgreSQL through psqlODBC.
//
// Every value goes to the target as a literal in which only apostrophes are doubled. A
// PostgreSQL session with standard_conforming_strings off (a database or role setting some
// sites carry) reads a backslash inside such a literal as an escape: values change, and a
// value ending in a backslash ends its literal early, so that the text after it runs as SQL.
// psqlODBC fixes the quoting of its session when it connects, so the setting is put into the
// connection itself, through the driver's pqopt attribute (options passed on to libpq), and
// the session is asked after connecting (CheckSession), since the driver's ConnSettings runs
// after the start-up options and may turn it off again.
#include <chrono>
#include <thread>
#include <utility>

#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/RunLock.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

constexpr const char kStandardQuoting[] = "options='-c standard_conforming_strings=on'";
// libpq leaves TCP keepalives to the system (two hours before the first probe), so a server
// that went silent mid-statement (a network dropping packets) would hold the run for hours.
// With these a dead peer is found in about 20 s: unacknowledged data or keepalive probes
// unanswered for 20 s close the connection.
constexpr const char kKeepalives[] =
    "keepalives=1 keepalives_idle=10 keepalives_interval=5 "
    "keepalives_count=3 tcp_user_timeout=20000";

// The value of psqlODBC's pqopt attribute carrying these libpq options ("name=value",
// separated by blanks in the attribute): "{opt1 opt2}".
std::string PqoptValue(const std::vector<std::string>& libpqOptions) {
    std::string value = "{";
    for (const std::string& option : libpqOptions) {
        value += (value.size() > 1 ? " " : "") + option;
    }
    return value + "}";
}

constexpr const char kReadBackCursor[] = "brimlow_read_back";

// psqlODBC keeps the whole result of a query in memory (unless the connection asked it for
// declare/fetch itself, which would change every statement of the run's connection): a table
// is read back through a cursor of the server's instead, a block of rows per fetch, in a
// read-only transaction of its own that ends once the rows are read.
class CCursorPaging final : public CReadBackPaging {
public:
    CCursorPaging(std::string select, std::size_t rows)
        : m_strSelect(std::move(select)), m_nRows(rows) {}

    void Begin(CDatabase& database) override {
        database.BeginTrans();
        database.ExecuteSQL("set transaction read only");
        database.ExecuteSQL(std::string("declare ") + kReadBackCursor + " no scroll cursor for " +
                            m_strSelect);
    }
    std::string NextQuery(std::size_t rowsRead, std::string_view /*lastKey*/) override {
        if (m_bStarted && rowsRead < m_nRows) {
            return {};
        }
        m_bStarted = true;
        return "fetch forward " + std::to_string(m_nRows) + " from " + kReadBackCursor;
    }
    // The transaction ends, and the cursor with it.
    void End(CDatabase& database) override {
        if (database.InTransaction()) {
            database.Rollback();
        }
    }
    void Abandon(CDatabase& database) noexcept override {
        try {
            End(database);
        } catch (...) {
            // The connection is gone or going: the transaction goes with it.
        }
    }

private:
    std::string m_strSelect;
    std::size_t m_nRows;
    bool m_bStarted = false;
};

class CPostgresqlKind final : public CTargetKind {
public:
    std::string Name() const override { return "PostgreSQL"; }
    // psqlODBC's libraries are psqlodbcw.so and psqlodbca.so.
    bool IsDriverLibrary(const std::string& fileName) const override {
        return fileName.rfind("psqlodbc", 0) == 0;
    }
    bool IsDbmsName(const std::string& dbmsName) const override { return dbmsName == "PostgreSQL"; }

    std::string SchemaFile() const override { return "schema/postgresql.sql"; }

    // pqopt with standard_conforming_strings=on and short TCP keepalives, unless the string
    // or its data source's entry has a pqopt of its own, which is left alone.
    std::string AmendConnection(const std::string& connect) const override {
        const CConnectionAttributes attributes = ParseConnectionString(connect);
        const std::string dsn = ConnectionAttribute(attributes, "dsn");
        if (!ConnectionAttribute(attributes, "pqopt").empty() ||
            (!dsn.empty() && !DataSourceValue(dsn, "pqopt").empty())) {
            return connect;
        }
        const bool bEndsWithSeparator = connect.empty() || connect.back() == ';';
        return connect + (bEndsWithSeparator ? "" : ";") +
               "pqopt=" + PqoptValue({kStandardQuoting, kKeepalives});
    }

    // The session reads backslashes as escapes although pqopt asked for standard quoting (or
    // could not: a pqopt of the user's own): psqlODBC's ConnSettings (A6) runs its SQL after
    // the start-up options, and a database or role setting applies where pqopt is not ours.
    std::string QuotingRefusal() const override {
        return Tr(
            "The PostgreSQL session reads backslashes in quoted text as escapes "
            "(standard_conforming_strings is off), so values holding a backslash would "
            "arrive changed and could end their text early; nothing was sent. The program "
            "turns the setting on for its connection, so something turned it off again or "
            "kept it off: a ConnSettings (or A6) or a pqopt of the connection string or of "
            "the data source (remove the setting from it), or a setting of the database or "
            "the role (ALTER DATABASE … SET standard_conforming_strings = on, or ALTER "
            "ROLE … RESET standard_conforming_strings).");
    }

    // The statement timeout cancelling a wait (57014), or a lock refused at once (55P03).
    bool EndsLockWait(const CDiagnosticRecord& record) const override {
        return record.state == "57014" || record.state == "55P03";
    }

    std::string MissingTableLine(const std::string& table,
                                 const std::string& connect) const override {
        const std::string target = DescribeTarget(connect);
        return TrFormat(
                   "The target has no table %1: %2. Create the eight tables with %3 "
                   "(psql -f).",
                   {table, target, ShippedFile(SchemaFile()).string(),
                    JapaneseTargetName(target)}) +
               "\n";
    }

    // The eight tables are the transaction's alone until its end (readers still read the old
    // contents): a second run waits here, at most the lock timeout, and then replaces what
    // the first one committed.
    std::vector<std::string> LockAndEmptyStatements() const override {
        std::string tables;
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            tables += (tables.empty() ? "" : ", ") + entry.table;
        }
        std::vector<std::string> statements{"lock table " + tables + " in exclusive mode"};
        for (std::string& empty : CTargetKind::LockAndEmptyStatements()) {
            statements.push_back(std::move(empty));
        }
        return statements;
    }

    std::unique_ptr<CReadBackPaging> ReadBackPaging(const std::string& table,
                                                    const std::string& columns,
                                                    std::size_t rows) const override {
        return std::make_unique<CCursorPaging>("select " + columns + " from " + table, rows);
    }

    // The run lock is a session-level advisory lock of the database (advisory locks are per
    // database) on kRunLockKey; it goes with the session. The session carries the run's label
    // as its application_name, where pg_stat_activity shows it.
    std::string SessionLabelStatement(const std::string& label) const override {
        std::string literal;
        for (const char c : label) {
            literal += c == '\'' ? std::string("''") : std::string(1, c);
        }
        return "set application_name = '" + literal + "'";
    }
    std::string SessionIdQuery() const override { return "select pg_backend_pid()"; }
    std::string TryRunLockQuery() const override {
        return "select case when pg_try_advisory_lock(" + std::to_string(kRunLockKey) +
               ") then 0 else -1 end";
    }
    // A bigint key shows in pg_locks as its high half (classid) and low half (objid), with
    // objsubid 1.
    std::string RunLockHolderQuery() const override {
        return "select coalesce(a.application_name, '') || chr(9) || "
               "coalesce(to_char(a.backend_start, 'YYYY-MM-DD HH24:MI:SS TZ'), '') || chr(9) || "
               "coalesce(host(a.client_addr), '') "
               "from pg_locks l join pg_stat_activity a on a.pid = l.pid "
               "where l.locktype = 'advisory' and l.granted and l.objsubid = 1 "
               "and l.database = (select oid from pg_database where datname = current_database()) "
               "and l.classid = " +
               std::to_string(kRunLockKey >> 32) +
               " and l.objid = " + std::to_string(kRunLockKey & 0xffffffffu) + " limit 1";
    }
    // The backend ends at its next check for interrupts: at once when it waits for a lock or
    // the network, never while its process is stopped.
    bool EndSession(CDatabase& database, const std::string& id) const override {
        database.QueryValue("select pg_terminate_backend(" + id + ")");
        for (int check = 0; check < 20; ++check) {
            if (database.QueryValue("select count(*) from pg_stat_activity where pid = " + id) ==
                "0") {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

}  // namespace

const CTargetKind& PostgresqlKind() {
    static const CPostgresqlKind* const kind =
        new CPostgresqlKind;  // never destroyed: see KnownKinds
    return *kind;
}
