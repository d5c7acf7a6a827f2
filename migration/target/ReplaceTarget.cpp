#include "migration/target/ReplaceTarget.h"

#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "dbaccess/odbc/RollbackProbe.h"
#include "migration/CountText.h"
#include "migration/RunWatch.h"
#include "migration/target/SessionEnd.h"
#include "migration/target/TableReadBack.h"
#include "migration/target/TargetConnect.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/TargetTables.h"

namespace {

// Whether e ended a wait for a lock: the target's lock timeout, or what the kind adds.
bool IsLockWait(const CDBException& e, const CTargetKind& kind) {
    if (ClassifyTargetFailure(e, kind) == TargetFailureKind::LockOrTimeout) {
        return true;
    }
    for (const CDiagnosticRecord& record : e.Records()) {
        if (kind.EndsLockWait(record)) {
            return true;
        }
    }
    return false;
}

// Another run or program held the tables past the lock timeout: nothing was changed.
[[noreturn]] void ThrowTablesBusy(const CDBException& e) {
    const std::string& driverText = e.GetErrorMessage();
    throw CTargetBusy(
        TrFormat("%1Another run (or another program) holds the target's tables and did not "
                 "let them go within the lock timeout; nothing was changed: the target holds "
                 "what it held before. Start again once it has finished.",
                 {driverText + (driverText.empty() || driverText.back() == '\n' ? "" : "\n")}) +
            "\n",
        e.Records());
}

}  // namespace

CReplaceTarget::CReplaceTarget(CDatabase& database, std::optional<CResolvedTarget> resolved)
    : m_database(database), m_resolved(std::move(resolved)), m_runner(database) {}

CReplaceTarget::CReplaceTarget(CDatabase& database, std::size_t rowsPerStatement,
                               std::optional<CResolvedTarget> resolved)
    : m_database(database),
      m_resolved(std::move(resolved)),
      m_nRowsCap(rowsPerStatement ? rowsPerStatement : 1),
      m_runner(database) {}

CReplaceTarget::~CReplaceTarget() = default;

bool CReplaceTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void CReplaceTarget::Open(const std::string& connect) {
    m_target = TargetToOpen(m_resolved, connect);
    m_copy.reset();
    // Watched as every call on the target is: a silent server is given up, not waited for.
    m_runner.Run([this] { m_kind = &ConnectToTarget(m_database, m_target, m_kindNote); },
                 UnknownOutcome::None);
    // A PostgreSQL target's loading session comes first: it takes the run lock and makes the
    // checks, so that another run waits for the session that loads.
    const bool bCopy = OpenCopySession();
    try {
        if (bCopy) {
            m_lock.Take(m_copy->LockSession(), m_runner.Watch(), *m_kind, m_target,
                        RunMode::Replace);
        } else {
            m_lock.Take(m_database, *m_kind, m_target, RunMode::Replace, m_runner);
        }
    } catch (const CDBException&) {
        m_copy.reset();
        m_database.Close();
        throw;
    }
    // Nothing is emptied in a target that lacks a table or a column the statements name.
    if (bCopy) {
        CheckTargetTables([this](const std::string& statement) { m_copy->Execute(statement); },
                          *m_kind, m_target.connection);
    } else {
        m_runner.Run([this] { CheckTargetTables(m_database, *m_kind, m_target.connection); },
                     UnknownOutcome::None);
    }
    BeginReplacing();
}

void CReplaceTarget::TakeOver(const CResolvedTarget& target, const CTargetKind& kind) {
    m_target = target;
    m_kind = &kind;
    m_copy.reset();
    if (OpenCopySession()) {
        // The caller's session took the run lock before the question; the loading session
        // holds it from here on.
        m_copy->TakeRunLockFrom([this](const std::string& query) {
            std::string answer;
            m_runner.Run([this, &query, &answer] { answer = m_database.QueryValue(query); },
                         UnknownOutcome::None);
            return answer;
        });
        if (const std::shared_ptr<CRunWatch>& watch = m_runner.Watch()) {
            // A call given up leaves two sessions on the server: the loading one, holding the
            // run lock, the tables' locks and the transaction, is ended with the caller's.
            const std::function<bool()> caller = watch->SessionEnder();
            const std::function<bool()> loading =
                SessionEnder(m_target, *m_kind, std::to_string(m_copy->BackendPid()));
            watch->SetSessionEnder([caller, loading] {
                const bool bLoadingEnded = loading();
                return (caller ? caller() : true) && bLoadingEnded;
            });
        }
    }
    BeginReplacing();
}

void CReplaceTarget::BeginReplacing() {
    m_file.Take(TargetFile(m_target));
    m_bUncounted = false;
    m_nRowsPerStatement = m_nRowsCap.value_or(m_kind->RowsPerStatement());
    m_nBytesPerStatement = m_kind->BytesPerStatement();
    m_runner.Run([this] { VerifyTargetCanRollBack(m_database, m_kind->ProbeTables()); },
                 UnknownOutcome::None);
    if (BeginCopying() || BeginBinding()) {
        return;
    }
    m_database.BeginTrans();
    EmptyTables([this](const std::vector<std::string>& statements) {
        m_runner.Run([&database = m_database, statements] { LockAndEmpty(database, statements); },
                     UnknownOutcome::None);
    });
}

void CReplaceTarget::EmptyTables(
    const std::function<void(const std::vector<std::string>&)>& lockAndEmpty) {
    // From here nothing is kept unless the commit completes: a call given up now leaves a
    // transaction to be rolled back with its session.
    if (const std::shared_ptr<CRunWatch>& watch = m_runner.Watch()) {
        watch->SetCommitsAtEnd(true);
    }
    try {
        lockAndEmpty(m_kind->LockAndEmptyStatements());
    } catch (const CRunStopped&) {
        // Nothing was committed: a statement given up leaves the transaction to die with its
        // connection.
        throw CRunStopped();
    } catch (const CDBException& e) {
        if (!IsLockWait(e, *m_kind)) {
            throw;
        }
        ThrowTablesBusy(e);
    }
}

bool CReplaceTarget::OpenCopySession() {
    if (m_kind != &PostgresqlKind()) {
        return false;
    }
    CBulkUnusable whyNot;
    std::unique_ptr<CCopySession> copy;
    m_runner.Run(
        [&] {
            copy = CCopySession::Open(m_kind->AmendConnection(m_target.connection), m_database, 15,
                                      whyNot);
        },
        UnknownOutcome::None);
    if (!copy) {
        if (m_bulkNote) {
            m_bulkNote(whyNot);
        }
        return false;
    }
    m_copy = std::move(copy);
    m_copy->SetWatch(m_runner.Watch());
    return true;
}

bool CReplaceTarget::BeginCopying() {
    if (!m_copy) {
        return false;
    }
    EmptyTables([this](const std::vector<std::string>& statements) { m_copy->Begin(statements); });
    return true;
}

bool CReplaceTarget::BeginBinding() {
    m_sqlite.reset();
    // A cap on the rows per statement asks for statements.
    if (m_kind != &SqliteKind() || m_nRowsCap) {
        return false;
    }
    CBulkUnusable whyNot;
    std::unique_ptr<CSqliteLoad> load;
    if (const std::string file = TargetFile(m_target); file.empty()) {
        whyNot.path = "bound";
        whyNot.reason = CBulkUnusable::Reason::File;
        whyNot.why = Tr("the connection names no SQLite file that the program can find");
    } else {
        load =
            CSqliteLoad::Open(file, m_kind->AmendConnection(m_target.connection), m_file, whyNot);
    }
    if (!load) {
        if (m_bulkNote) {
            m_bulkNote(whyNot);
        }
        return false;
    }
    m_sqlite = std::move(load);
    m_sqlite->SetWatch(m_runner.Watch());
    EmptyTables(
        [this](const std::vector<std::string>& statements) { m_sqlite->Begin(statements); });
    return true;
}

void CReplaceTarget::LockAndEmpty(CDatabase& database, const std::vector<std::string>& statements) {
    // Two runs at once must not both delete and then both insert: the kind's statements make
    // the eight tables the transaction's alone until its end, and a second run waits for them
    // (at most the lock timeout) and then replaces what the first one committed. Readers still
    // read the old contents meanwhile where the target allows it.
    for (const std::string& statement : statements) {
        database.ExecuteSQL(statement);
    }
}

std::string CReplaceTarget::Describe() const {
    return m_target.description;
}

void CReplaceTarget::InsertRow(const CInsertItemList& row) {
    if (m_copy) {
        m_copy->AddRow(row);
        return;
    }
    if (m_sqlite) {
        m_sqlite->AddRow(row);
        return;
    }
    if (m_strHead.empty() || row.m_strTable != m_strTable) {
        // The first row of a table: its columns are every later row's.
        Flush();
        m_strTable = row.m_strTable;
        m_strHead = row.BuildHead();
        m_nSent = 0;
    }
    // "insert into T(cols) values (v1,v2),(v3,v4)": the head ends with the first row's "(".
    if (m_nPending == 0) {
        m_strPending = m_strHead;
    } else {
        m_strPending += ",(";
    }
    row.AppendValues(m_strPending);
    ++m_nPending;
    if (m_nPending >= m_nRowsPerStatement || m_strPending.size() >= m_nBytesPerStatement) {
        Flush();
    }
}

void CReplaceTarget::Flush() {
    if (m_nPending == 0) {
        return;
    }
    AwaitSent();
    const std::size_t first = m_nSent + 1;
    const std::size_t last = m_nSent + m_nPending;
    std::string rows = m_strTable + (first == last ? " row " + std::to_string(first)
                                                   : " rows " + std::to_string(first) + " to " +
                                                         std::to_string(last));
    // Nothing is committed before CommitRun: a statement given up leaves nothing unknown.
    m_runner.Start(
        [this, &rows, first, last] {
            Send(m_database, m_strPending, rows, m_strTable, first, last, m_bUncounted);
        },
        UnknownOutcome::None);
    m_strPending.clear();
    m_nPending = 0;
    m_nSent = last;
}

void CReplaceTarget::SendAll() {
    Flush();
    AwaitSent();
}

void CReplaceTarget::AwaitSent() {
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
    try {
        m_runner.Await();
    } catch (const CRunStopped&) {
        // Not kept: a stop is the run's end. Nothing was committed, whatever the statement
        // given up did.
        throw CRunStopped();
    } catch (...) {
        m_failure = std::current_exception();
        throw;
    }
}

void CReplaceTarget::Send(CDatabase& database, const std::string& statement,
                          const std::string& rows, const std::string& table, std::size_t first,
                          std::size_t last, bool& uncounted) {
    long stored = 0;
    try {
        stored = database.ExecuteSQL(statement);
    } catch (const CDBException& e) {
        throw CDBException(TrFormat("The target refused %1: %2", {rows, e.GetErrorMessage()}),
                           e.Records());
    }
    const std::size_t sent = last - first + 1;
    if (stored < 0) {
        // Not counted: the counts read back after the run are the check.
        uncounted = true;
    } else if (static_cast<std::size_t>(stored) < sent) {
        throw CDBException(
            (first == last
                 ? TrFormat("The target accepted row %1 of %2 without storing it: a trigger or a "
                            "rule on the table discarded it.",
                            {GroupThousands(first), table})
                 : TrFormat("The target accepted rows %1 to %2 of %3 but stored only %4 of them: "
                            "a trigger or a rule on the table discarded the others.",
                            {GroupThousands(first), GroupThousands(last), table,
                             GroupThousands(static_cast<std::size_t>(stored))})) +
            "\n");
    }
}

std::optional<std::size_t> CReplaceTarget::CountRows(const std::string& table) {
    // Inside the transaction only its own session sees the tables as the run left them.
    if (m_copy && !m_copy->Committed()) {
        return m_copy->CountRows(table);
    }
    if (m_sqlite) {
        // As the driver's count: a count that fails is none.
        try {
            return m_sqlite->CountRows(table);
        } catch (const CRunStopped&) {
            throw;
        } catch (const CDBException&) {
            return std::nullopt;
        }
    }
    std::optional<std::size_t> rows;
    m_runner.Run([this, &table, &rows] { rows = CountTableRows(m_database, table); },
                 UnknownOutcome::None);
    return rows;
}

std::vector<bool> CReplaceTarget::ReadBackPadding(const std::string& table,
                                                  const std::vector<std::string>& columns) {
    // Before the first row, inside the run's transaction: the description reads no row.
    if (m_sqlite) {
        return m_sqlite->ReadBackPadding(table, columns);
    }
    AwaitSent();
    return ::ReadBackPadding(m_database, m_runner, *m_kind, table, columns);
}

std::unique_ptr<ITableReader> CReplaceTarget::ReadBack(const std::string& table,
                                                       const std::vector<std::string>& columns) {
    // After CommitRun: every statement was sent and the transaction is over.
    AwaitSent();
    return ReadTargetTableBack(m_database, m_runner, *m_kind, m_target, m_file, table, columns);
}

void CReplaceTarget::EndTable() {
    if (m_copy) {
        m_copy->EndTable();
        return;
    }
    if (m_sqlite) {
        m_sqlite->EndTable();
        return;
    }
    SendAll();
    m_strTable.clear();
    m_strHead.clear();
    m_nSent = 0;
}

void CReplaceTarget::CommitRun() {
    if (m_copy) {
        m_copy->Commit();
        return;
    }
    if (m_sqlite) {
        m_sqlite->EndTable();
        // Not committed into a file that is no longer the target: closing rolls it back.
        m_file.Verify();
        m_sqlite->Commit();
        return;
    }
    SendAll();
    // Not committed into a file that is no longer the target: closing rolls it back.
    m_file.Verify();
    try {
        m_runner.Run([&database = m_database] { database.CommitTrans(); }, UnknownOutcome::Commit);
    } catch (const CRunStopped& stop) {
        throw CRunStopped(stop.Unknown() == UnknownOutcome::None ? UnknownOutcome::None
                                                                 : UnknownOutcome::Commit);
    } catch (const CDBException& e) {
        // The commit was sent and its answer lost: the server may have applied it.
        if (ClassifyTargetFailure(e, *m_kind) == TargetFailureKind::Connection) {
            throw CConnectionLost(e, UnknownOutcome::Commit);
        }
        throw;
    }
}

void CReplaceTarget::Close() noexcept {
    try {
        // A failure kept from the last statement is the run's, already reported.
        m_runner.Await();
    } catch (...) {
        // Its failure is the run's, already reported, or the run's end.
    }
    m_failure = nullptr;
    m_nPending = 0;
    m_strPending.clear();
    m_strTable.clear();
    m_strHead.clear();
    m_nSent = 0;
    if (m_copy) {
        m_copy->Close();  // rolls back what was not committed
    }
    if (m_sqlite) {
        m_sqlite->Close();  // rolls back what was not committed
    }
    m_database.Close();  // rolls back what was not committed
    m_lock.Release();
}
