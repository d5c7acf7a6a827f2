#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/OdbcTarget.h"
#include "migration/RunSettings.h"
#include "ui/BrimlowDlg.h"

namespace {

// The dialog as the run's log: lines go to the log box, and the heartbeat during a long
// table lets the window repaint.
class CDialogLog final : public IRunObserver {
public:
    explicit CDialogLog(CBrimlowDlg& dialog) : m_dialog(dialog) {}
    void AppendLog(const std::string& line) override { m_dialog.AppendLog(line.c_str()); }
    void OnProgress() override { m_dialog.PumpPaint(); }

private:
    CBrimlowDlg& m_dialog;
};

}  // namespace

// The run works on the dialog's own database objects, which keep their state from one run
// to the next. The path is read from the path box when the source is about to be opened.
void CBrimlowDlg::RunMigration() {
    CDaoSource source(m_workspace, m_sourceDb);
    COdbcTarget target(m_targetDb);
    CDialogLog log(*this);
    CMigrationRun(source, target, log)
        .Run(
            [this] {
                UpdateData(true);
                return m_strPath;
            },
            kTargetConnection);
}
