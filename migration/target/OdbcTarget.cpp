#include "migration/target/OdbcTarget.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetResolution.h"

bool COdbcTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void COdbcTarget::Open(const std::string& connect) {
    m_strConnect = ResolveTargetConnection(connect);
    m_statements.Reset();
    try {
        m_database.OpenEx(m_strConnect, noOdbcDialog);
    } catch (const CDBException& e) {
        throw CDBException(ExplainConnectFailure(e.GetErrorMessage(), m_strConnect), e.Records());
    }
}

void COdbcTarget::InsertRow(const CInsertItemList& row) {
    try {
        m_database.ExecuteSQL(m_statements.Build(row));
    } catch (const CDBException& e) {
        throw CDBException(
            ExplainStatementFailure(e, row.m_strTable, m_strConnect, m_database.GetDbmsName()),
            e.Records());
    }
}

void COdbcTarget::EndTable() {
    m_statements.Reset();
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
}
