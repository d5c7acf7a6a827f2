#include "migration/target/OdbcTarget.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/CountText.h"
#include "migration/target/TableReadBack.h"
#include "migration/target/TargetConnect.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetTables.h"

bool COdbcTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void COdbcTarget::Open(const std::string& connect) {
    m_target = TargetToOpen(m_resolved, connect);
    m_statements.Reset();
    // A stop while the connect waits on a silent server gives it up, as a statement.
    m_runner.Run([this] { m_kind = &ConnectToTarget(m_database, m_target, m_kindNote); },
                 UnknownOutcome::None);
    try {
        m_lock.Take(m_database, *m_kind, m_target, m_mode, m_runner);
    } catch (const CDBException&) {
        m_database.Close();
        throw;
    }
    m_file.Take(TargetFile(m_target));
    m_nRow = 0;
    m_bUncounted = false;
    // Nothing is sent to a target that lacks a table or a column the statements name.
    m_runner.Run([this] { CheckTargetTables(m_database, *m_kind, m_target.connection); },
                 UnknownOutcome::None);
}

void COdbcTarget::RunWatched(const std::function<void()>& work) {
    m_runner.Run(work, UnknownOutcome::None);
}

std::string COdbcTarget::Describe() const {
    return m_target.description;
}

void COdbcTarget::InsertRow(const CInsertItemList& row) {
    const std::string& statement = m_statements.Build(row);
    long rows = 0;
    try {
        m_runner.Run([this, &statement, &rows] { rows = m_database.ExecuteSQL(statement); });
    } catch (const CDBException& e) {
        const CDBException explained(
            ExplainStatementFailure(e, row.m_strTable, m_target.connection, *m_kind), e.Records());
        if (ClassifyTargetFailure(e, *m_kind) == TargetFailureKind::Connection) {
            throw CConnectionLost(explained, UnknownOutcome::Row);
        }
        throw explained;
    }
    ++m_nRow;
    if (rows < 1) {
        if (rows < 0) {
            // Not counted: the counts read back after the run are the check.
            m_bUncounted = true;
            return;
        }
        throw CDBException(TrFormat("The target accepted row %1 of %2 without storing it: a "
                                    "trigger or a rule on the table discarded it.",
                                    {GroupThousands(m_nRow), row.m_strTable}) +
                           "\n");
    }
}

std::optional<std::size_t> COdbcTarget::CountRows(const std::string& table) {
    std::optional<std::size_t> rows;
    m_runner.Run([this, &table, &rows] { rows = CountTableRows(m_database, table); },
                 UnknownOutcome::None);
    return rows;
}

std::vector<bool> COdbcTarget::ReadBackPadding(const std::string& table,
                                               const std::vector<std::string>& columns) {
    return ::ReadBackPadding(m_database, m_runner, *m_kind, table, columns);
}

std::unique_ptr<ITableReader> COdbcTarget::ReadBack(const std::string& table,
                                                    const std::vector<std::string>& columns) {
    return ReadTargetTableBack(m_database, m_runner, *m_kind, m_target, m_file, table, columns);
}

void COdbcTarget::EndTable() {
    m_statements.Reset();
    m_nRow = 0;
}

void COdbcTarget::CommitRun() {
    m_file.Verify();
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
    m_lock.Release();
}
