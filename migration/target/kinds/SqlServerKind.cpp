// Microsoft SQL Server through FreeTDS's ODBC driver (tdsodbc).
#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// SQL Server's message numbers: "Lock request time out period exceeded."; a transaction chosen
// as a deadlock's victim.
constexpr long kLockTimeout = 1222;
constexpr long kDeadlock = 1205;

// What ends a session while a statement or its commit may have been applied, by SQL Server's
// message numbers: "SHUTDOWN is in progress." (6005), the server shut down by a login's
// request (6006), "Cannot continue the execution because the session is in the kill state."
// (596, a KILL), and the transport errors a client reports for a connection the server closed
// (233 "no process is on the other end of the pipe", 10053 and 10054 "an existing connection
// was forcibly closed"); and by FreeTDS's own: the connection is dead (20047). None of them is
// a native code any other kind's driver reports.
constexpr long kSessionEnded[] = {233, 596, 6005, 6006, 10053, 10054, 20047};

// key=value for FreeTDS's connection string parser. A value it could not carry plainly goes
// in braces, which FreeTDS ends at the first "};" or at the string's end, taking no doubled
// "}}" for one: the value is written as it is (one holding "};" cannot be carried), and the
// string goes on with ';' after a braced value.
std::string Attribute(const std::string& key, const std::string& value) {
    if (value.find_first_of(";{}") == std::string::npos && value.front() != ' ' &&
        value.back() != ' ') {
        return key + "=" + value;
    }
    return key + "={" + value + "};";
}

class CSqlServerKind final : public CTargetKind {
public:
    std::string Name() const override { return "SQL Server (FreeTDS)"; }
    // FreeTDS's ODBC library is libtdsodbc.so.
    bool IsDriverLibrary(const std::string& fileName) const override {
        return fileName.rfind("libtdsodbc", 0) == 0;
    }
    bool IsDbmsName(const std::string& dbmsName) const override {
        return dbmsName.find("SQL Server") != std::string::npos;
    }

    std::string SchemaFile() const override { return "schema/sqlserver.sql"; }

    // What FreeTDS needs in the connection string that other drivers take from elsewhere:
    // - called with DSN=name, it ignores the UID and PWD written in that data source's entry
    //   (it then tries Kerberos and fails), so they are copied from the entry into the string,
    //   unless the string has either of them;
    // - it converts the program's narrow strings from the process locale's character set, so
    //   that under LC_ALL=C (cron, systemd units) every Japanese text would arrive garbled,
    //   without an error; the program's text is UTF-8 whatever the locale, so
    //   ClientCharset=UTF-8 is added, unless the string or the data source sets one;
    // - the session names the program (APP=brimlow, shown as program_name in SQL Server's
    //   session lists), unless the string or the data source names one.
    std::string AmendConnection(const std::string& connect) const override {
        const CConnectionAttributes attributes = ParseConnectionString(connect);
        const std::string dsn = ConnectionAttribute(attributes, "dsn");
        std::string added;
        const auto add = [&](const std::string& key, const std::string& value) {
            if (!value.empty()) {
                added += (added.empty() || added.back() == ';' ? "" : ";") + Attribute(key, value);
            }
        };
        const bool bHasLogin = !ConnectionAttribute(attributes, "uid").empty() ||
                               !ConnectionAttribute(attributes, "pwd").empty();
        if (!dsn.empty() && !bHasLogin) {
            add("UID", DataSourceValue(dsn, "UID"));
            add("PWD", DataSourceValue(dsn, "PWD"));
        }
        if (ConnectionAttribute(attributes, "clientcharset").empty() &&
            (dsn.empty() || DataSourceValue(dsn, "ClientCharset").empty())) {
            add("ClientCharset", "UTF-8");
        }
        if (ConnectionAttribute(attributes, "app").empty() &&
            (dsn.empty() || DataSourceValue(dsn, "APP").empty())) {
            add("APP", "brimlow");
        }
        if (added.empty()) {
            return connect;
        }
        const bool bEndsWithSeparator = connect.empty() || connect.back() == ';';
        return connect + (bEndsWithSeparator ? "" : ";") + added;
    }

    // FreeTDS reports its own network failures as a warning (01000) with its library's error
    // number: the read or the write to the server failed, or the server closed the connection.
    // The server's shutdown or a KILL of the session come as SQL Server's messages, with
    // whatever SQLSTATE FreeTDS gives them.
    bool IsOwnConnectionLoss(const CDiagnosticRecord& record) const override {
        if (record.state == "01000" &&
            (record.native == 20004 || record.native == 20006 || record.native == 20017)) {
            return true;
        }
        return std::find(std::begin(kSessionEnded), std::end(kSessionEnded), record.native) !=
               std::end(kSessionEnded);
    }

    // FreeTDS gives SQL Server's lock timeout and deadlock the general SQLSTATE 42000 (it maps
    // neither number), so these are told by SQL Server's own message number.
    TargetFailureKind ClassifyRecord(const CDiagnosticRecord& record) const override {
        if (record.native == kLockTimeout || record.native == kDeadlock) {
            return TargetFailureKind::LockOrTimeout;
        }
        return KindOfState(record.state);
    }

    std::string MissingTableLine(const std::string& table,
                                 const std::string& connect) const override {
        const std::string target = DescribeTarget(connect);
        return TrFormat(
                   "The target has no table %1: %2. Create the eight tables with %3 "
                   "(sqlcmd -i).",
                   {table, target, ShippedFile(SchemaFile()).string(),
                    JapaneseTargetName(target)}) +
               "\n";
    }

    // Temporary tables are spelled with a '#'; there is no "temporary" keyword.
    std::vector<CProbeTable> ProbeTables() const override {
        return {{"#brimlow_rollback_probe",
                 "create table #brimlow_rollback_probe (id integer primary key)"}};
    }

    // Each delete takes its table's lock and holds it to the transaction's end, so that a
    // second run waits (at most the lock timeout) and then replaces what the first committed.
    std::vector<std::string> LockAndEmptyStatements() const override {
        std::vector<std::string> statements = CTargetKind::LockAndEmptyStatements();
        for (std::string& statement : statements) {
            statement += " with (TABLOCKX, HOLDLOCK)";
        }
        return statements;
    }

    // The run lock is an application lock of the database, owned by the session (released
    // when it ends); the session carries the run's label in its context_info, where
    // sys.dm_exec_sessions shows it. sp_getapplock returns 0 or 1 when granted, a negative
    // number when refused; counts are off around it so that its value is the batch's first
    // result.
    std::string SessionLabelStatement(const std::string& label) const override {
        static const char kHex[] = "0123456789abcdef";
        std::string hex = "0x";
        for (const char c : label.substr(0, 128)) {
            const auto byte = static_cast<unsigned char>(c);
            hex += kHex[byte >> 4];
            hex += kHex[byte & 15];
        }
        return "set context_info " + hex;
    }
    std::string SessionIdQuery() const override { return "select @@SPID"; }
    std::string TryRunLockQuery() const override {
        return "set nocount on; declare @r int; exec @r = sp_getapplock @Resource = 'brimlow', "
               "@LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; "
               "set nocount off; select @r";
    }
    std::string RunLockHolderQuery() const override {
        return "select top 1 replace(isnull(cast(s.context_info as varchar(128)), ''), char(0), "
               "'') + char(9) + convert(varchar(19), s.login_time, 120) + char(9) + "
               "isnull(s.host_name, '') "
               "from sys.dm_tran_locks l join sys.dm_exec_sessions s "
               "on s.session_id = l.request_session_id "
               "where l.resource_type = 'APPLICATION' and l.request_status = 'GRANT' "
               "and l.resource_database_id = db_id() and l.resource_description like '%brimlow%'";
    }
    // KILL rolls the session's transaction back before the session goes.
    bool EndSession(CDatabase& database, const std::string& id) const override {
        database.ExecuteSQL("kill " + id);
        for (int check = 0; check < 20; ++check) {
            if (database.QueryValue("select count(*) from sys.dm_exec_sessions where "
                                    "session_id = " +
                                    id) == "0") {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

}  // namespace

const CTargetKind& SqlServerKind() {
    static const CSqlServerKind* const kind =
        new CSqlServerKind;  // never destroyed: see KnownKinds
    return *kind;
}
