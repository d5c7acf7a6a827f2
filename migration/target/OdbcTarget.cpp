#include "migration/target/OdbcTarget.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/EmbeddedTargetFile.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/StandardQuoting.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetResolution.h"

bool COdbcTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void COdbcTarget::Open(const std::string& connect) {
    m_target = ResolveTarget(connect);
    if (!m_target.embeddedFile.empty()) {
        EnsureEmbeddedTargetFile(m_target.embeddedFile, ShippedFile("schema/sqlite.sql"));
    }
    m_statements.Reset();
    try {
        ConnectWithStandardQuoting(m_database, m_target.connection);
    } catch (const CDBException& e) {
        throw CDBException(ExplainConnectFailure(e.GetErrorMessage(), m_target.connection),
                           e.Records());
    }
}

std::string COdbcTarget::Describe() const {
    return m_target.description;
}

void COdbcTarget::InsertRow(const CInsertItemList& row) {
    try {
        m_database.ExecuteSQL(m_statements.Build(row));
    } catch (const CDBException& e) {
        throw CDBException(ExplainStatementFailure(e, row.m_strTable, m_target.connection,
                                                   m_database.GetDbmsName()),
                           e.Records());
    }
}

void COdbcTarget::EndTable() {
    m_statements.Reset();
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
}
