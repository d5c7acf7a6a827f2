#pragma once

#include <cstddef>
#include <string>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"

class CBrimlowDlg;

// The dialog's log as a run shows it, on the window's thread: while a table is copied, and
// while the tables are read back to verify the copy, the log's last line shows its progress;
// the table's own line (or the completion line) replaces it when the table (or the
// verification) is done, and the line that says how a run ended where that needs telling
// (RunLogLines.h: a run that did not complete, what the verification found) takes its place,
// or comes below when nothing was in progress. One per run; it hears the run's
// events as the run's thread posts them (DialogRun.h), in order.
class CDialogLog {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}

    CBrimlowDlg& Dialog() const noexcept { return m_dialog; }

    void AppendLog(const std::string& line);
    void OnTableStart(const CTableProgress& table);
    void OnRowProgress(const CTableProgress& table);
    void OnVerifyStart(std::size_t total);
    void OnVerifyProgress(std::size_t done, std::size_t total);
    // appended: the run added its rows to tables that held some (runlines::Verified).
    void OnRunEnd(const CRunOutcome& outcome, bool appended = false);

private:
    CBrimlowDlg& m_dialog;
    // Shows line as the log's last line, in place of the progress shown, or below the log.
    void ShowProgress(const std::string& line);

    bool m_bProgressShown = false;  // the log's last line is a table's or a verification's
                                    // progress
};
