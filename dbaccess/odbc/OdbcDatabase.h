#pragma once

#include <functional>
#include <memory>
#include <string>

struct COdbcHandles;

// CDatabase::OpenEx option: never show the driver's connection dialog.
constexpr unsigned noOdbcDialog = 8;

// A connection to the target database through the ODBC driver manager (unixODBC).
// Autocommit is on, so every executed statement is committed at once, until BeginTrans
// starts a transaction; CommitTrans or Rollback ends it and turns autocommit on again.
class CDatabase {
public:
    CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;
    ~CDatabase();  // closes the connection if it is open; never throws

    // Connects with SQLDriverConnect and SQL_DRIVER_NOPROMPT. Refuses a driver that cannot
    // execute statements. Throws CDBException with the driver's diagnostics; on failure the
    // connection is freed. Called on an open connection, it is refused: the connection is
    // closed and CDBException thrown. Returns true when connected.
    bool OpenEx(const std::string& connect, unsigned options = 0);

    // Executes one statement with SQLExecDirect and drains its result sets. Returns the rows
    // the statement itself inserted, updated or deleted as the driver counts them
    // (SQLRowCount of its first result; 0 when the driver answered SQL_NO_DATA), or -1 when
    // the driver does not count them (a driver without counts, SQL Server under NOCOUNT).
    // Rows written by the statement's triggers are not the statement's own on SQLite and
    // PostgreSQL. Throws CDBException on failure; the connection stays open and earlier
    // statements stay committed.
    long ExecuteSQL(const std::string& statement);

    // Executes one query and returns the first column of its first row as text ("" when it
    // has no row or the value is NULL). Throws CDBException as ExecuteSQL does.
    std::string QueryValue(const std::string& query);

    // Whether the driver says it can run transactions (SQL_TXN_CAPABLE is not SQL_TC_NONE).
    // A driver that cannot answer cannot.
    bool CanTransact() const;

    // Turns autocommit off: the statements from here on form one transaction that
    // CommitTrans keeps and Rollback undoes. Throws CDBException when the driver refuses.
    void BeginTrans();
    // Ends the transaction with SQLEndTran and turns autocommit on again. Throw
    // CDBException when the driver reports a failure; a failed commit leaves nothing
    // committed on a server that rolls back on failure.
    void CommitTrans();
    void Rollback();
    bool InTransaction() const noexcept;

    // The server's product name as the driver gives it (SQL_DBMS_NAME, e.g. SQLite,
    // PostgreSQL, Microsoft SQL Server); "" when the connection is closed or the driver
    // does not say.
    std::string GetDbmsName() const noexcept;

    // Asks the driver to cancel the statement (or commit) that another thread is executing on
    // this connection (SQLCancel), and returns at once: the cancel runs on a thread of its own,
    // since a driver may block in it as long as in the statement (psqlODBC opens a new
    // connection to send it). Safe from any thread; does nothing when nothing is executing.
    // The statement then fails (it was cancelled) or completes as if nothing was asked.
    void CancelStatement() noexcept;

    // Gives up a connection whose statement does not return: the thread blocked in it keeps
    // its handles, which are never freed or reused, and this object is closed and may open a
    // new connection. The server ends the old session when its socket closes.
    void Abandon() noexcept;

    // Disconnects and frees the connection; it can be opened again. An open transaction is
    // rolled back first. Never throws.
    void Close() noexcept;
    bool IsOpen() const noexcept;

    void SetLoginTimeout(unsigned seconds) noexcept { m_dwLoginTimeout = seconds; }
    void SetQueryTimeout(unsigned seconds) noexcept { m_dwQueryTimeout = seconds; }

private:
    // Reads query results in blocks on a statement of the connection's own (Handles::cursor).
    friend class COdbcResultReader;

    struct Handles;
    // The statement handle being executed, for CancelStatement on another thread. Shared with
    // the cancel's thread, which may outlive this object.
    struct InFlight;
    // Marks stmt as the statement CancelStatement cancels, for as long as it lives.
    class CExecuting;

    // For COdbcResultReader: the connection's reading statement (an SQLHSTMT), allocated on
    // first use and freed with the connection; diagnostics is set to the handles whose records
    // describe its failures. Throws CDBException when the connection is not open.
    void* ReaderStatement(COdbcHandles& diagnostics);
    // Frees the reading statement, if any, and its bindings with it. Never throws.
    void FreeReaderStatement() noexcept;
    // Runs call with the reading statement marked as the one CancelStatement cancels.
    void RunReader(const std::function<void()>& call);
    // Runs statement on the statement handle of handles, allocating it when there is none.
    // Returns the statement's row count as ExecuteSQL does.
    static long Execute(Handles& handles, const std::string& statement, unsigned queryTimeout,
                        InFlight& inFlight);
    void EndTrans(short completion, const char* what);
    Handles& OpenHandles() const;

    std::unique_ptr<Handles> m_pHandles;
    std::shared_ptr<InFlight> m_pInFlight;
    bool m_bReading = false;  // a COdbcResultReader exists on this connection
    unsigned m_dwLoginTimeout = 15;
    unsigned m_dwQueryTimeout = 15;
};
