#include <string>
#include <utility>

#include <wx/textctrl.h>

#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "migration/target/OdbcTarget.h"
#include "ui/BrimlowDlg.h"
#include "ui/RunLogLines.h"
#include "ui/Utf8.h"

namespace {

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
        const std::string line =
            m_bInDoubt ? runlines::StoppedInDoubt(table) : runlines::Stopped(table);
        if (table != nullptr && std::exchange(m_bProgressShown, false)) {
            m_dialog.ReplaceLastLogLine(line);
        } else {
            m_dialog.AppendLog(line.c_str());
        }
    }
    void OnFailed(const CTableProgress* table) override {
        if (m_bInDoubt) {
            const std::string line = runlines::LostInDoubt(table);
            if (table != nullptr && std::exchange(m_bProgressShown, false)) {
                m_dialog.ReplaceLastLogLine(line);
            } else {
                m_dialog.AppendLog(line.c_str());
            }
        } else if (table != nullptr && std::exchange(m_bProgressShown, false)) {
            m_dialog.ReplaceLastLogLine(runlines::Failed(*table));
        }
    }
    bool IsStopRequested() override { return m_dialog.IsStopRequested(); }

private:
    CBrimlowDlg& m_dialog;
    bool m_bProgressShown = false;  // the log's last line is a table's progress
    bool m_bInDoubt = false;        // what was in flight may or may not be in the target
};

}  // namespace

// The run works on the dialog's own database objects, which keep their state from one run
// to the next.
void CBrimlowDlg::RunMigration() {
    CDaoSource source(m_workspace, m_sourceDb);
    COdbcTarget target(m_targetDb);
    RunOn(source, target);
}

// The path is read from the path box when the source is about to be opened.
void CBrimlowDlg::RunOn(ISourceDatabase& source, ITargetDatabase& target) {
    CDialogLog log(*this);
    CMigrationRun(source, target, log)
        .Run(
            [this] {
                UpdateData(true);
                return m_strPath;
            },
            kTargetConnection);
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
