#pragma once

#include <sql.h>

#include "dbaccess/odbc/OdbcCheck.h"

// Owns one ODBC handle (environment, connection or statement) and frees it with
// SQLFreeHandle. A connection handle must be disconnected before its owner lets it go;
// CDatabase does that.
class COdbcHandle {
public:
    COdbcHandle() noexcept = default;
    COdbcHandle(SQLSMALLINT type, SQLHANDLE handle) noexcept : m_nType(type), m_h(handle) {}
    COdbcHandle(COdbcHandle&& other) noexcept;
    COdbcHandle& operator=(COdbcHandle&& other) noexcept;
    COdbcHandle(const COdbcHandle&) = delete;
    COdbcHandle& operator=(const COdbcHandle&) = delete;
    ~COdbcHandle() { Reset(); }

    SQLHANDLE Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != SQL_NULL_HANDLE; }

    // Frees the handle, if any. Never throws.
    void Reset() noexcept;

private:
    SQLSMALLINT m_nType = 0;
    SQLHANDLE m_h = SQL_NULL_HANDLE;
};

// Allocates a handle of the given type under parent (SQL_NULL_HANDLE for an environment).
// Throws CDBException with the diagnostics of diagnostics on failure.
COdbcHandle AllocateOdbcHandle(SQLSMALLINT type, SQLHANDLE parent, const COdbcHandles& diagnostics);
