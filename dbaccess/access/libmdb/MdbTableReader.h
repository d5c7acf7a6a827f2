#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/SourceMessage.h"
#include "dbaccess/access/jet/FieldValue.h"
#include "dbaccess/access/jet/JetMemo.h"
#include "dbaccess/access/libmdb/MdbDatabase.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"

// Reads one table of an open MdbDatabase row by row, in storage order. libmdb walks the pages and
// splits each row into fields; the values are decoded from the raw bytes by our own decoders.
// Every failure is a CDaoException naming the file and the table (and the column and the row,
// for values). libmdb is kept quiet (MdbQuiet): what it prints goes into the messages, never to
// the terminal.
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

    // Makes the next row current. Returns false at the end of the table: every row its data
    // pages hold is read, whatever row count its definition declares. Throws CDaoException
    // (damaged) when a page of the table cannot be read, when a data page places a row outside
    // its row area or over another row, or when a row cannot be split into fields that lie
    // inside it, in the order of their offsets.
    bool Next();
    size_t RowsRead() const noexcept { return m_rowsRead; }
    // The number of rows the table's definition declares. Access updates it as rows come and
    // go, but a crash or an interrupted write can leave it stale until the next Compact and
    // Repair: it is a hint for progress, not the table's length.
    size_t DeclaredRows() const noexcept { return m_table->num_rows; }
    // The page that holds the current row (0 before the first row).
    uint32_t CurrentPage() const noexcept { return m_page; }
    // A data page of the table whose bytes repeat an earlier one's (in usage-map order), and
    // that one. Jet data pages carry no page number, so two pages of identical rows are
    // identical too: a repeat is damage (one page copied over the other) only when something
    // else says so, such as rows that disagree with the declared count. Reads every data page
    // of the table again: meant for a table whose count disagrees, after its walk.
    struct RepeatedPage {
        uint32_t page = 0;
        uint32_t original = 0;
    };
    std::optional<RepeatedPage> FindRepeatedDataPage();
    // What libmdb printed while this table was read, one line, short; "" when nothing.
    std::string LibraryOutput() const noexcept;
    // Whether the column is calculated (Access 2010+): its value is the stored result of its
    // expression, of the column's type.
    bool IsCalculated(size_t column) const { return m_columns[column].calculated; }
    // The current row's value in the given column.
    CFieldValue Value(size_t column);

private:
    struct Column {
        std::string name;
        int type;
        int scale;
        bool calculated = false;  // Access 2010+: the value is stored in a wrapper
    };

    // Throws "The database 'F' is damaged: in the table 'T', <what>." (or "in a table without a
    // name", for a damaged catalogue's empty name).
    [[noreturn]] void ThrowDamaged(const CDaoMessage& what) const;
    // Throws (damaged) unless the catalogue entry of a user table points to a user table's
    // definition page.
    void CheckDefinitionPage(const MdbCatalogEntry& entry) const;
    // Throws (damaged) unless every field of the row just split lies inside the row's bytes.
    void CheckRowFields(int rowStart, size_t rowSize) const;
    // Throws (damaged) unless every page the usage map names lies inside the file.
    void CheckUsageMapPages() const;
    // Marks the calculated columns, which libmdb does not tell: a flag in each column's entry
    // of the table definition, which may run over several pages.
    void FindCalculatedColumns();
    // Gives libmdb its own usage map back and frees the table's definition.
    void FreeTable() noexcept;
    // Moves to the next row that is not deleted, as libmdb's table walk does, and gives its
    // place on the current page; false at the end of the table. Throws (damaged) when the
    // row's entry in the page's offsets table is out of place.
    bool FetchRow(int& start, size_t& size);
    // Reads the table's next data page; false at the end of its usage map. Throws (damaged)
    // when a page the map names cannot be read or is not one of the table's data pages.
    bool NextDataPage();
    // libmdb keeps one page buffer per file, and another recordset on the same file may have
    // read a page of its own into it since this table's last row was fetched: reads this
    // table's page back when it is not the one there.
    void RestorePage() const;
    // Makes a libmdb call that failed on the row path again, keeping what libmdb prints for
    // the message about to be thrown.
    template <typename Call>
    void Retell(Call call) const;
    // Keeps what libmdb printed, for LibraryOutput.
    void Heard(const std::string& said) const;

    MdbDatabase& m_file;
    // libmdb is kept quiet while the constructor reads the table's definition (this is that
    // section while it lasts). The row path calls libmdb without one, since a section per
    // row would cost more than the row: there libmdb prints only when a call fails, and the
    // failed call is made again in a section of its own (Retell).
    MdbQuiet* m_opening = nullptr;
    // What those sections heard, one line.
    mutable std::string m_said;
    MdbTableDef* m_table = nullptr;
    // The table's usage map laid flat, lent to libmdb for as long as the table is open, and
    // libmdb's own map, given back before the table is freed.
    std::vector<unsigned char> m_flatMap;
    unsigned char* m_libmdbMap = nullptr;
    size_t m_libmdbMapSize = 0;
    std::string m_name;
    std::vector<Column> m_columns;
    std::vector<MdbField> m_fields;
    LvalRowReader m_lval;
    size_t m_rowsRead = 0;
    uint32_t m_page = 0;
    bool m_hasRow = false;
};
