#pragma once

#include <cstddef>
#include <string>

#include "migration/EngineInterfaces.h"

class CDatabase;

// The target of a replacing run: the whole run is one transaction. Opening connects, makes
// sure the target really rolls back, begins the transaction and empties the eight catalogue
// tables; CommitRun makes the new contents visible at once. Closing before CommitRun rolls
// back, so a failure, a stop or a lost connection leaves the target exactly as it was (a
// killed process is left to the database's own recovery, which discards the transaction).
//
// The row statements are sent several rows to a statement, "insert into T(cols) values
// (...),(...)", with every value the same literal as in the row's own statement. A statement
// that fails names the table and the rows it held.
class CReplaceTarget final : public ITargetDatabase {
public:
    // rowsPerStatement: at most this many rows go into one statement (SQL Server takes at
    // most 1000); a statement also ends once it passes about 256 KB.
    explicit CReplaceTarget(CDatabase& database, std::size_t rowsPerStatement = 500);

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    void ExecuteSQL(const std::string& statement) override;
    void EndTable() override;
    void CommitRun() override;
    void Close() noexcept override;

private:
    void Flush();

    CDatabase& m_database;
    std::size_t m_nRowsPerStatement;
    std::string m_strTable;      // the table of the rows held back
    std::string m_strHead;       // "insert into T(cols) values " of those rows
    std::string m_strPending;    // the statement being collected
    std::size_t m_nPending = 0;  // rows in it
    std::size_t m_nSent = 0;     // rows of the table sent before it
};
