#include "dbaccess/odbc/OdbcHandle.h"

#include <utility>

#include "dbaccess/odbc/OdbcCheck.h"

COdbcHandle::COdbcHandle(COdbcHandle&& other) noexcept
    : m_nType(other.m_nType), m_h(std::exchange(other.m_h, nullptr)) {}

COdbcHandle& COdbcHandle::operator=(COdbcHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_nType = other.m_nType;
        m_h = std::exchange(other.m_h, nullptr);
    }
    return *this;
}

void COdbcHandle::Reset() noexcept {
    if (m_h != SQL_NULL_HANDLE) {
        // Nothing useful can be done when freeing fails; the handle is given up either way.
        SQLFreeHandle(m_nType, m_h);
        m_h = SQL_NULL_HANDLE;
    }
}

COdbcHandle AllocateOdbcHandle(SQLSMALLINT type, SQLHANDLE parent,
                               const COdbcHandles& diagnostics) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
    COdbcHandle owner(type, handle);
    OdbcCheck(rc, "SQLAllocHandle", diagnostics);
    return owner;
}
