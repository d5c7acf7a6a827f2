#include "migration/statement/StatementBuilder.h"

const std::string& CStatementBuilder::Build(const CInsertItemList& row) {
    if (m_strHead.empty()) {
        m_strHead = row.BuildHead();
    }
    m_strStatement.assign(m_strHead);
    row.AppendValues(m_strStatement);
    return m_strStatement;
}
