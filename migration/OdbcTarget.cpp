#include "migration/OdbcTarget.h"

#include "dbaccess/Database.h"

bool COdbcTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void COdbcTarget::Open(const std::string& connect) {
    m_database.OpenEx(connect, noOdbcDialog);
}

void COdbcTarget::ExecuteSQL(const std::string& statement) {
    m_database.ExecuteSQL(statement);
}

void COdbcTarget::Close() noexcept {
    m_database.Close();
}
