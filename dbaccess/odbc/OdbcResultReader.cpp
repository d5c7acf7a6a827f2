#include "dbaccess/odbc/OdbcResultReader.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcCheck.h"
#include "dbaccess/odbc/OdbcDatabase.h"

static_assert(sizeof(SQLLEN) == sizeof(long) && sizeof(SQLULEN) == sizeof(unsigned long) &&
                  sizeof(SQLUSMALLINT) == sizeof(unsigned short),
              "the reader's buffers are declared without the ODBC headers");

namespace {

// A block's buffers stay within this (the memory a verification may add is small), and a
// text value gets at most kMaxWidth bytes in them: a longer one is read on its own.
constexpr std::size_t kBlockBytes = 2 * 1024 * 1024;
constexpr std::size_t kMaxWidth = 256;
// Room for a number's sign, point and exponent beyond its digits, and a value's ending zero.
constexpr std::size_t kNumberExtra = 8;
// An indicator at or below this marks a value held in m_long: kLongBase - index.
constexpr long kLongBase = -100;

bool IsCharacterType(SQLSMALLINT type) {
    switch (type) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return true;
        default:
            return false;
    }
}

bool IsDateTimeType(SQLSMALLINT type) {
    switch (type) {
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
            return true;
        default:
            return false;
    }
}

// The bytes a value of a column needs as SQL_C_CHAR, its ending zero included, within
// kMaxWidth: four bytes a character (UTF-8) for text.
std::size_t TextWidth(const COdbcColumn& column) {
    if (column.size == 0 || column.size > kMaxWidth) {
        return kMaxWidth;
    }
    const std::size_t width =
        IsCharacterType(column.sqlType) ? column.size * 4 + 1 : column.size + kNumberExtra;
    return std::min(std::max<std::size_t>(width, 16), kMaxWidth);
}

}  // namespace

COdbcResultReader::COdbcResultReader(CDatabase& database) : m_database(database) {
    // A second reader would take the first one's statement from under it.
    if (m_database.m_bReading) {
        throw CDBException("A result is already being read on the target connection.");
    }
    m_database.m_bReading = true;
}

COdbcResultReader::~COdbcResultReader() {
    // The statement keeps pointers to the buffers bound: it goes with them.
    if (m_stmt) {
        m_database.FreeReaderStatement();
    }
    m_database.m_bReading = false;
}

void COdbcResultReader::Execute(const std::string& query, bool allText, std::size_t maxRows,
                                bool repeatable) {
    Close();
    COdbcHandles diagnostics;
    const auto stmt = static_cast<SQLHSTMT>(m_database.ReaderStatement(diagnostics));
    if (stmt != m_stmt) {
        // A statement of its own: forward-only and read-only are the defaults, asked anyway;
        // a driver that refuses (01S02) gives what it can.
        SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY,
                       reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(std::uintptr_t{m_database.m_dwQueryTimeout}),
                       0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        SQLUINTEGER extensions = 0;
        m_bGetDataInBlock = SQL_SUCCEEDED(SQLGetInfo(diagnostics.dbc, SQL_GETDATA_EXTENSIONS,
                                                     &extensions, sizeof extensions, nullptr)) &&
                            (extensions & SQL_GD_BLOCK) && (extensions & SQL_GD_BOUND);
        m_stmt = stmt;
    }
    m_strQuery = query;
    m_bAllText = allText;
    m_bRepeatable = repeatable;
    m_nRowsBefore = 0;
    m_nRows = 0;
    try {
        SQLRETURN rc = SQL_SUCCESS;
        m_database.RunReader([&] {
            rc = OdbcCheck(
                SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(query.c_str())),
                              static_cast<SQLINTEGER>(query.size())),
                "SQLExecDirect", diagnostics);
        });
        m_bOpen = true;
        SQLSMALLINT count = 0;
        if (rc != SQL_NO_DATA) {
            OdbcCheck(SQLNumResultCols(stmt, &count), "SQLNumResultCols", diagnostics);
        }
        m_columns.assign(static_cast<std::size_t>(count), {});
        std::size_t rowBytes = 0;
        for (SQLSMALLINT c = 0; c < count; ++c) {
            SQLCHAR name[256] = {};
            SQLSMALLINT nameLength = 0;
            SQLSMALLINT type = 0;
            SQLULEN size = 0;
            SQLSMALLINT digits = 0;
            SQLSMALLINT nullable = 0;
            OdbcCheck(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(c + 1), name, sizeof name,
                                     &nameLength, &type, &size, &digits, &nullable),
                      "SQLDescribeCol", diagnostics);
            COdbcColumn& column = m_columns[static_cast<std::size_t>(c)];
            column.name = reinterpret_cast<const char*>(name);
            column.sqlType = type;
            column.size = size;
            column.fixedLengthText = type == SQL_CHAR || type == SQL_WCHAR;
            rowBytes +=
                sizeof(SQLLEN) + (!allText && IsDateTimeType(type) ? sizeof(SQL_TIMESTAMP_STRUCT)
                                                                   : TextWidth(column));
        }
        std::size_t rows = std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1),
                                                   1, std::max<std::size_t>(maxRows, 1));
        // A value too long for its buffer could be read neither in its block nor again: the
        // rows come one at a time, every value read with SQLGetData from its start (a driver
        // may continue a bound column's SQLGetData where the buffer ended: FreeTDS does).
        m_bUnbound = !m_bGetDataInBlock && !repeatable;
        if (m_bUnbound) {
            rows = 1;
        }
        Bind(rows);
    } catch (const std::bad_alloc&) {
        Close();
        throw CMemoryException();
    } catch (...) {
        Close();
        throw;
    }
}

void COdbcResultReader::Bind(std::size_t rows) {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    COdbcHandles diagnostics;
    m_database.ReaderStatement(diagnostics);
    SQLFreeStmt(stmt, SQL_UNBIND);
    m_nRowsPerBlock = rows;
    m_status.assign(rows, 0);
    m_bound.resize(m_columns.size());
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        Bound& bound = m_bound[c];
        bound.timestamp = !m_bAllText && IsDateTimeType(m_columns[c].sqlType);
        bound.width = bound.timestamp ? sizeof(SQL_TIMESTAMP_STRUCT) : TextWidth(m_columns[c]);
        bound.buffer.resize(rows * bound.width);
        bound.lengths.assign(rows, 0);
        if (m_bUnbound) {
            continue;
        }
        OdbcCheck(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1),
                             bound.timestamp ? SQL_C_TYPE_TIMESTAMP : SQL_C_CHAR,
                             bound.buffer.data(), static_cast<SQLLEN>(bound.width),
                             reinterpret_cast<SQLLEN*>(bound.lengths.data())),
                  "SQLBindCol", diagnostics);
    }
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                             reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows)), 0),
              "SQLSetStmtAttr", diagnostics);
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, m_status.data(), 0), "SQLSetStmtAttr",
              diagnostics);
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &m_nFetched, 0), "SQLSetStmtAttr",
              diagnostics);
}

std::size_t COdbcResultReader::Fetch() {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    COdbcHandles diagnostics;
    m_database.ReaderStatement(diagnostics);
    m_nFetched = 0;
    SQLRETURN rc = SQL_SUCCESS;
    m_database.RunReader([&] { rc = OdbcCheck(SQLFetch(stmt), "SQLFetch", diagnostics); });
    if (rc == SQL_NO_DATA) {
        return 0;
    }
    const std::size_t rows = std::min<std::size_t>(m_nFetched, m_nRowsPerBlock);
    for (std::size_t row = 0; row < rows; ++row) {
        if (m_status[row] == SQL_ROW_ERROR) {
            OdbcCheck(SQL_ERROR, "SQLFetch", diagnostics);
        }
    }
    return rows;
}

std::size_t COdbcResultReader::FetchBlock() {
    if (!m_bOpen) {
        return 0;
    }
    try {
        m_nRowsBefore += m_nRows;
        m_nRows = 0;
        m_long.clear();
        std::size_t rows = Fetch();
        if (rows == 0) {
            Close();
            return 0;
        }
        if (rows > 1 && !m_bGetDataInBlock) {
            bool truncated = false;
            for (std::size_t c = 0; c < m_bound.size() && !truncated; ++c) {
                const Bound& bound = m_bound[c];
                if (bound.timestamp) {
                    continue;
                }
                truncated = std::any_of(
                    bound.lengths.begin(),
                    bound.lengths.begin() + static_cast<std::ptrdiff_t>(rows), [&](long length) {
                        return length == SQL_NO_TOTAL || length >= static_cast<long>(bound.width);
                    });
            }
            if (truncated) {
                RefetchByRow();
                rows = Fetch();
            }
        }
        if (m_bUnbound) {
            ReadUnbound();
        } else {
            ReadLongValues(rows);
        }
        m_nRows = rows;
        return rows;
    } catch (const std::bad_alloc&) {
        Close();
        throw CMemoryException();
    } catch (...) {
        Close();
        throw;
    }
}

void COdbcResultReader::RefetchByRow() {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    COdbcHandles diagnostics;
    m_database.ReaderStatement(diagnostics);
    SQLFreeStmt(stmt, SQL_CLOSE);
    m_database.RunReader([&] {
        OdbcCheck(
            SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(m_strQuery.c_str())),
                          static_cast<SQLINTEGER>(m_strQuery.size())),
            "SQLExecDirect", diagnostics);
    });
    Bind(1);
    for (std::size_t row = 0; row < m_nRowsBefore; ++row) {
        if (Fetch() == 0) {
            throw CDBException(
                TrFormat("The target gave fewer rows when the query ran again to "
                         "read a long value: %1",
                         {m_strQuery}));
        }
    }
}

void COdbcResultReader::ReadLongValues(std::size_t rows) {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    for (std::size_t row = 0; row < rows; ++row) {
        bool positioned = rows == 1;
        for (std::size_t c = 0; c < m_bound.size(); ++c) {
            Bound& bound = m_bound[c];
            long& length = bound.lengths[row];
            if (bound.timestamp ||
                (length != SQL_NO_TOTAL && length < static_cast<long>(bound.width))) {
                continue;
            }
            if (!positioned) {
                COdbcHandles diagnostics;
                m_database.ReaderStatement(diagnostics);
                OdbcCheck(SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION,
                                    SQL_LOCK_NO_CHANGE),
                          "SQLSetPos", diagnostics);
                positioned = true;
            }
            m_long.push_back(GetData(c));
            length = kLongBase - static_cast<long>(m_long.size() - 1);
        }
    }
}

void COdbcResultReader::ReadUnbound() {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    for (std::size_t c = 0; c < m_bound.size(); ++c) {
        Bound& bound = m_bound[c];
        long& length = bound.lengths[0];
        if (bound.timestamp) {
            COdbcHandles diagnostics;
            m_database.ReaderStatement(diagnostics);
            SQLLEN indicator = 0;
            m_database.RunReader([&] {
                OdbcCheck(
                    SQLGetData(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_TYPE_TIMESTAMP,
                               bound.buffer.data(), static_cast<SQLLEN>(bound.width), &indicator),
                    "SQLGetData", diagnostics);
            });
            length = indicator == SQL_NULL_DATA ? kNull : static_cast<long>(indicator);
            continue;
        }
        bool null = false;
        std::string value = GetData(c, &null);
        if (null) {
            length = kNull;
            continue;
        }
        m_long.push_back(std::move(value));
        length = kLongBase - static_cast<long>(m_long.size() - 1);
    }
}

std::string COdbcResultReader::GetData(std::size_t column, bool* null) {
    const auto stmt = static_cast<SQLHSTMT>(m_stmt);
    COdbcHandles diagnostics;
    m_database.ReaderStatement(diagnostics);
    std::string value;
    char chunk[16384];
    for (;;) {
        SQLLEN length = 0;
        SQLRETURN rc = SQL_SUCCESS;
        m_database.RunReader([&] {
            rc = OdbcCheck(SQLGetData(stmt, static_cast<SQLUSMALLINT>(column + 1), SQL_C_CHAR,
                                      chunk, sizeof chunk, &length),
                           "SQLGetData", diagnostics);
        });
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (length == SQL_NULL_DATA) {
            if (null != nullptr) {
                *null = true;
            }
            break;
        }
        const bool more = length == SQL_NO_TOTAL || length >= static_cast<SQLLEN>(sizeof chunk);
        if (more && length != SQL_NO_TOTAL && value.empty()) {
            value.reserve(static_cast<std::size_t>(length));
        }
        value.append(chunk, more ? sizeof chunk - 1 : static_cast<std::size_t>(length));
        if (rc == SQL_SUCCESS || !more) {
            break;
        }
    }
    return value;
}

std::string_view COdbcResultReader::Text(std::size_t row, std::size_t column) const noexcept {
    const Bound& bound = m_bound[column];
    const long length = bound.lengths[row];
    if (length <= kLongBase) {
        return m_long[static_cast<std::size_t>(kLongBase - length)];
    }
    if (length < 0) {
        return {};
    }
    return {bound.buffer.data() + row * bound.width, static_cast<std::size_t>(length)};
}

COdbcTimestamp COdbcResultReader::Timestamp(std::size_t row, std::size_t column) const noexcept {
    SQL_TIMESTAMP_STRUCT value;
    std::memcpy(&value, m_bound[column].buffer.data() + row * sizeof value, sizeof value);
    return {value.year,   value.month,  value.day,     value.hour,
            value.minute, value.second, value.fraction};
}

void COdbcResultReader::Close() noexcept {
    if (m_bOpen && m_stmt) {
        SQLFreeStmt(static_cast<SQLHSTMT>(m_stmt), SQL_CLOSE);
    }
    m_bOpen = false;
    m_nRows = 0;
    m_long.clear();
}
