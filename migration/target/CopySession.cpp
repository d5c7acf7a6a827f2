#include "migration/target/CopySession.h"

#include <libpq-fe.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/CountText.h"
#include "migration/RunWatch.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/WatchedCall.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// Rows go to the server in blocks of about this many bytes: memory stays flat whatever the
// table's size, and each block is one watched call.
constexpr std::size_t kBlockBytes = 256 * 1024;

// What both sessions are asked before anything is changed: the same database, user and
// server address, the same schema search path, character set and encryption.
constexpr const char kTwinQuery[] =
    "select current_database() || chr(9) || current_user || chr(9) || "
    "coalesce(host(inet_server_addr()), '') || chr(9) || "
    "coalesce(inet_server_port()::text, '') || chr(9) || current_setting('search_path') || "
    "chr(9) || current_setting('client_encoding') || chr(9) || "
    "coalesce((select ssl::text || ' ' || coalesce(version, '') || ' ' || coalesce(cipher, '') "
    "from pg_stat_ssl where pid = pg_backend_pid()), '')";

// Attributes of a connection string that do not change what a session sees or stores.
bool IsHarmlessAttribute(const std::string& key) {
    static const std::array<const char*, 8> kHarmless = {
        "description", "commlog", "debug",           "useserversideprepare",
        "protocol",    "fetch",   "usedeclarefetch", "driver"};
    for (const char* harmless : kHarmless) {
        if (key == harmless) {
            return true;
        }
    }
    return false;
}

// The libpq parameters for a psqlODBC connection string; false when it holds an attribute
// whose meaning is not known here (whyNot names it).
bool MapConnection(const std::string& connect, unsigned loginTimeout,
                   std::vector<std::pair<std::string, std::string>>& params,
                   std::string& connSettings, CBulkUnusable& whyNot) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    const std::string dsn = ConnectionAttribute(attributes, "dsn");
    // The string's value, else its data source's entry under one of the names the driver
    // reads.
    const auto value = [&](std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            const std::string own = ConnectionAttribute(attributes, AsciiLower(key));
            if (!own.empty()) {
                return own;
            }
        }
        if (!dsn.empty()) {
            for (const char* key : keys) {
                const std::string entry = DataSourceValue(dsn, key);
                if (!entry.empty()) {
                    return entry;
                }
            }
        }
        return std::string();
    };
    static const std::array<const char*, 13> kKnown = {
        "dsn",  "server", "servername", "port",    "database", "uid",         "username",
        "user", "pwd",    "password",   "sslmode", "pqopt",    "connsettings"};
    for (const auto& [key, unused] : attributes) {
        bool known = key == "a6" || IsHarmlessAttribute(key);
        for (const char* name : kKnown) {
            known = known || key == name;
        }
        if (!known) {
            whyNot = {
                CBulkUnusable::Reason::Attribute,
                TrFormat("the connection string's attribute %1 has no libpq equivalent", {key}),
                key};
            return false;
        }
    }
    params.emplace_back("host", value({"Servername", "Server"}));
    params.emplace_back("port", value({"Port"}));
    params.emplace_back("dbname", value({"Database"}));
    params.emplace_back("user", value({"Username", "UID", "User"}));
    // Given to libpq in memory only; without one libpq reads PGPASSWORD or the password file
    // as the driver does.
    params.emplace_back("password", value({"Password", "PWD"}));
    const std::string sslMode = value({"SSLmode", "sslmode"});
    params.emplace_back("sslmode", sslMode.empty() ? "disable" : sslMode);
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("application_name", "brimlow");
    params.emplace_back("connect_timeout", std::to_string(loginTimeout ? loginTimeout : 15));
    // pqopt is libpq's own "name=value name=value", in braces.
    std::string pqopt = value({"pqopt"});
    if (pqopt.size() >= 2 && pqopt.front() == '{' && pqopt.back() == '}') {
        pqopt = pqopt.substr(1, pqopt.size() - 2);
    }
    if (!pqopt.empty()) {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(pqopt.c_str(), &error);
        if (!options) {
            whyNot = {CBulkUnusable::Reason::PqOpt,
                      TrFormat("its pqopt is not a libpq option list: %1",
                               {error ? std::string(error) : std::string()}),
                      "pqopt"};
            PQfreemem(error);
            return false;
        }
        for (PQconninfoOption* option = options; option->keyword; ++option) {
            if (option->val) {
                params.emplace_back(option->keyword, option->val);
            }
        }
        PQconninfoFree(options);
    }
    // The driver's query timeout ends a wait for the tables' lock after 15 s; a COPY, one
    // statement for a whole table, must not be bound by it, so only lock waits are.
    bool bOptions = false;
    for (auto& [keyword, option] : params) {
        if (keyword == "options") {
            option += " -c lock_timeout=" + std::to_string(loginTimeout ? loginTimeout : 15) + "s";
            bOptions = true;
        }
    }
    if (!bOptions) {
        params.emplace_back(
            "options", "-c lock_timeout=" + std::to_string(loginTimeout ? loginTimeout : 15) + "s");
    }
    connSettings = value({"ConnSettings", "A6"});
    return true;
}

std::string ErrorText(const PGresult* result, PGconn* connection) {
    if (result) {
        const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
        if (primary) {
            const char* severity = PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED);
            std::string text = std::string(severity ? severity : "ERROR") + ": " + primary;
            if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) {
                text += std::string("\nDETAIL: ") + detail;
            }
            if (const char* context = PQresultErrorField(result, PG_DIAG_CONTEXT)) {
                text += std::string("\nCONTEXT: ") + context;
            }
            return text;
        }
    }
    std::string text = connection ? PQerrorMessage(connection) : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The line of a COPY's context ("COPY ken_all, line 5, column zip7: …"), 0 when it has none.
std::size_t ContextLine(const PGresult* result) {
    const char* context = result ? PQresultErrorField(result, PG_DIAG_CONTEXT) : nullptr;
    if (!context) {
        return 0;
    }
    const std::string text = context;
    const std::size_t at = text.find(", line ");
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(text.c_str() + at + 7, nullptr, 10);
}

}  // namespace

struct CCopySession::Cancel {
    explicit Cancel(PGcancel* cancel) : m_pCancel(cancel) {}
    ~Cancel() { PQfreeCancel(m_pCancel); }
    PGcancel* m_pCancel;
};

void AppendCopyValue(std::string& out, const std::string& value, int kind) {
    if (kind == COLKIND_NULL) {
        out += "\\N";
        return;
    }
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

CCopySession::CCopySession(pg_conn* connection) : m_pConnection(connection) {
    m_pCancel = std::make_shared<Cancel>(PQgetCancel(connection));
    // Sent from a thread of its own: the cancel request opens a connection of its own, which
    // may block as long as the call it cancels.
    m_cancel = [cancel = m_pCancel] {
        std::thread([cancel] {
            char error[256];
            if (cancel->m_pCancel) {
                PQcancel(cancel->m_pCancel, error, sizeof error);
            }
        }).detach();
    };
}

CCopySession::~CCopySession() {
    Close();
}

std::unique_ptr<CCopySession> CCopySession::Open(const std::string& connect, CDatabase& odbc,
                                                 unsigned loginTimeout, CBulkUnusable& whyNot) {
    std::vector<std::pair<std::string, std::string>> params;
    std::string connSettings;
    if (!MapConnection(connect, loginTimeout, params, connSettings, whyNot)) {
        return nullptr;
    }
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : params) {
        if (!value.empty()) {
            keywords.push_back(keyword.c_str());
            values.push_back(value.c_str());
        }
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* connection = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        whyNot = {CBulkUnusable::Reason::Connect,
                  TrFormat("libpq could not connect: %1", {ErrorText(nullptr, connection)}),
                  {}};
        PQfinish(connection);
        return nullptr;
    }
    std::unique_ptr<CCopySession> session(new CCopySession(connection));
    const auto query = [connection](const std::string& sql, std::string& answer) {
        PGresult* result = PQexec(connection, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
        answer = ok ? (PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "")
                    : ErrorText(result, connection);
        PQclear(result);
        return ok;
    };
    std::string answer;
    // The driver runs its ConnSettings as one query string right after connecting.
    if (!connSettings.empty() && !query(connSettings, answer)) {
        whyNot = {CBulkUnusable::Reason::ConnSettings,
                  TrFormat("the ConnSettings failed in libpq's session: %1", {answer}),
                  {}};
        return nullptr;
    }
    if (!query(kTwinQuery, answer)) {
        whyNot = {CBulkUnusable::Reason::Compare,
                  TrFormat("libpq's session could not be compared: %1", {answer}),
                  {}};
        return nullptr;
    }
    const std::string odbcAnswer = odbc.QueryValue(kTwinQuery);
    if (odbcAnswer != answer) {
        std::string shown = odbcAnswer + " / " + answer;
        for (char& c : shown) {
            c = c == '\t' ? ',' : c;
        }
        whyNot = {CBulkUnusable::Reason::Differs,
                  TrFormat("libpq's session differs from the driver's (database, user, server, "
                           "port, search_path, client_encoding, SSL: %1)",
                           {shown}),
                  {}};
        return nullptr;
    }
    return session;
}

void CCopySession::Watched(const std::function<void()>& work, UnknownOutcome ifGivenUp) {
    RunWatchedCall(m_watch.get(), m_cancel, m_abandon, ifGivenUp, work);
}

void CCopySession::ThrowFailure(const std::string& what, PGresult* result) {
    const bool lost = !m_pConnection || PQstatus(m_pConnection) != CONNECTION_OK;
    CDiagnosticRecord record;
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    // A connection that broke has no state of the server's: libpq's own text says why.
    record.state = state ? state : (lost ? "08S01" : "HY000");
    record.message = ErrorText(result, m_pConnection);
    PQclear(result);
    throw CDBException((what.empty() ? "" : what + ": ") + record.message, {record});
}

void CCopySession::Execute(const std::string& statement) {
    Watched(
        [this, &statement] {
            PGresult* result = PQexec(m_pConnection, statement.c_str());
            if (PQresultStatus(result) != PGRES_COMMAND_OK &&
                PQresultStatus(result) != PGRES_TUPLES_OK) {
                ThrowFailure("", result);
            }
            PQclear(result);
        },
        UnknownOutcome::None);
}

std::string CCopySession::QueryValue(const std::string& query) {
    std::string answer;
    Watched(
        [this, &query, &answer] {
            PGresult* result = PQexec(m_pConnection, query.c_str());
            if (PQresultStatus(result) != PGRES_TUPLES_OK) {
                ThrowFailure("", result);
            }
            if (PQntuples(result) > 0 && PQnfields(result) > 0 && !PQgetisnull(result, 0, 0)) {
                answer = PQgetvalue(result, 0, 0);
            }
            PQclear(result);
        },
        UnknownOutcome::None);
    return answer;
}

CRunLockSession CCopySession::LockSession() {
    return {[this](const std::string& statement) { Execute(statement); },
            [this](const std::string& query) { return QueryValue(query); }};
}

void CCopySession::TakeRunLockFrom(
    const std::function<std::string(const std::string&)>& odbcQuery) {
    const std::string label = odbcQuery("select current_setting('application_name')");
    Watched(
        [this, &label] {
            const char* values[] = {label.c_str()};
            PGresult* result =
                PQexecParams(m_pConnection, "select set_config('application_name', $1, false)", 1,
                             nullptr, values, nullptr, nullptr, 0);
            if (PQresultStatus(result) != PGRES_TUPLES_OK) {
                ThrowFailure("", result);
            }
            PQclear(result);
        },
        UnknownOutcome::None);
    const std::string key = std::to_string(kRunLockKey);
    Watched(
        [this, &key] {
            if (PQsendQuery(m_pConnection, ("select pg_advisory_lock(" + key + ")").c_str()) != 1) {
                ThrowFailure("", nullptr);
            }
        },
        UnknownOutcome::None);
    // The wait ends by itself at the session's lock timeout: an answer before the ODBC session
    // let the lock go is that failure (or the lock, when nobody held it).
    const std::string waiting =
        "select count(*) from pg_locks where locktype = 'advisory' and not granted and pid = " +
        std::to_string(BackendPid());
    bool bAnswered = false;
    for (;;) {
        if (PQconsumeInput(m_pConnection) != 1 || PQisBusy(m_pConnection) == 0) {
            bAnswered = true;
            break;
        }
        if (odbcQuery(waiting) != "0") {
            break;
        }
        if (m_watch && m_watch->IsStopRequested()) {
            throw CRunStopped();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!bAnswered) {
        odbcQuery("select pg_advisory_unlock(" + key + ")");
    }
    Watched(
        [this] {
            PGresult* result = PQgetResult(m_pConnection);
            for (PGresult* more = PQgetResult(m_pConnection); more;
                 more = PQgetResult(m_pConnection)) {
                PQclear(more);
            }
            if (PQresultStatus(result) != PGRES_TUPLES_OK) {
                ThrowFailure("", result);
            }
            PQclear(result);
        },
        UnknownOutcome::None);
}

void CCopySession::Begin(const std::vector<std::string>& statements) {
    Execute("BEGIN");
    for (const std::string& statement : statements) {
        Execute(statement);
    }
}

void CCopySession::AddRow(const CInsertItemList& row) {
    if (m_strTable != row.m_strTable) {
        EndTable();
        std::string statement = "copy " + row.m_strTable + "(";
        for (std::size_t i = 0; i < row.m_items.size(); ++i) {
            statement += (i ? "," : "") + row.m_items[i].m_strColumn;
        }
        statement += ") from stdin";
        Watched(
            [this, &statement] {
                PGresult* result = PQexec(m_pConnection, statement.c_str());
                if (PQresultStatus(result) != PGRES_COPY_IN) {
                    ThrowFailure("", result);
                }
                PQclear(result);
            },
            UnknownOutcome::None);
        m_strTable = row.m_strTable;
        m_nRows = 0;
        m_strBuffer.reserve(kBlockBytes + 4096);
    }
    for (std::size_t i = 0; i < row.m_items.size(); ++i) {
        if (i != 0) {
            m_strBuffer += '\t';
        }
        AppendCopyValue(m_strBuffer, row.m_items[i].m_strValue, row.m_items[i].m_nKind);
    }
    m_strBuffer += '\n';
    ++m_nRows;
    if (m_strBuffer.size() >= kBlockBytes) {
        SendBuffer();
    }
}

void CCopySession::SendBuffer() {
    if (m_strBuffer.empty()) {
        return;
    }
    Watched(
        [this] {
            if (PQputCopyData(m_pConnection, m_strBuffer.data(),
                              static_cast<int>(m_strBuffer.size())) != 1) {
                ThrowFailure("", nullptr);
            }
        },
        UnknownOutcome::None);
    m_strBuffer.clear();
}

void CCopySession::EndTable() {
    if (m_strTable.empty()) {
        return;
    }
    SendBuffer();
    const std::string table = std::exchange(m_strTable, std::string());
    const std::size_t rows = m_nRows;
    Watched(
        [this, &table, rows] {
            PQputCopyEnd(m_pConnection, nullptr);
            PGresult* result = PQgetResult(m_pConnection);
            // The COPY's own result, then the end of its results.
            for (PGresult* more = PQgetResult(m_pConnection); more;
                 more = PQgetResult(m_pConnection)) {
                PQclear(more);
            }
            if (PQresultStatus(result) != PGRES_COMMAND_OK) {
                const std::size_t line = ContextLine(result);
                const std::string which =
                    line != 0
                        ? table + " row " + std::to_string(line)
                        : table + (rows == 1 ? " row 1" : " rows 1 to " + std::to_string(rows));
                PGresult* failed = result;
                const bool lost = PQstatus(m_pConnection) != CONNECTION_OK;
                CDiagnosticRecord record;
                const char* state = PQresultErrorField(failed, PG_DIAG_SQLSTATE);
                record.state = state ? state : (lost ? "08S01" : "HY000");
                record.message = ErrorText(failed, m_pConnection);
                PQclear(failed);
                throw CDBException(TrFormat("The target refused %1: %2", {which, record.message}),
                                   {record});
            }
            const std::size_t stored = std::strtoul(PQcmdTuples(result), nullptr, 10);
            PQclear(result);
            if (stored < rows) {
                throw CDBException(
                    TrFormat(
                        "The target accepted rows %1 to %2 of %3 but stored only %4 of "
                        "them: a trigger or a rule on the table discarded the others.",
                        {GroupThousands(1), GroupThousands(rows), table, GroupThousands(stored)}) +
                    "\n");
            }
        },
        UnknownOutcome::None);
}

void CCopySession::Commit() {
    EndTable();
    try {
        Watched(
            [this] {
                PGresult* result = PQexec(m_pConnection, "COMMIT");
                if (PQresultStatus(result) != PGRES_COMMAND_OK) {
                    ThrowFailure("", result);
                }
                // A transaction that failed earlier answers a commit with ROLLBACK.
                const bool rolledBack = std::string(PQcmdStatus(result)) == "ROLLBACK";
                PQclear(result);
                if (rolledBack) {
                    throw CDBException(Tr("The target rolled the transaction back."));
                }
            },
            UnknownOutcome::Commit);
    } catch (const CRunStopped& stop) {
        throw CRunStopped(stop.Unknown() == UnknownOutcome::None ? UnknownOutcome::None
                                                                 : UnknownOutcome::Commit);
    } catch (const CDBException& e) {
        if (ClassifyTargetFailure(e, "PostgreSQL") == TargetFailureKind::Connection) {
            throw CConnectionLost(e, UnknownOutcome::Commit);
        }
        throw;
    }
    m_bCommitted = true;
}

int CCopySession::BackendPid() const noexcept {
    return m_pConnection ? PQbackendPID(m_pConnection) : 0;
}

std::size_t CCopySession::CountRows(const std::string& table) {
    std::size_t rows = 0;
    Watched(
        [this, &table, &rows] {
            PGresult* result = PQexec(m_pConnection, ("select count(*) from " + table).c_str());
            if (PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != 1) {
                ThrowFailure("", result);
            }
            rows = std::strtoul(PQgetvalue(result, 0, 0), nullptr, 10);
            PQclear(result);
        },
        UnknownOutcome::None);
    return rows;
}

void CCopySession::Close() noexcept {
    if (!m_pConnection) {
        return;
    }
    // Never waits for a server that stopped reading: the terminate message is dropped rather
    // than blocked on, and the server rolls back when the socket closes.
    PQsetnonblocking(m_pConnection, 1);
    PQfinish(m_pConnection);
    m_pConnection = nullptr;
}
