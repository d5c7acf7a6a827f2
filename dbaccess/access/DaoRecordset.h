#pragma once

#include <memory>
#include <string>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/jet/FieldValue.h"

// Open types and options of CDaoRecordset::Open; only a read-only dynaset is supported.
constexpr int dbOpenDynaset = 2;
constexpr int dbReadOnly = 4;

// The rows of one source table, read in storage order, one current row at a time.
class CDaoRecordset final : public CDaoDatabase::IDependent {
public:
    explicit CDaoRecordset(CDaoDatabase& database);
    CDaoRecordset(const CDaoRecordset&) = delete;
    CDaoRecordset& operator=(const CDaoRecordset&) = delete;
    ~CDaoRecordset();  // closes the recordset if it is open; never throws

    // Opens "select * from <table>" as a read-only dynaset (openType 2, options 4) and stands
    // on the first row, if any. Any other query shape or mode throws CDaoException, as do a
    // missing table and one the database did not check when it opened.
    void Open(int openType, const std::string& sql, int options);

    // True when there is no current row: the table is empty, or the last row was passed.
    bool IsEOF() const;
    // The current row's value of the named column (ASCII case-insensitive). A column the
    // table lacks throws CDaoException naming the table and the column.
    CFieldValue GetFieldValue(const std::string& column);
    // Throws the CDaoException GetFieldValue throws when the table lacks the named column,
    // on an empty table as well; does nothing when it has it.
    void CheckColumn(const std::string& column) const;
    // Moves to the next row. A page of the table that cannot be read, or a row out of place on
    // its page, throws CDaoException (the file is damaged), as does reaching the end in a file
    // that changed since it was checked.
    void MoveNext();
    // The number of rows the table's definition declares, known from the start. DAO's
    // GetRecordCount gives the rows read once the table has been read to its end; the two
    // differ when the stored count is stale (until Access's next Compact and Repair), and the
    // recordset reads every row its pages hold either way. Throws CDaoException when the
    // recordset is not open.
    long GetRecordCount() const;
    void Close() noexcept override;
    bool IsOpen() const noexcept;

private:
    [[noreturn]] void ThrowMissingColumn(const std::string& column) const;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    CDaoDatabase* m_pDatabase;
};
