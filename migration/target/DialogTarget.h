#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/TargetResolution.h"

class CDatabase;

// What the target's tables held when the dialog's run connected.
struct CTargetTableRows {
    std::string table;
    std::optional<std::size_t> rows;  // none: the count failed, which counts as rows
};

struct CExistingRows {
    std::vector<CTargetTableRows> tables;  // the catalogue's tables, in its order
    // The driver can run transactions, so a replacing run is possible (the rollback probe
    // comes once it is chosen).
    bool canReplace = false;
};

// The user's answer when the target's tables already hold rows.
enum class ExistingRowsChoice {
    Replace,  // empty the eight tables and insert every row in one transaction
    Append,   // insert every row again, one committed statement per row
    Cancel,   // send nothing
};

// Asked once per run, before the first row, when a table holds rows.
using ExistingRowsAsker = std::function<ExistingRowsChoice(const CExistingRows&)>;

// Thrown out of Open when the user cancels; never shown as an error.
class CRunCancelled : public CUserException {
public:
    CRunCancelled() : CUserException("The migration was cancelled.") {}
};

// The dialog's target: one committed statement per row, as COdbcTarget, unless the target's
// eight tables already hold rows. Then, before anything is sent, it asks what to do: insert
// every row again, replace the tables' contents in one transaction (as brimlow-migrate
// --replace does, on the same connection), or cancel. The rows are counted with one
// "select count(*)" per table on the run's own connection; a count that fails counts as rows.
class CDialogTarget final : public ITargetDatabase {
public:
    CDialogTarget(CDatabase& database, std::optional<CResolvedTarget> resolved,
                  ExistingRowsAsker ask);
    // After a replacing run, closes the connection: what was not committed is rolled back.
    ~CDialogTarget() override;
    CDialogTarget(const CDialogTarget&) = delete;
    CDialogTarget& operator=(const CDialogTarget&) = delete;

    bool IsOpen() const noexcept override;
    // Connects, looks at the eight tables and their columns (TargetTables.h: a missing one
    // fails before anything is asked), counts, and asks when a table holds rows. Throws
    // CRunCancelled (connection closed) on Cancel, and CDBException when the connection, or for
    // Replace the rollback probe, the lock or the emptying, fails (nothing is then changed).
    void Open(const std::string& connect) override;
    void SetWatch(std::shared_ptr<CRunWatch> watch) override;
    // Told when the driver's kind and the server's name disagree (TargetConnect.h).
    void SetKindNote(KindNote note) { m_perRow.SetKindNote(std::move(note)); }
    // Told when Replace into PostgreSQL keeps the insert path: why COPY was not used.
    void SetBulkNote(std::function<void(const CBulkUnusable& why)> note) {
        m_bulkNote = std::move(note);
    }
    // How a replacing run's rows went in (CReplaceTarget::BulkPath); empty for a per-row run.
    std::string BulkPath() const { return m_replace ? m_replace->BulkPath() : std::string(); }
    std::string Describe() const override;
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override;
    void CommitRun() override;
    bool CommitsAtEnd() const override { return IsReplacing(); }
    std::optional<std::size_t> CountRows(const std::string& table) override;
    bool RowsUncounted() const override;
    // Read back through whichever target wrote the rows.
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns) override {
        return Active().ReadBackPadding(table, columns);
    }
    std::unique_ptr<ITableReader> ReadBack(const std::string& table,
                                           const std::vector<std::string>& columns) override {
        return Active().ReadBack(table, columns);
    }
    void Close() noexcept override;

    // True once Replace was chosen: nothing of the run is kept unless it completes.
    bool IsReplacing() const noexcept { return m_replace.has_value(); }

private:
    ITargetDatabase& Active() {
        return m_replace ? static_cast<ITargetDatabase&>(*m_replace) : m_perRow;
    }

    CDatabase& m_database;
    ExistingRowsAsker m_ask;
    COdbcTarget m_perRow;
    std::optional<CReplaceTarget> m_replace;
    std::shared_ptr<CRunWatch> m_watch;  // given to whichever target is active
    std::function<void(const CBulkUnusable&)> m_bulkNote;
};

// The rows each catalogue table of the target holds, on an open connection.
std::vector<CTargetTableRows> CountTargetRows(CDatabase& database);
