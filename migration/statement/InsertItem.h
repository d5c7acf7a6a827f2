#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "dbaccess/access/jet/FieldValue.h"

// One column of a row statement: its name, its value text (not yet quoted; empty for NULL)
// and its column kind (COLKIND_...). A plain value.
struct CInsertItem {
    // Built in place in its list, the value moved in: a run builds a few million of them.
    CInsertItem(const std::string& column, std::string&& value, int kind)
        : m_strColumn(column), m_strValue(std::move(value)), m_nKind(kind) {}

    std::string m_strColumn;
    std::string m_strValue;
    int m_nKind = 0;
};

// One row statement under construction: the target table and the columns in the order they
// were added. Names go into the statement verbatim; nothing is validated, and a column added
// twice is listed twice.
class CInsertItemList {
public:
    // columnCount, when given, is how many columns will be added: the list is sized once
    // instead of growing (and moving its entries) as they come.
    explicit CInsertItemList(std::string table, std::size_t columnCount = 0)
        : m_strTable(std::move(table)) {
        m_items.reserve(columnCount);
    }
    CInsertItemList(const CInsertItemList&) = delete;
    CInsertItemList& operator=(const CInsertItemList&) = delete;

    // Appends the column. A NULL value becomes an entry of kind COLKIND_NULL with an empty
    // text, whatever kind was passed; any other value, an Empty one included, is rendered by
    // RenderValue for the kind passed. Throws COleException, the conversion's sentence followed
    // by ": table 'T', column 'C'.", when the value cannot be converted to the kind's type; the
    // list is then unchanged. Returns true when the value's text was cut at its first zero
    // byte, which an SQL literal cannot carry.
    bool AddItem(const std::string& column, int kind, CFieldValue value);

    // "insert into T(c1,c2) values (v1,v2)": no blanks but the three shown, no semicolon;
    // each value is its entry's QuoteValue literal. Does not change the list.
    std::string BuildStatement() const;
    // The statement in two parts, for a caller whose rows all have the same columns in the
    // same order: the head "insert into T(c1,c2) values (", built once, and the values
    // "v1,v2)" of each row.
    std::string BuildHead() const;
    void AppendValues(std::string& out) const;

    std::string m_strTable;
    std::vector<CInsertItem> m_items;
};
