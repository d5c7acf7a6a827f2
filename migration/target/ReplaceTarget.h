#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/target/CopySession.h"
#include "migration/target/RunLock.h"
#include "migration/target/SqliteLoad.h"
#include "migration/target/StatementRunner.h"
#include "migration/target/TargetConnect.h"
#include "migration/target/TargetFileIdentity.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

class CDatabase;

// The target of a replacing run: the whole run is one transaction. Opening connects, makes
// sure the target really rolls back, begins the transaction and empties the eight catalogue
// tables; CommitRun makes the new contents visible at once. Closing before CommitRun rolls
// back, so a failure, a stop or a lost connection leaves the target exactly as it was (a
// killed process is left to the database's own recovery, which discards the transaction).
// Only a commit whose answer is lost leaves it unknown: CConnectionLost, or CRunStopped for a
// stop that gave up waiting for it.
//
// Into PostgreSQL the rows go by COPY through libpq (CopySession.h), into a SQLite file through
// a connection of the SQLite library with one prepared insert per table (SqliteLoad.h); either
// falls back to the statements below, with a note saying why, when it cannot mirror the ODBC
// connection. A SQLite row the file refuses names its table and row.
//
// The rows are sent several to a statement, "insert into T(cols) values (...),(...)", with
// every value the same literal as in the row's own statement. A statement that fails names
// the table and the rows it held, as does one the target counts fewer rows inserted for than
// it held (a trigger or a rule discarded some). Right after the connect, before the tables
// are emptied, the eight tables and their columns are checked (TargetTables.h).
//
// Open takes the target's run lock (RunLock.h) before anything else, as every run does, and
// holds it until Close; into PostgreSQL through COPY, the loading session takes it and makes
// the checks (CopySession.h).
//
// Each statement is marked for the run's watcher (StatementRunner.h), so that a stop is taken
// while one blocks. A statement that fails is reported by the caller's next call (InsertRow,
// EndTable, CommitRun), and nothing is sent after it.
class CReplaceTarget final : public ITargetDatabase {
public:
    // resolved: the target resolved at the run's start; without it, Open resolves its
    // connection string as the per-row target does. The rows per statement and the bytes after
    // which a statement ends are the target kind's; rowsPerStatement, when given, is the rows
    // per statement instead, and the rows then go in as those statements whatever the kind.
    explicit CReplaceTarget(CDatabase& database, std::optional<CResolvedTarget> resolved = {});
    CReplaceTarget(CDatabase& database, std::size_t rowsPerStatement,
                   std::optional<CResolvedTarget> resolved = {});
    // Waits for a statement in flight; the connection is the owner's to close.
    ~CReplaceTarget() override;

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    void SetWatch(std::shared_ptr<CRunWatch> watch) override {
        m_runner.SetWatch(std::move(watch));
    }
    // Opens on the connection the caller made to target, a target of that kind, as Open does
    // after connecting: the rollback probe, the transaction, the tables' lock and their
    // emptying. Throws CDBException as Open does; the connection stays open.
    void TakeOver(const CResolvedTarget& target, const CTargetKind& kind);
    // Told at Open when the driver and the server disagree about the target's kind.
    void SetKindNote(KindNote note) { m_kindNote = std::move(note); }
    // Told at Open when a PostgreSQL or SQLite target keeps the insert path: the path it did
    // not take (why.path, "copy" or "bound" as BulkPath says them) and why.
    void SetBulkNote(std::function<void(const CBulkUnusable& why)> note) {
        m_bulkNote = std::move(note);
    }
    // How the rows went in once opened: "copy" (PostgreSQL's COPY through libpq), "bound" (a
    // SQLite file's prepared inserts with bound values, through the SQLite library) or
    // "insert" (multi-row inserts over ODBC).
    std::string BulkPath() const { return m_copy ? "copy" : m_sqlite ? "bound" : "insert"; }
    // The target it connected to, as the per-row target describes it.
    std::string Describe() const override;
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override;
    void CommitRun() override;
    bool CommitsAtEnd() const override { return true; }
    std::optional<std::size_t> CountRows(const std::string& table) override;
    bool RowsUncounted() const override { return m_bUncounted; }
    // Verification, on the run's connection (TableReadBack.h): the reader uses this target's
    // connection and must go before the target is closed.
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns) override;
    std::unique_ptr<ITableReader> ReadBack(const std::string& table,
                                           const std::vector<std::string>& columns) override;
    void Close() noexcept override;

private:
    // Open's work once connected.
    void BeginReplacing();
    // For a PostgreSQL target: opens the COPY session (CopySession.h). False, the bulk note
    // told, when the target keeps the insert path.
    bool OpenCopySession();
    // With the COPY session open: begins its transaction, and takes and empties the tables
    // there. False, with the ODBC session untouched, when the target keeps the insert path.
    bool BeginCopying();
    // For a SQLite target file: opens the SQLite library's connection to it, its transaction,
    // and empties the tables there. False, with the ODBC connection untouched, when the target
    // keeps the insert path.
    bool BeginBinding();
    // With the run's transaction begun: runs lockAndEmpty with the kind's statements that take
    // the eight tables and delete their rows, as a transaction that commits at its end. Another
    // run's hold on a table past the lock timeout is reported as busy.
    void EmptyTables(const std::function<void(const std::vector<std::string>&)>& lockAndEmpty);
    // Hands the collected statement to the worker once the one before it is done.
    void Flush();
    // Waits until no statement is in flight; throws the failure of the last one.
    void AwaitSent();
    // Sends what is held back and waits for it: the connection is then the caller's.
    void SendAll();
    // Takes the eight tables for the transaction and deletes their rows.
    static void LockAndEmpty(CDatabase& database, const std::vector<std::string>& statements);
    // Sends statement, which holds rows first to last of the table; uncounted is set when the
    // target does not count them.
    static void Send(CDatabase& database, const std::string& statement, const std::string& rows,
                     const std::string& table, std::size_t first, std::size_t last,
                     bool& uncounted);

    CDatabase& m_database;
    std::size_t m_nRowsPerStatement = 1;        // the cap given, or the kind's
    std::optional<CResolvedTarget> m_resolved;  // as given
    CResolvedTarget m_target;                   // what Open connected to
    std::string m_strTable;                     // the table of the rows held back
    std::string m_strHead;                      // "insert into T(cols) values (" of those rows
    std::string m_strPending;                   // the statement being collected
    std::size_t m_nPending = 0;                 // rows in it
    std::size_t m_nSent = 0;                    // rows of the table sent before it

    std::optional<std::size_t> m_nRowsCap;    // as given
    const CTargetKind* m_kind = &OdbcKind();  // what Open found there
    std::size_t m_nBytesPerStatement = 1;     // the kind's
    KindNote m_kindNote;
    CTargetFileIdentity m_file;  // a SQLite target's file, as connected to

    bool m_bUncounted = false;     // a statement was answered without a row count
    std::exception_ptr m_failure;  // kept until Close: every later call throws it again
    CStatementRunner m_runner;
    CRunLock m_lock;  // from Open to Close; not TakeOver's, whose caller holds it
    std::unique_ptr<CCopySession> m_copy;   // the rows' session when they go in by COPY
    std::unique_ptr<CSqliteLoad> m_sqlite;  // the rows' connection when they go in bound
    std::function<void(const CBulkUnusable&)> m_bulkNote;
};
