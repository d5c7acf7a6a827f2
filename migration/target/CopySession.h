#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/target/BulkUnusable.h"
#include "migration/target/RunLock.h"

class CDatabase;
class CInsertItemList;
class CRunWatch;
struct pg_conn;

// A PostgreSQL session of libpq beside a replacing run's psqlODBC session, through which the
// run loads its rows with COPY … FROM STDIN instead of multi-row inserts: the server then
// reads each value with its column type's input function, as it reads an untyped literal,
// without parsing and planning a statement per few hundred rows.
//
// The session is the ODBC session's twin: made from the same connection string (or data
// source) with the same server, port, database, user, password, SSL mode, start-up options
// (pqopt: standard quoting, keepalives), client_encoding UTF8 (the driver's Unicode library
// asks for it; libpq's default would be the database's) and the driver's ConnSettings run
// after connecting. Before anything is changed, both sessions are asked who and where they
// are; the load goes through COPY only when the answers agree.
//
// This session is the run's on the server: it holds the run lock (RunLock.h) from before the
// checks until it closes, so that another run waits for the session that loads, and the whole
// load (the tables' lock, their deletes, one COPY per table, the commit) is one transaction of
// it. The ODBC session, outside that transaction, reads the target back after the commit,
// while the lock is still held. Closing before Commit ends the session: the server rolls the
// transaction back and lets the run lock go.
class CCopySession {
public:
    ~CCopySession();
    CCopySession(const CCopySession&) = delete;
    CCopySession& operator=(const CCopySession&) = delete;

    // Connects for connect (the ODBC connection string, as amended for the driver) and
    // compares the new session with odbc's. Returns null and sets whyNot when the string holds
    // an attribute whose meaning libpq cannot be given, when libpq cannot connect, or when the
    // sessions differ. Throws CDBException only for a failure of odbc's own query.
    static std::unique_ptr<CCopySession> Open(const std::string& connect, CDatabase& odbc,
                                              unsigned loginTimeout, CBulkUnusable& whyNot);

    // Marks every blocking call for watch, cancelling through libpq's cancel request.
    void SetWatch(std::shared_ptr<CRunWatch> watch) { m_watch = std::move(watch); }

    // The session as CRunLock takes the lock on it: its Execute and QueryValue.
    CRunLockSession LockSession();
    // Moves the run lock from the ODBC session odbcQuery runs on (the dialog's, which took it
    // before asking) to this one, with no moment in which neither holds it: this session asks
    // for the lock and waits, and once the server shows it waiting, the ODBC session lets the
    // lock go; the server grants it to the waiter as it releases it, before any other
    // session's try. This session takes the ODBC session's application_name, which another
    // run's refusal shows. Throws CDBException.
    void TakeRunLockFrom(const std::function<std::string(const std::string&)>& odbcQuery);
    // Executes statement, watched; throws CDBException with the server's SQLSTATE.
    void Execute(const std::string& statement);
    // The first value of query's first row ("" when it has none), watched; throws CDBException.
    std::string QueryValue(const std::string& query);
    // "begin", then statements, each watched. Throws CDBException.
    void Begin(const std::vector<std::string>& statements);
    // Appends row to its table's COPY, starting it with the table's first row; sends the rows
    // in blocks of a few hundred kilobytes. Throws CDBException.
    void AddRow(const CInsertItemList& row);
    // Ends the table's COPY and checks that the server stored every row: a refused value is
    // reported naming the table and the row the server's context line gives.
    void EndTable();
    // Commits; a lost answer is CConnectionLost with the commit unknown.
    void Commit();
    bool Committed() const noexcept { return m_bCommitted; }
    // The session's process id on the server, for ending it from another connection.
    int BackendPid() const noexcept;
    // "select count(*) from table" in the transaction.
    std::size_t CountRows(const std::string& table);
    // Ends the session without waiting for anything; what was not committed is rolled back.
    void Close() noexcept;

private:
    explicit CCopySession(pg_conn* connection);
    // Runs work as a watched call (WatchedCall.h), as the ODBC calls are; one given up closes
    // the session.
    void Watched(const std::function<void()>& work, UnknownOutcome ifGivenUp);
    void SendBuffer();
    // The failure of the last call as the ODBC layer reports one.
    [[noreturn]] void ThrowFailure(const std::string& what, struct pg_result* result);

    pg_conn* m_pConnection = nullptr;
    struct Cancel;
    std::shared_ptr<Cancel> m_pCancel;
    std::function<void()> m_cancel;
    std::function<void()> m_abandon{[this] { Close(); }};
    std::shared_ptr<CRunWatch> m_watch;

    std::string m_strTable;  // the table whose COPY is open; empty when none is
    std::string m_strBuffer;
    std::size_t m_nRows = 0;  // rows of the table added
    bool m_bCommitted = false;
};

// The value in COPY's text format as the literal of a statement would store it: NULL as \N,
// any other text with backslash, tab, line feed and carriage return escaped.
void AppendCopyValue(std::string& out, const std::string& value, int kind);
