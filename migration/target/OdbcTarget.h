#pragma once

#include <string>

#include "migration/EngineInterfaces.h"
#include "migration/statement/StatementBuilder.h"
#include "migration/target/TargetResolution.h"

class CDatabase;

// The target as the run sees it, over an ODBC connection owned elsewhere: one statement per
// row, each committed at once. Opening never shows a driver dialog. The built-in connection
// string is resolved first (see TargetResolution.h), once per Open, and the per-user file
// created when absent. A failed connection names the target it
// tried; a row that fails because the table is missing or the SQLite file is locked throws
// CDBException whose text names the target and what to do.
class COdbcTarget final : public ITargetDatabase {
public:
    explicit COdbcTarget(CDatabase& database) : m_database(database) {}

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    std::string Describe() const override;
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override;
    void Close() noexcept override;

private:
    CDatabase& m_database;
    CResolvedTarget m_target;  // what the last Open resolved and connected with
    CStatementBuilder m_statements;
};
