#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/FieldValue.h"
#include "dbaccess/JetMemo.h"
#include "dbaccess/MdbDatabase.h"

// Reads one table of an open MdbDatabase row by row, in storage order. libmdb walks the pages and
// splits each row into fields; the values are decoded from the raw bytes by our own decoders.
// Every failure is a CDaoException naming the file and the table (and the column, for values).
class MdbTableReader {
public:
    // Opens the table and loads its columns; no row is current yet. Throws CDaoException when
    // the file has no such table.
    MdbTableReader(MdbDatabase& file, const std::string& tableName);
    ~MdbTableReader();
    MdbTableReader(const MdbTableReader&) = delete;
    MdbTableReader& operator=(const MdbTableReader&) = delete;

    // The table's name as the catalogue spells it.
    const std::string& Name() const noexcept { return m_name; }
    size_t ColumnCount() const noexcept { return m_columns.size(); }
    const std::string& ColumnName(size_t column) const { return m_columns[column].name; }
    int ColumnType(size_t column) const { return m_columns[column].type; }
    // The index of the named column (ASCII case-insensitive), or -1.
    int FindColumn(std::string_view name) const noexcept;

    // Makes the next row current. Returns false at the end of the table; throws
    // CDaoException (damaged) when the table ends before the row count its definition holds,
    // or when a row cannot be split into fields.
    bool Next();
    size_t RowsRead() const noexcept { return m_rowsRead; }
    // The row count the table's definition declares.
    size_t DeclaredRowCount() const noexcept;
    // The current row's value in the given column.
    CFieldValue Value(size_t column);
    // Makes the checks Value makes on the current row's field without decoding it: throws
    // CDaoException (damaged) when the field lies outside its page.
    void CheckField(size_t column) const;

private:
    struct Column {
        std::string name;
        int type;
    };

    [[noreturn]] void ThrowDamaged(const std::string& what) const;
    // libmdb keeps one page buffer per file, and another recordset on the same file may have
    // read a page of its own into it since this table's last row was fetched: reads this
    // table's page back when it is not the one there.
    void RestorePage() const;

    MdbDatabase& m_file;
    MdbTableDef* m_table = nullptr;
    std::string m_name;
    std::vector<Column> m_columns;
    std::vector<MdbField> m_fields;
    LvalRowReader m_lval;
    size_t m_rowsRead = 0;
    // The page that holds the current row (0 before the first row).
    uint32_t m_page = 0;
    bool m_hasRow = false;
};
