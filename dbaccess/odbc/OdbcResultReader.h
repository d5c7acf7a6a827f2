#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CDatabase;

// One column of a result as the driver describes it (SQLDescribeCol).
struct COdbcColumn {
    std::string name;
    short sqlType = 0;             // SQL_CHAR, SQL_INTEGER, SQL_TYPE_TIMESTAMP, ...
    std::size_t size = 0;          // the column size: characters for text; 0 when unknown
    bool fixedLengthText = false;  // SQL_CHAR or SQL_WCHAR: text of a fixed length
};

// A date-time value as read, SQL_TIMESTAMP_STRUCT's fields.
struct COdbcTimestamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    unsigned long fraction = 0;  // nanoseconds
};

// Reads the rows of one query in blocks, on a statement of the connection's own: forward-only,
// read-only, several rows per fetch into buffers bound column by column (SQL_ATTR_ROW_ARRAY_SIZE),
// every column as text (SQL_C_CHAR, the bytes the driver gives: UTF-8 on the targets we know)
// except, unless asked otherwise, a date or time column, as SQL_C_TYPE_TIMESTAMP. The buffers
// are sized from the columns' described sizes, within a bound: a value longer than its buffer
// is read whole with SQLGetData, in the block where the driver allows that (SQL_GD_BLOCK),
// otherwise one row at a time, by reading a repeatable query again from where the block began.
// Memory stays within a few megabytes whatever the result's size, as long as the driver itself
// does not hold the whole result (psqlODBC and sqlite3odbc do: see the target kinds).
//
// Every call that reaches the server is marked as the connection's statement in flight, so
// that CDatabase::CancelStatement cancels it; a failure throws CDBException with the driver's
// records, as CDatabase::ExecuteSQL does. One reader at a time per connection (a second one is
// refused with CDBException): the statement is the connection's, and goes with it (or with the
// reader).
class COdbcResultReader {
public:
    explicit COdbcResultReader(CDatabase& database);
    ~COdbcResultReader();
    COdbcResultReader(const COdbcResultReader&) = delete;
    COdbcResultReader& operator=(const COdbcResultReader&) = delete;

    // Executes query and binds its columns, at most maxRows rows to a block. repeatable: the
    // query gives the same rows in the same order each time it runs (a value too long for its
    // buffer may then be read by running it again). allText: date and time columns as text too.
    void Execute(const std::string& query, bool allText, std::size_t maxRows,
                 bool repeatable = false);
    // The columns of the result executed last.
    const std::vector<COdbcColumn>& Columns() const noexcept { return m_columns; }

    // Fetches the next block: the rows it holds, 0 once the result has none left (it is then
    // closed).
    std::size_t FetchBlock();

    // The values of row (from 0, within the block) of the last FetchBlock; valid until the
    // next one.
    bool IsNull(std::size_t row, std::size_t column) const noexcept {
        return Indicator(row, column) == kNull;
    }
    bool IsTimestamp(std::size_t column) const noexcept { return m_bound[column].timestamp; }
    // A column read as text: its bytes.
    std::string_view Text(std::size_t row, std::size_t column) const noexcept;
    // A column read as a date-time.
    COdbcTimestamp Timestamp(std::size_t row, std::size_t column) const noexcept;

    // Closes the result, if one is open; the statement stays for the next Execute. Never
    // throws.
    void Close() noexcept;

private:
    static constexpr long kNull = -1;  // SQL_NULL_DATA

    struct Bound {
        bool timestamp = false;
        std::size_t width = 0;      // bytes per value in buffer
        std::vector<char> buffer;   // rows * width
        std::vector<long> lengths;  // the indicators, one per row; see LongValue
    };

    long Indicator(std::size_t row, std::size_t column) const noexcept {
        return m_bound[column].lengths[row];
    }
    // Binds the columns for blocks of rows rows.
    void Bind(std::size_t rows);
    std::size_t Fetch();
    // Reads the values of the block longer than their buffers.
    void ReadLongValues(std::size_t rows);
    // The whole value of column of the current row, from its start; null, when given, is set
    // for NULL.
    std::string GetData(std::size_t column, bool* null = nullptr);
    // Reads every value of the single row fetched, none of them bound.
    void ReadUnbound();
    // Runs the query again, a row to a block, and skips the rows read before the block.
    void RefetchByRow();

    CDatabase& m_database;
    void* m_stmt = nullptr;  // the connection's reading statement, once executed
    std::string m_strQuery;
    bool m_bAllText = false;
    bool m_bRepeatable = false;
    bool m_bOpen = false;             // a result is open
    bool m_bGetDataInBlock = false;   // the driver reads a value of any row of a block
    bool m_bUnbound = false;          // a row to a block, every value read with SQLGetData
    std::size_t m_nRowsPerBlock = 1;  // as bound
    std::size_t m_nRowsBefore = 0;    // rows of the result before the current block
    std::vector<COdbcColumn> m_columns;
    std::vector<Bound> m_bound;
    std::vector<unsigned short> m_status;  // SQL_ATTR_ROW_STATUS_PTR
    unsigned long m_nFetched = 0;          // SQL_ATTR_ROWS_FETCHED_PTR (an SQLULEN)
    std::size_t m_nRows = 0;               // in the current block
    std::vector<std::string> m_long;       // the values longer than their buffers
};
