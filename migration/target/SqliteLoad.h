#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/target/BulkUnusable.h"

class CInsertItemList;
class CRunWatch;
class CTargetFileIdentity;
struct sqlite3;
struct sqlite3_stmt;

// A connection of the SQLite library itself to a replacing run's SQLite target file, beside the
// run's sqlite3odbc connection, through which the run loads its rows with one prepared insert
// per table and bound values instead of multi-row literal inserts: SQLite then parses one
// statement per table instead of one per few hundred rows, and nothing goes through the driver.
//
// The connection is the driver's twin: the same file (checked to be the one the driver opened,
// never through a symbolic link), the same lock wait (the driver's Timeout=, which it waits for
// twice before it gives up), the same synchronous setting (SyncPragma=, NORMAL when none is
// given), journal mode (JournalMode=, when given) and foreign-key enforcement (FKSupport=), read
// from the connection string and else from its data source as the driver reads them. A string
// that loads extensions (LoadExt=) or gives a password (PWD=) is not mirrored.
//
// Every value is bound as its literal in the row's statement would be stored: text and
// date-times as text (the rendered bytes), integers as 64-bit integers, NULL as NULL. SQLite
// applies the column's affinity to a bound value exactly as to a literal of the same type, so
// each cell gets the same storage class and value as through the statements.
//
// The whole load (the write lock taken at once with BEGIN IMMEDIATE, the tables' deletes, the
// inserts, the counts inside the transaction, the commit) is one transaction of this
// connection; the driver's connection, idle meanwhile, holds no transaction and no lock that
// could block it. Closing before Commit rolls back; a killed process leaves the file to SQLite's
// own recovery, which discards the transaction.
class CSqliteLoad {
public:
    ~CSqliteLoad();
    CSqliteLoad(const CSqliteLoad&) = delete;
    CSqliteLoad& operator=(const CSqliteLoad&) = delete;

    // Opens file, the target's file as file identity took it, for connect (the ODBC connection
    // string as amended for the driver). Returns null and sets whyNot when the file is not a
    // regular file that identity took, when connect asks for what this connection cannot
    // mirror, or when SQLite cannot open the file. Throws CDBException when the file was moved
    // or replaced since the driver opened it (CTargetFileIdentity::Verify).
    static std::unique_ptr<CSqliteLoad> Open(const std::string& file, const std::string& connect,
                                             const CTargetFileIdentity& identity,
                                             CBulkUnusable& whyNot);

    // Marks every call that may wait for a lock for watch: a stop (or the watcher's deadline)
    // ends the wait. A stop asked for while a row waits for a lock ends that wait too.
    void SetWatch(std::shared_ptr<CRunWatch> watch) { m_watch = std::move(watch); }

    // BEGIN IMMEDIATE, then statements (the tables' deletes), each watched. Throws
    // CDBException; SQLite's busy result code (5) when the lock wait ran out.
    void Begin(const std::vector<std::string>& statements);
    // Inserts row into its table, preparing the table's insert with its first row. A row SQLite
    // refuses throws CDBException naming the table and the row ("The target refused T row N:
    // …"); one a trigger discarded (RAISE(IGNORE)) names it too. After a failure every later
    // call throws it again.
    void AddRow(const CInsertItemList& row);
    // Ends the table's insert.
    void EndTable();
    // Commits; throws CDBException when SQLite does not (the transaction is then rolled back by
    // Close).
    void Commit();
    bool Committed() const noexcept { return m_bCommitted; }
    // "select count(*) from table": inside the transaction until Commit, after it the file's.
    std::size_t CountRows(const std::string& table);
    // Checks that columns of table can be selected (the description the verification asks for
    // before the first row); SQLite pads no value, so none is padded.
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns);
    // Rolls back what was not committed and closes the connection. Never throws.
    void Close() noexcept;

private:
    explicit CSqliteLoad(sqlite3* db, const std::string& file);
    static int OnBusy(void* self, int count);
    // Runs work as a watched call (WatchedCall.h); one given up closes the connection. Nothing
    // of the file's transaction applies before its commit has returned, so a cancelled call
    // is a stop that changed nothing.
    void Watched(const std::function<void()>& work, UnknownOutcome ifGivenUp);
    // Executes statement; throws CDBException.
    void Execute(const std::string& statement);
    // The connection's last failure as the driver reports one: SQLite's text and its result
    // code, the code as the record's native code; with rows ("T row N"), as a refusal of them.
    CDBException Failure(const std::string& rows) const;
    // A stop asked for while a row waited for a lock: the row did not go in.
    void ThrowIfStopped() const;
    void FinishStatement() noexcept;

    sqlite3* m_db = nullptr;
    std::string m_strFile;
    std::shared_ptr<CRunWatch> m_watch;
    std::function<void()> m_cancel;      // ends the call in flight, from the watcher's thread
    std::atomic<bool> m_bCancel{false};  // set by m_cancel: the busy wait gives up
    std::function<void()> m_abandon{[this] { Close(); }};  // for a call given up
    std::chrono::milliseconds m_busyWait{0};
    std::chrono::steady_clock::time_point m_busySince;

    sqlite3_stmt* m_pInsert = nullptr;  // the table's insert, prepared with its first row
    std::string m_strTable;             // its table; empty when none is prepared
    std::size_t m_nRows = 0;            // rows of the table added
    std::exception_ptr m_failure;       // kept until Close
    bool m_bCommitted = false;
};
