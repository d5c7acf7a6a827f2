#include "dbaccess/Database.h"

#include "dbaccess/Exceptions.h"

struct CDatabase::Handles {};

CDatabase::CDatabase() = default;
CDatabase::~CDatabase() { Close(); }

bool CDatabase::OpenEx(const std::string&, unsigned) {
    throw CDBException("The target connection is not built yet.");
}
void CDatabase::ExecuteSQL(const std::string&) {
    throw CDBException("The target connection is not built yet.");
}
void CDatabase::Close() noexcept { m_pHandles.reset(); }
bool CDatabase::IsOpen() const noexcept { return m_pHandles != nullptr; }
