#pragma once

#include <string>

#include "migration/statement/InsertItem.h"

// Builds the statement of one row after another into one buffer, for a target that sends a
// statement per row. The rows of a table all have the same columns in the same order, so the
// statement's head is built from a table's first row and kept until Reset.
class CStatementBuilder {
public:
    // The row's statement, as CInsertItemList::BuildStatement gives it; valid until the next
    // call.
    const std::string& Build(const CInsertItemList& row);
    // The next row starts a new table.
    void Reset() noexcept { m_strHead.clear(); }

private:
    std::string m_strHead;
    std::string m_strStatement;
};
