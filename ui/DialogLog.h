#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"

class CBrimlowDlg;

// The dialog's log as a run shows it, on the window's thread: while a table is copied, the
// log's last line shows its progress; the table's own line replaces it when the table is
// done, and a stop or a failure replaces it with where the run ended. One per run; it hears
// the run's events as the run's thread posts them (DialogRun.h), in order.
class CDialogLog {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}

    CBrimlowDlg& Dialog() const noexcept { return m_dialog; }

    void AppendLog(const std::string& line);
    void OnRunStart(const std::vector<CTableProgress>& tables) { m_plan = tables; }
    void OnTableStart(const CTableProgress& table);
    void OnRowProgress(const CTableProgress& table);
    void OnTableEnd() { ++m_nTablesEnded; }
    void OnOutcomeUnknown() { m_bInDoubt = true; }
    void OnStopped(const CTableProgress* table);
    void OnFailed(const CTableProgress* table);
    // A failure that left no line (before any row of a table, or before the first table)
    // gets one, before its message box.
    void ShowFailure(const std::exception_ptr& error);

private:
    // Where the run ended: in place of the table's progress line when it shows, else below.
    void ShowEndLine(const CTableProgress* table, const std::string& line);

    CBrimlowDlg& m_dialog;
    bool m_bProgressShown = false;  // the log's last line is a table's progress
    // The run failed (a stop is not a failure); the log's last line says where; the table
    // the run failed in before its first row.
    bool m_bFailed = false;
    bool m_bFailureShown = false;
    std::optional<CTableProgress> m_failedTable;
    std::vector<CTableProgress> m_plan;  // the run's tables, once both databases are open
    std::size_t m_nTablesEnded = 0;
    bool m_bInDoubt = false;  // what was in flight may or may not be in the target
};
