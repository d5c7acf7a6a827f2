#include <wx/button.h>

#include "dbaccess/Exceptions.h"
#include "migration/RunSettings.h"
#include "migration/target/ConnectionString.h"
#include "ui/BrimlowDlg.h"
#include "ui/ExistingRowsQuestion.h"

// The start button's tooltip names the target the next run writes to. It is resolved again,
// creating nothing, whenever the pointer comes to the button and after each run, since a data
// source may be added or removed while the dialog is open; during a run it names the run's
// own target, the one resolution the run uses.

void CBrimlowDlg::ShowNextTarget() {
    m_btnStart->SetToolTip(wxString::FromUTF8(DescribeBuiltInTarget()));
}

void CBrimlowDlg::ResolveRunTarget() {
    try {
        m_runTarget = ResolveTarget(kTargetConnection);
        m_btnStart->SetToolTip(
            wxString::FromUTF8("移行先: " + JapaneseTargetName(m_runTarget->description)));
    } catch (const CException&) {
        // The run's open fails with the reason; the tooltip says it already.
        m_runTarget.reset();
        ShowNextTarget();
    }
}

void CBrimlowDlg::OnStartButtonEnter(wxMouseEvent& event) {
    if (!m_bRunInProgress) {
        ShowNextTarget();
    }
    event.Skip();
}

ExistingRowsChoice CBrimlowDlg::AskAboutExistingRows(const CExistingRows& existing) {
    return ShowExistingRowsQuestion(this, existing);
}
