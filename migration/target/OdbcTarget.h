#pragma once

#include <string>

#include "migration/EngineInterfaces.h"
#include "migration/statement/StatementBuilder.h"

class CDatabase;

// The target as the run sees it, over an ODBC connection owned elsewhere: one statement per
// row, each committed at once. Opening never shows a driver dialog. The built-in connection
// string is resolved first (see TargetResolution.h). A failed connection names the target it
// tried; a row that fails because the table is missing or the SQLite file is locked throws
// CDBException whose text names the target and what to do.
class COdbcTarget final : public ITargetDatabase {
public:
    explicit COdbcTarget(CDatabase& database) : m_database(database) {}

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override;
    void Close() noexcept override;

private:
    CDatabase& m_database;
    std::string m_strConnect;  // the string connected with, for messages
    CStatementBuilder m_statements;
};
