#include "migration/ReplaceTarget.h"

#include <string_view>

#include "dbaccess/Database.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/RollbackProbe.h"
#include "migration/TableCatalogue.h"

namespace {

constexpr std::size_t kMaxStatementBytes = 256 * 1024;

// The row statement's fixed part ends with the column list: "insert into T(cols) values ".
// The column list is built in and holds no ") values (", so its first occurrence is it.
constexpr std::string_view kValues = ") values (";

// "insert into T(" -> "T".
std::string TableOf(std::string_view head) {
    constexpr std::string_view kInsert = "insert into ";
    const std::size_t open = head.find('(');
    return std::string(head.substr(kInsert.size(), open - kInsert.size()));
}

}  // namespace

CReplaceTarget::CReplaceTarget(CDatabase& database, std::size_t rowsPerStatement)
    : m_database(database), m_nRowsPerStatement(rowsPerStatement ? rowsPerStatement : 1) {}

bool CReplaceTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void CReplaceTarget::Open(const std::string& connect) {
    m_database.OpenEx(connect, noOdbcDialog);
    VerifyTargetCanRollBack(m_database);
    m_database.BeginTrans();
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        m_database.ExecuteSQL("delete from " + entry.table);
    }
}

void CReplaceTarget::ExecuteSQL(const std::string& statement) {
    const std::size_t split = statement.find(kValues);
    if (split == std::string::npos) {
        Flush();
        m_database.ExecuteSQL(statement);
        return;
    }
    const std::string_view head(statement.data(), split + kValues.size() - 1);
    if (m_nPending > 0 && head != m_strHead) {
        Flush();
    }
    if (m_strHead != head) {
        m_strHead.assign(head);
        const std::string table = TableOf(head);
        if (table != m_strTable) {
            m_strTable = table;
            m_nSent = 0;
        }
    }
    if (m_nPending == 0) {
        m_strPending = m_strHead;
    } else {
        m_strPending += ',';
    }
    m_strPending.append(statement, head.size());
    ++m_nPending;
    if (m_nPending >= m_nRowsPerStatement || m_strPending.size() >= kMaxStatementBytes) {
        Flush();
    }
}

void CReplaceTarget::Flush() {
    if (m_nPending == 0) {
        return;
    }
    const std::size_t first = m_nSent + 1;
    const std::size_t last = m_nSent + m_nPending;
    m_nPending = 0;
    try {
        m_database.ExecuteSQL(m_strPending);
    } catch (const CDBException& e) {
        const std::string rows =
            first == last ? "row " + std::to_string(first)
                          : "rows " + std::to_string(first) + " to " + std::to_string(last);
        throw CDBException("The target refused " + m_strTable + " " + rows + ": " +
                           e.GetErrorMessage());
    }
    m_nSent = last;
}

void CReplaceTarget::EndTable() {
    Flush();
    m_strTable.clear();
    m_strHead.clear();
    m_nSent = 0;
}

void CReplaceTarget::CommitRun() {
    Flush();
    m_database.CommitTrans();
}

void CReplaceTarget::Close() noexcept {
    m_nPending = 0;
    m_strPending.clear();
    m_database.Close();  // rolls back what was not committed
}
