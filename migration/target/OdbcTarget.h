#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/statement/StatementBuilder.h"
#include "migration/target/RunLock.h"
#include "migration/target/StatementRunner.h"
#include "migration/target/TargetConnect.h"
#include "migration/target/TargetFileIdentity.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

class CDatabase;

// The target as the run sees it, over an ODBC connection owned elsewhere: one statement per
// row, each committed at once. Opening never shows a driver dialog. It connects to the target
// resolved at the run's start when one is given, otherwise it resolves the connection string
// once per Open (see TargetResolution.h); the per-user file is created when absent. A failed
// connection names the target it tried; a row that fails because the table is missing or the SQLite
// file is locked throws CDBException whose text names the target and what to do; a row whose
// connection broke while it was sent throws CConnectionLost (it may or may not be in). Right
// after the connect, before anything is sent, the eight tables and their columns are checked
// (TargetTables.h). Every row must be counted by the target as inserted: one it acknowledges
// but does not count fails the run; a driver that counts nothing is noted (RowsUncounted).
//
// Each statement is marked for the run's watcher (StatementRunner.h), so that a stop is taken
// even while a statement blocks. The run holds the target's run lock (RunLock.h) from Open to
// Close: Open throws CDBException when another run holds it past the lock timeout.
class COdbcTarget final : public ITargetDatabase {
public:
    explicit COdbcTarget(CDatabase& database, std::optional<CResolvedTarget> resolved = {})
        : m_database(database), m_resolved(std::move(resolved)), m_runner(database) {}

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    void SetWatch(std::shared_ptr<CRunWatch> watch) override {
        m_runner.SetWatch(std::move(watch));
    }
    std::string Describe() const override;
    // What the last Open resolved and connected to, and the kind it found there.
    const CResolvedTarget& Target() const noexcept { return m_target; }
    const CTargetKind& Kind() const noexcept { return *m_kind; }
    // Told at Open when the driver and the server disagree about the target's kind.
    void SetKindNote(KindNote note) { m_kindNote = std::move(note); }
    // A row the target acknowledges without counting it as inserted (a trigger or a rule that
    // discarded it) throws CDBException naming the table and the row.
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override;
    // Every row is committed already; the SQLite file they went to must still be the target's.
    void CommitRun() override;
    std::optional<std::size_t> CountRows(const std::string& table) override;
    bool RowsUncounted() const override { return m_bUncounted; }
    // Verification, on the run's connection (TableReadBack.h): the reader uses this target's
    // connection and must go before the target is closed.
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns) override;
    std::unique_ptr<ITableReader> ReadBack(const std::string& table,
                                           const std::vector<std::string>& columns) override;
    // Runs a call of the caller's on the connection, watched as a statement is (a stop
    // cancels it and gives it up); nothing is unknown when it is given up.
    void RunWatched(const std::function<void()>& work);
    void Close() noexcept override;
    // What the run lock (RunLock.h) tells other runs this one does; Append unless told.
    void SetRunMode(RunMode mode) { m_mode = mode; }

private:
    CDatabase& m_database;
    std::optional<CResolvedTarget> m_resolved;  // as given
    CResolvedTarget m_target;                   // what the last Open resolved and connected with
    const CTargetKind* m_kind = &OdbcKind();    // what the last Open found
    KindNote m_kindNote;
    CTargetFileIdentity m_file;  // a SQLite target's file, as connected to
    CStatementBuilder m_statements;
    CStatementRunner m_runner;
    std::size_t m_nRow = 0;     // the rows of the current table acknowledged
    bool m_bUncounted = false;  // a statement was answered without a row count
    RunMode m_mode = RunMode::Append;
    CRunLock m_lock;  // from Open to Close
};
