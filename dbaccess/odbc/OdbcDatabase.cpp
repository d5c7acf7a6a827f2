#include "dbaccess/odbc/OdbcDatabase.h"

#include <sqlext.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcCheck.h"
#include "dbaccess/odbc/OdbcDriverCheck.h"
#include "dbaccess/odbc/OdbcHandle.h"

// The handles of one open connection. Declared in this order, they are freed in reverse:
// statement, connection, environment.
struct CDatabase::Handles {
    COdbcHandle env;
    COdbcHandle dbc;
    COdbcHandle stmt;    // reused from one ExecuteSQL to the next; dropped after a failure
    COdbcHandle cursor;  // COdbcResultReader's, freed with the connection or by its reader
    bool connected = false;
    bool inTransaction = false;
    unsigned stmtQueryTimeout = 0;  // the query timeout set on stmt

    COdbcHandles Diagnostics() const noexcept { return {env.Get(), dbc.Get(), stmt.Get()}; }

    ~Handles() {
        // SQLDisconnect frees the statements of the connection itself, so ours go first.
        cursor.Reset();
        stmt.Reset();
        if (connected) {
            // An open transaction would make the disconnect fail: undo it first.
            if (inTransaction) {
                SQLEndTran(SQL_HANDLE_DBC, dbc.Get(), SQL_ROLLBACK);
            }
            SQLDisconnect(dbc.Get());
        }
    }
};

struct CDatabase::InFlight {
    std::mutex mutex;  // held while the handle is set or cleared, and during SQLCancel
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool cancelling = false;
};

// The handle is CancelStatement's while it executes. Clearing waits for a cancel in progress,
// so the handle is never freed under SQLCancel.
class CDatabase::CExecuting {
public:
    CExecuting(InFlight& inFlight, SQLHSTMT stmt) : m_inFlight(inFlight) {
        const std::lock_guard lock(m_inFlight.mutex);
        m_inFlight.stmt = stmt;
    }
    ~CExecuting() {
        const std::lock_guard lock(m_inFlight.mutex);
        m_inFlight.stmt = SQL_NULL_HSTMT;
    }
    CExecuting(const CExecuting&) = delete;
    CExecuting& operator=(const CExecuting&) = delete;

private:
    InFlight& m_inFlight;
};

CDatabase::CDatabase() : m_pInFlight(std::make_shared<InFlight>()) {}
CDatabase::~CDatabase() {
    Close();
}

bool CDatabase::OpenEx(const std::string& connect, unsigned /*options*/) {
    // Whatever the options say, the connection never prompts: SQL_DRIVER_NOPROMPT below.
    if (IsOpen()) {
        Close();
        throw CDBException("The target connection was already open; it has been closed.");
    }
    try {
        // Until the connection is complete the handles belong to this local, so that every
        // failure below frees them.
        auto handles = std::make_unique<Handles>();
        handles->env = AllocateOdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, {});
        OdbcCheck(SQLSetEnvAttr(handles->env.Get(), SQL_ATTR_ODBC_VERSION,
                                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  "SQLSetEnvAttr", handles->Diagnostics());
        handles->dbc =
            AllocateOdbcHandle(SQL_HANDLE_DBC, handles->env.Get(), handles->Diagnostics());
        OdbcCheck(
            SQLSetConnectAttr(handles->dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(std::uintptr_t{m_dwLoginTimeout}), 0),
            "SQLSetConnectAttr", handles->Diagnostics());
        OdbcCheck(SQLDriverConnect(handles->dbc.Get(), nullptr,
                                   reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                                   SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
                  "SQLDriverConnect", handles->Diagnostics());
        handles->connected = true;
        VerifyOdbcDriver(handles->Diagnostics());
        m_pHandles = std::move(handles);
        return true;
    } catch (const std::bad_alloc&) {
        throw CMemoryException();
    }
}

CDatabase::Handles& CDatabase::OpenHandles() const {
    if (!IsOpen()) {
        throw CDBException("The target connection is not open.");
    }
    return *m_pHandles;
}

bool CDatabase::CanTransact() const {
    Handles& handles = OpenHandles();
    SQLUSMALLINT capable = SQL_TC_NONE;
    const SQLRETURN rc =
        SQLGetInfo(handles.dbc.Get(), SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr);
    return SQL_SUCCEEDED(rc) && capable != SQL_TC_NONE;
}

std::string CDatabase::GetDbmsName() const noexcept {
    if (!IsOpen()) {
        return {};
    }
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetInfo(m_pHandles->dbc.Get(), SQL_DBMS_NAME, name, sizeof name, &length))) {
        return {};
    }
    try {
        return reinterpret_cast<const char*>(name);
    } catch (...) {
        return {};
    }
}

void CDatabase::BeginTrans() {
    Handles& handles = OpenHandles();
    if (handles.inTransaction) {
        throw CDBException("A transaction is already open on the target connection.");
    }
    OdbcCheck(SQLSetConnectAttr(handles.dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
              "SQLSetConnectAttr", handles.Diagnostics());
    handles.inTransaction = true;
}

void CDatabase::CommitTrans() {
    EndTrans(SQL_COMMIT, "commit");
}

void CDatabase::Rollback() {
    EndTrans(SQL_ROLLBACK, "roll back");
}

bool CDatabase::InTransaction() const noexcept {
    return m_pHandles && m_pHandles->inTransaction;
}

void CDatabase::EndTrans(short completion, const char* what) {
    Handles& handles = OpenHandles();
    if (!handles.inTransaction) {
        throw CDBException(std::string("There is no transaction to ") + what +
                           " on the target connection.");
    }
    // The statement handle goes first, so that no open cursor keeps the transaction busy.
    handles.stmt.Reset();
    if (handles.cursor) {
        SQLFreeStmt(handles.cursor.Get(), SQL_CLOSE);
    }
    OdbcCheck(SQLEndTran(SQL_HANDLE_DBC, handles.dbc.Get(), completion), "SQLEndTran",
              handles.Diagnostics());
    handles.inTransaction = false;
    OdbcCheck(SQLSetConnectAttr(handles.dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER),
              "SQLSetConnectAttr", handles.Diagnostics());
}

long CDatabase::ExecuteSQL(const std::string& statement) {
    Handles& handles = OpenHandles();
    // Kept by this call: an Abandon while it blocks must not free what it still uses.
    const std::shared_ptr<InFlight> inFlight = m_pInFlight;
    // A statement in an unknown state is cancelled and dropped; the next ExecuteSQL
    // starts on a fresh one. The connection itself stays open.
    const auto dropStatement = [&handles]() noexcept {
        if (handles.stmt) {
            SQLCancel(handles.stmt.Get());
            handles.stmt.Reset();
        }
    };
    try {
        return Execute(handles, statement, m_dwQueryTimeout, *inFlight);
    } catch (const std::bad_alloc&) {
        dropStatement();
        throw CMemoryException();
    } catch (...) {
        dropStatement();
        throw;
    }
}

std::string CDatabase::QueryValue(const std::string& query) {
    Handles& handles = OpenHandles();
    // A fresh statement of its own, freed on every way out: the one ExecuteSQL reuses
    // keeps its state.
    COdbcHandle stmt =
        AllocateOdbcHandle(SQL_HANDLE_STMT, handles.dbc.Get(), handles.Diagnostics());
    const COdbcHandles diagnostics{handles.env.Get(), handles.dbc.Get(), stmt.Get()};
    SQLSetStmtAttr(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(std::uintptr_t{m_dwQueryTimeout}), 0);
    OdbcCheck(SQLExecDirect(stmt.Get(),
                            reinterpret_cast<SQLCHAR*>(const_cast<char*>(query.c_str())), SQL_NTS),
              "SQLExecDirect", diagnostics);
    std::string value;
    if (OdbcCheck(SQLFetch(stmt.Get()), "SQLFetch", diagnostics) != SQL_NO_DATA) {
        char buffer[256] = {};
        SQLLEN length = 0;
        OdbcCheck(SQLGetData(stmt.Get(), 1, SQL_C_CHAR, buffer, sizeof buffer, &length),
                  "SQLGetData", diagnostics);
        if (length != SQL_NULL_DATA) {
            value = buffer;
        }
        // The rest is read to its end: closing a result still on its way makes a driver
        // cancel it (FreeTDS sends an attention and waits for its answer), a round trip more.
        while (SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
        }
        while (SQL_SUCCEEDED(SQLMoreResults(stmt.Get()))) {
            while (SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
            }
        }
    }
    // The answer read to its end before the cursor is closed: FreeTDS cancels a result it has
    // not read to its end (an ATTENTION and a wait for its acknowledgement).
    while (SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
    }
    while (SQL_SUCCEEDED(SQLMoreResults(stmt.Get()))) {
    }
    SQLFreeStmt(stmt.Get(), SQL_CLOSE);
    return value;
}

long CDatabase::Execute(Handles& handles, const std::string& statement, unsigned queryTimeout,
                        InFlight& inFlight) {
    if (!handles.stmt) {
        handles.stmt =
            AllocateOdbcHandle(SQL_HANDLE_STMT, handles.dbc.Get(), handles.Diagnostics());
        handles.stmtQueryTimeout = ~queryTimeout;  // not set yet
    }
    if (handles.stmtQueryTimeout != queryTimeout) {
        // A driver that cannot time statements out still executes them; its refusal
        // (HYC00 and the like) is not worth failing the row for.
        SQLSetStmtAttr(handles.stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(std::uintptr_t{queryTimeout}), 0);
        handles.stmtQueryTimeout = queryTimeout;
    }
    const CExecuting executing(inFlight, handles.stmt.Get());
    SQLRETURN rc = OdbcCheck(
        SQLExecDirect(handles.stmt.Get(),
                      reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement.c_str())), SQL_NTS),
        "SQLExecDirect", handles.Diagnostics());
    // The count is the first result's, asked once it is there: a statement that changed no
    // row may be answered SQL_NO_DATA, and then there is no result to ask.
    SQLLEN rows = 0;
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLRowCount(handles.stmt.Get(), &rows))) {
        rows = -1;
    }
    // Every result set is read to its end, so that the statement is complete and the
    // handle free for the next one.
    while (rc != SQL_NO_DATA) {
        rc = OdbcCheck(SQLMoreResults(handles.stmt.Get()), "SQLMoreResults", handles.Diagnostics());
    }
    OdbcCheck(SQLFreeStmt(handles.stmt.Get(), SQL_CLOSE), "SQLFreeStmt", handles.Diagnostics());
    return rows < 0 ? -1 : static_cast<long>(rows);
}

void* CDatabase::ReaderStatement(COdbcHandles& diagnostics) {
    Handles& handles = OpenHandles();
    if (!handles.cursor) {
        handles.cursor =
            AllocateOdbcHandle(SQL_HANDLE_STMT, handles.dbc.Get(), handles.Diagnostics());
    }
    diagnostics = {handles.env.Get(), handles.dbc.Get(), handles.cursor.Get()};
    return handles.cursor.Get();
}

void CDatabase::FreeReaderStatement() noexcept {
    if (m_pHandles) {
        m_pHandles->cursor.Reset();
    }
}

void CDatabase::RunReader(const std::function<void()>& call) {
    Handles& handles = OpenHandles();
    // Kept by this call: an Abandon while it blocks must not free what it still uses.
    const std::shared_ptr<InFlight> inFlight = m_pInFlight;
    const CExecuting executing(*inFlight, handles.cursor.Get());
    call();
}

void CDatabase::CancelStatement() noexcept {
    const std::shared_ptr<InFlight> inFlight = m_pInFlight;
    {
        const std::lock_guard lock(inFlight->mutex);
        if (inFlight->stmt == SQL_NULL_HSTMT || inFlight->cancelling) {
            return;
        }
        inFlight->cancelling = true;
    }
    try {
        std::thread([inFlight] {
            const std::lock_guard lock(inFlight->mutex);
            if (inFlight->stmt != SQL_NULL_HSTMT) {
                SQLCancel(inFlight->stmt);
            }
            inFlight->cancelling = false;
        }).detach();
    } catch (...) {
        // No thread to cancel on: the caller's wait for the statement is bounded anyway.
        const std::lock_guard lock(inFlight->mutex);
        inFlight->cancelling = false;
    }
}

void CDatabase::Abandon() noexcept {
    // Never freed, since a thread may still be blocked on them, but kept where they can be
    // found (a leak checker then does not take them for lost).
    static std::mutex mutex;
    static auto* abandoned = new std::vector<Handles*>;
    if (m_pHandles) {
        const std::lock_guard lock(mutex);
        try {
            abandoned->push_back(m_pHandles.get());
        } catch (...) {
            // Out of memory: the handles are left unlisted.
        }
        static_cast<void>(m_pHandles.release());
    }
    m_pInFlight = std::make_shared<InFlight>();
}

void CDatabase::Close() noexcept {
    m_pHandles.reset();
}

bool CDatabase::IsOpen() const noexcept {
    return m_pHandles != nullptr;
}
