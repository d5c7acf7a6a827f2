#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <wx/textctrl.h>

#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "migration/target/DialogTarget.h"
#include "ui/BrimlowDlg.h"
#include "ui/RunLogLines.h"
#include "ui/Utf8.h"

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

// The dialog as the run's display. While a table is copied, the log's last line shows its
// progress; the table's own line replaces it when the table is done, and a stop or a
// failure replaces it with where the run ended. The heartbeat lets the window repaint and
// take a stop.
class CDialogLog final : public IRunObserver {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}

    void AppendLog(const std::string& line) override {
        if (std::exchange(m_bProgressShown, false)) {
            m_dialog.RemoveLastLogLine();
        }
        m_dialog.AppendLog(line.c_str());
    }
    void OnProgress() override { m_dialog.PumpPaint(); }
    void OnRunStart(const std::vector<CTableProgress>& tables) override { m_plan = tables; }
    void OnTableEnd(const CTableProgress& /*table*/) override { ++m_nTablesEnded; }
    void OnTableStart(const CTableProgress& table) override {
        m_dialog.AppendLog(runlines::Progress(table).c_str());
        m_bProgressShown = true;
    }
    void OnRowProgress(const CTableProgress& table) override {
        m_dialog.ReplaceLastLogLine(runlines::Progress(table));
        m_dialog.PumpPaint();
    }
    void OnOutcomeUnknown(const CTableProgress* /*table*/, UnknownOutcome /*what*/) override {
        m_bInDoubt = true;
    }
    void OnStopped(const CTableProgress* table) override {
        const std::string line = m_bInDoubt ? runlines::StoppedInDoubt(table)
                                 : table != nullptr && m_dialog.IsReplacing()
                                     ? runlines::StoppedUnchanged(*table)
                                     : runlines::Stopped(table);
        ShowEndLine(table, line);
    }
    void OnFailed(const CTableProgress* table) override {
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
    // A failure that left no line (before any row of a table, or before the first table)
    // gets one, before its message box.
    void ShowFailure(const std::exception_ptr& error) {
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
    bool IsStopRequested() override { return m_dialog.IsStopRequested(); }

private:
    // Where the run ended: in place of the table's progress line when it shows, else below.
    void ShowEndLine(const CTableProgress* table, const std::string& line) {
        if (table != nullptr && std::exchange(m_bProgressShown, false)) {
            m_dialog.ReplaceLastLogLine(line);
        } else {
            m_dialog.AppendLog(line.c_str());
        }
    }

    CBrimlowDlg& m_dialog;
    bool m_bProgressShown = false;  // the log's last line is a table's progress
    // The run failed (a stop is not a failure); the log's last line says where; the table
    // the run failed in before its first row.
    bool m_bFailed = false;
    bool m_bFailureShown = false;
    std::optional<CTableProgress> m_failedTable;
    std::vector<CTableProgress> m_plan;  // the run's tables, once both databases are open
    size_t m_nTablesEnded = 0;
    bool m_bInDoubt = false;  // what was in flight may or may not be in the target
};

}  // namespace

// The run works on the dialog's own database objects, which keep their state from one run
// to the next.
void CBrimlowDlg::RunMigration() {
    CDaoSource source(m_workspace, m_sourceDb);
    CDialogTarget target(m_targetDb, m_runTarget, [this](const CExistingRows& existing) {
        return AskAboutExistingRows(existing);
    });
    RunOn(source, target);
}

// The path is read from the path box when the source is about to be opened.
void CBrimlowDlg::RunOn(ISourceDatabase& source, ITargetDatabase& target) {
    CDialogLog log(*this);
    try {
        CMigrationRun(source, target, log)
            .Run(
                [this] {
                    UpdateData(true);
                    return m_strPath;
                },
                kTargetConnection);
    } catch (...) {
        log.ShowFailure(std::current_exception());
        throw;
    }
}

void CBrimlowDlg::ReplaceLastLogLine(const std::string& text) {
    const size_t start = m_strLog.rfind('\n') + 1;  // 0 when there is no line break
    const long oldLength = static_cast<long>(WxFromUtf8(m_strLog.substr(start)).length());
    m_strLog.replace(start, std::string::npos, text);
    const long end = m_editLog->GetLastPosition();
    m_editLog->Replace(end - oldLength, end, WxFromUtf8(text));
    ShowLogEnd();
}

void CBrimlowDlg::RemoveLastLogLine() {
    const size_t lineBreak = m_strLog.rfind('\n');
    m_strLog.erase(lineBreak == std::string::npos ? 0 : lineBreak);
}
