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
//
// A run's first line is its header (runlines::Header): the time, the file and the target when
// the run starts, completed with how the run writes once that is known (after the target's
// tables were counted and any question answered); a run that ends before keeps it as it is.
class CDialogLog {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}

    CBrimlowDlg& Dialog() const noexcept { return m_dialog; }

    // Writes the run's header as the log's next line, without its mode.
    void Begin(const std::string& time, const std::string& path, const std::string& target);
    // The run's mode ("new", "append", "replace") is known: the header says it.
    void OnModeKnown(const std::string& mode);

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

    // The header's parts, and where its line starts in the dialog's log (none: not written).
    std::string m_strTime, m_strPath, m_strTarget;
    std::size_t m_headerStart = std::string::npos;

    bool m_bProgressShown = false;  // the log's last line is a table's or a verification's
                                    // progress
};
