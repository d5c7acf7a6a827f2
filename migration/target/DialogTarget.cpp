#include "migration/target/DialogTarget.h"

#include <algorithm>
#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/target/TargetTables.h"

std::vector<CTargetTableRows> CountTargetRows(CDatabase& database) {
    std::vector<CTargetTableRows> tables;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        tables.push_back({entry.table, CountTableRows(database, entry.table)});
    }
    return tables;
}

CDialogTarget::CDialogTarget(CDatabase& database, std::optional<CResolvedTarget> resolved,
                             ExistingRowsAsker ask)
    : m_database(database), m_ask(std::move(ask)), m_perRow(database, std::move(resolved)) {
    // The per-row target's Open takes the run lock before the rows are counted, so that the
    // question and the run see the same target; a replace chosen then runs on that connection
    // under that lock.
    m_perRow.SetRunMode(RunMode::Dialog);
}

CDialogTarget::~CDialogTarget() {
    // A replacing run that did not commit holds the tables' lock and its transaction until
    // the connection closes: roll it back now rather than at the next run.
    if (m_replace) {
        Close();
    }
}

bool CDialogTarget::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void CDialogTarget::Open(const std::string& connect) {
    m_replace.reset();
    m_perRow.Open(connect);
    CExistingRows existing;
    m_perRow.RunWatched([this, &existing] {
        existing = {CountTargetRows(m_database), m_database.CanTransact()};
    });
    const bool hasRows =
        std::any_of(existing.tables.begin(), existing.tables.end(),
                    [](const CTargetTableRows& t) { return !t.rows || *t.rows > 0; });
    if (!hasRows) {
        return;
    }
    switch (m_ask(existing)) {
        case ExistingRowsChoice::Append:
            return;
        case ExistingRowsChoice::Replace:
            if (existing.canReplace) {
                // On the connection just made, to the target it was made to.
                m_replace.emplace(m_database);
                m_replace->SetWatch(m_watch);
                m_replace->SetBulkNote(m_bulkNote);
                try {
                    m_replace->TakeOver(m_perRow.Target(), m_perRow.Kind());
                } catch (...) {
                    Close();
                    throw;
                }
                return;
            }
            break;
        case ExistingRowsChoice::Cancel:
            break;
    }
    m_perRow.Close();
    throw CRunCancelled();
}

void CDialogTarget::SetWatch(std::shared_ptr<CRunWatch> watch) {
    m_watch = std::move(watch);
    m_perRow.SetWatch(m_watch);
    if (m_replace) {
        m_replace->SetWatch(m_watch);
    }
}

std::string CDialogTarget::Describe() const {
    return m_perRow.Describe();
}

void CDialogTarget::InsertRow(const CInsertItemList& row) {
    Active().InsertRow(row);
}

void CDialogTarget::EndTable() {
    Active().EndTable();
}

void CDialogTarget::CommitRun() {
    Active().CommitRun();
}

std::optional<std::size_t> CDialogTarget::CountRows(const std::string& table) {
    return Active().CountRows(table);
}

bool CDialogTarget::RowsUncounted() const {
    return m_replace ? m_replace->RowsUncounted() : m_perRow.RowsUncounted();
}

void CDialogTarget::Close() noexcept {
    if (m_replace) {
        m_replace->Close();
    }
    m_perRow.Close();
}
