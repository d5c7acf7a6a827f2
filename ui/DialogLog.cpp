#include "ui/DialogLog.h"

#include <utility>

#include "dbaccess/Exceptions.h"
#include "ui/BrimlowDlg.h"
#include "ui/RunLogLines.h"

namespace {

// A cancel or a stop: never a failure.
bool IsUserAbort(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CUserException&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

void CDialogLog::AppendLog(const std::string& line) {
    if (std::exchange(m_bProgressShown, false)) {
        m_dialog.RemoveLastLogLine();
    }
    m_dialog.AppendLog(line.c_str());
}

void CDialogLog::OnTableStart(const CTableProgress& table) {
    m_dialog.AppendLog(runlines::Progress(table).c_str());
    m_bProgressShown = true;
}

void CDialogLog::OnRowProgress(const CTableProgress& table) {
    if (m_bProgressShown) {
        m_dialog.ReplaceLastLogLine(runlines::Progress(table));
    }
}

void CDialogLog::OnStopped(const CTableProgress* table) {
    const std::string line = m_bInDoubt ? runlines::StoppedInDoubt(table)
                             : table != nullptr && m_dialog.IsReplacing()
                                 ? runlines::StoppedUnchanged(*table)
                                 : runlines::Stopped(table);
    ShowEndLine(table, line);
}

void CDialogLog::OnFailed(const CTableProgress* table) {
    m_bFailed = true;
    if (m_bInDoubt) {
        ShowEndLine(table, runlines::LostInDoubt(table));
        m_bFailureShown = true;
    } else if (table != nullptr && std::exchange(m_bProgressShown, false)) {
        m_dialog.ReplaceLastLogLine(m_dialog.IsReplacing() ? runlines::FailedUnchanged(*table)
                                                           : runlines::Failed(*table));
        m_bFailureShown = true;
    } else if (table != nullptr) {
        m_failedTable = *table;
    }
}

void CDialogLog::ShowFailure(const std::exception_ptr& error) {
    if (!m_bFailed || m_bFailureShown || IsUserAbort(error)) {
        return;
    }
    // A table that failed before it started (its recordset did not open) is the one after
    // the last that ended.
    if (!m_failedTable && m_nTablesEnded < m_plan.size()) {
        m_failedTable = m_plan[m_nTablesEnded];
    }
    const CTableProgress* table = m_failedTable ? &*m_failedTable : nullptr;
    m_dialog.AppendLog(
        table != nullptr && m_dialog.IsReplacing()
            ? runlines::FailedUnchanged(*table).c_str()
            : runlines::FailedWithoutRows(table, runlines::ShortReason(error, table != nullptr))
                  .c_str());
}

void CDialogLog::ShowEndLine(const CTableProgress* table, const std::string& line) {
    if (table != nullptr && std::exchange(m_bProgressShown, false)) {
        m_dialog.ReplaceLastLogLine(line);
    } else {
        m_dialog.AppendLog(line.c_str());
    }
}
