#pragma once

#include <string>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"

class CBrimlowDlg;

// The dialog's log as a run shows it, on the window's thread: while a table is copied, the
// log's last line shows its progress; the table's own line replaces it when the table is
// done, and the line that says how a run that did not complete ended (RunLogLines.h) takes
// its place, or comes below when no table was in progress. One per run; it hears the run's
// events as the run's thread posts them (DialogRun.h), in order.
class CDialogLog {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}

    CBrimlowDlg& Dialog() const noexcept { return m_dialog; }

    void AppendLog(const std::string& line);
    void OnTableStart(const CTableProgress& table);
    void OnRowProgress(const CTableProgress& table);
    void OnRunEnd(const CRunOutcome& outcome);

private:
    CBrimlowDlg& m_dialog;
    bool m_bProgressShown = false;  // the log's last line is a table's progress
};
