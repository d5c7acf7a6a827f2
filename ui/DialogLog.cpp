#include "ui/DialogLog.h"

#include <utility>

#include "ui/BrimlowDlg.h"
#include "ui/RunLogLines.h"

void CDialogLog::Begin(const std::string& time, const std::string& path,
                       const std::string& target) {
    m_strTime = time;
    m_strPath = path;
    m_strTarget = target;
    m_headerStart = m_dialog.AppendLogLine(runlines::Header(time, path, target));
}

void CDialogLog::OnModeKnown(const std::string& mode) {
    if (m_headerStart != std::string::npos) {
        m_dialog.ReplaceLogLine(m_headerStart,
                                runlines::Header(m_strTime, m_strPath, m_strTarget, mode));
    }
}

void CDialogLog::AppendLog(const std::string& line) {
    if (std::exchange(m_bProgressShown, false)) {
        m_dialog.RemoveLastLogLine();
    }
    m_dialog.AppendLog(line.c_str());
}

void CDialogLog::OnTableStart(const CTableProgress& table) {
    // A replacing run logs its tables once they are committed: the progress line of the table
    // before is still shown, and gives way to this one.
    ShowProgress(runlines::Progress(table));
}

void CDialogLog::OnRowProgress(const CTableProgress& table) {
    if (m_bProgressShown) {
        m_dialog.ReplaceLastLogLine(runlines::Progress(table));
    }
}

void CDialogLog::OnVerifyStart(std::size_t total) {
    ShowProgress(runlines::Verifying(0, total));
}

void CDialogLog::OnVerifyProgress(std::size_t done, std::size_t total) {
    if (m_bProgressShown) {
        m_dialog.ReplaceLastLogLine(runlines::Verifying(done, total));
    }
}

void CDialogLog::ShowProgress(const std::string& line) {
    if (m_bProgressShown) {
        m_dialog.ReplaceLastLogLine(line);
    } else {
        m_dialog.AppendLog(line.c_str());
        m_bProgressShown = true;
    }
}

void CDialogLog::OnRunEnd(const CRunOutcome& outcome, bool appended) {
    const std::string line = runlines::EndLine(outcome, appended);
    if (line.empty()) {
        return;
    }
    if (std::exchange(m_bProgressShown, false)) {
        m_dialog.ReplaceLastLogLine(line);
    } else {
        m_dialog.AppendLog(line.c_str());
    }
}
