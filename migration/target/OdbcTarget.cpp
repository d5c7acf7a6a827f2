#include "migration/target/OdbcTarget.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/TargetConnect.h"
#include "migration/target/TargetFailure.h"

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
}

void COdbcTarget::RunWatched(const std::function<void()>& work) {
    m_runner.Run(work, UnknownOutcome::None);
}

std::string COdbcTarget::Describe() const {
    return m_target.description;
}

void COdbcTarget::InsertRow(const CInsertItemList& row) {
    const std::string& statement = m_statements.Build(row);
    try {
        m_runner.Run([this, &statement] { m_database.ExecuteSQL(statement); });
    } catch (const CDBException& e) {
        const CDBException explained(
            ExplainStatementFailure(e, row.m_strTable, m_target.connection, *m_kind), e.Records());
        if (ClassifyTargetFailure(e, *m_kind) == TargetFailureKind::Connection) {
            throw CConnectionLost(explained, UnknownOutcome::Row);
        }
        throw explained;
    }
}

void COdbcTarget::EndTable() {
    m_statements.Reset();
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
    m_lock.Release();
}
