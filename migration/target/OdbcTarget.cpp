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
    try {
        m_database.OpenEx(m_strConnect, noOdbcDialog);
    } catch (const CDBException& e) {
        throw CDBException(ExplainConnectFailure(e.GetErrorMessage(), m_strConnect));
    }
}

void COdbcTarget::ExecuteSQL(const std::string& statement) {
    try {
        m_database.ExecuteSQL(statement);
    } catch (const CDBException& e) {
        throw CDBException(ExplainStatementFailure(e.GetErrorMessage(), statement, m_strConnect));
    }
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
}
