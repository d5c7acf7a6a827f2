#include "migration/InsertItem.h"

#include <string_view>

#include "dbaccess/Exceptions.h"
#include "migration/ColumnKind.h"
#include "migration/RenderValue.h"

void CInsertItemList::AddItem(const std::string& column, int kind, const CFieldValue& value) {
    CInsertItem item;
    item.m_strColumn = column;
    if (value.IsNull()) {
        item.m_nKind = COLKIND_NULL;
    } else {
        try {
            item.m_strValue = RenderValue(value, kind);
        } catch (const COleException& e) {
            throw COleException(m_strTable + "." + column + ": " + e.GetErrorMessage());
        }
        item.m_nKind = kind;
    }
    m_items.push_back(std::move(item));
}

std::string CInsertItemList::BuildStatement() const {
    static constexpr std::string_view kHead = "insert into ";
    static constexpr std::string_view kValues = ") values (";

    // One statement per row at about a million rows a second: size it once, then fill it.
    std::size_t size = kHead.size() + m_strTable.size() + 1 + kValues.size() + 1;
    for (const CInsertItem& item : m_items) {
        size += item.m_strColumn.size() + QuotedLength(item.m_strValue, item.m_nKind);
    }
    if (!m_items.empty()) {
        size += 2 * (m_items.size() - 1);  // the commas of both lists
    }

    std::string statement;
    statement.reserve(size);
    statement += kHead;
    statement += m_strTable;
    statement += '(';
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (i != 0) {
            statement += ',';
        }
        statement += m_items[i].m_strColumn;
    }
    statement += kValues;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (i != 0) {
            statement += ',';
        }
        AppendQuotedValue(statement, m_items[i].m_strValue, m_items[i].m_nKind);
    }
    statement += ')';
    return statement;
}
