#include "ui/DialogLog.h"

#include <utility>

#include "ui/BrimlowDlg.h"
#include "ui/RunLogLines.h"

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

void CDialogLog::OnRunEnd(const CRunOutcome& outcome) {
    const std::string line = runlines::EndLine(outcome);
    if (line.empty()) {
        return;
    }
    if (std::exchange(m_bProgressShown, false)) {
        m_dialog.ReplaceLastLogLine(line);
    } else {
        m_dialog.AppendLog(line.c_str());
    }
}
