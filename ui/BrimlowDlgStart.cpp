#include <utility>

#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "ui/BrimlowDlg.h"

// A run executes inside the start button's handler. The only window events it lets through
// are painting and the window manager's requests (PumpPaint); keyboard and mouse input waits
// in the queue until the run ends.

// Marks a run as in progress for its scope, on a normal return as well as when an exception
// leaves the run. While it lasts, the start and browse buttons and the path box are disabled,
// so nothing can start a second run on the same database objects or change the path under
// the run. At its end it dispatches the input that queued up meanwhile while those controls
// are still disabled, so that clicks and typing aimed at them come to nothing instead of
// being replayed once they are enabled again; then it enables them and carries out a close
// that was asked for during the run.
class CBrimlowDlg::CRunInProgress {
public:
    explicit CRunInProgress(CBrimlowDlg& dialog)
        : m_dialog(dialog), m_focusBefore(wxWindow::FindFocus()) {
        m_dialog.m_bRunInProgress = true;
        EnableRunControls(false);
    }

    ~CRunInProgress() {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            loop->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT);
        }
        // The log box stays enabled; a click or an arrow key in it during the run has just
        // moved its caret. The run left the caret at the end of the log: put it back there.
        m_dialog.ShowLogEnd();
        EnableRunControls(true);
        // GTK takes the focus away from a control that is disabled; give it back.
        if (IsRunControl(m_focusBefore)) {
            m_focusBefore->SetFocus();
        }
        m_dialog.m_bRunInProgress = false;
        if (std::exchange(m_dialog.m_bCloseRequested, false)) {
            m_dialog.Close();
        }
    }

    CRunInProgress(const CRunInProgress&) = delete;
    CRunInProgress& operator=(const CRunInProgress&) = delete;

private:
    void EnableRunControls(bool enable) {
        m_dialog.m_btnStart->Enable(enable);
        m_dialog.m_btnBrowse->Enable(enable);
        m_dialog.m_editPath->Enable(enable);
    }

    bool IsRunControl(const wxWindow* window) const {
        return window != nullptr &&
               (window == m_dialog.m_btnStart || window == m_dialog.m_btnBrowse ||
                window == m_dialog.m_editPath);
    }

    CBrimlowDlg& m_dialog;
    wxWindow* m_focusBefore;
};

void CBrimlowDlg::OnStart(wxCommandEvent& /*event*/) {
    // The button is disabled during a run; this catches a click queued by other means.
    if (m_bRunInProgress) {
        return;
    }
    const CRunInProgress running(*this);
    const wxBusyCursor wait;
    RunMigration();
}

void CBrimlowDlg::OnClose(wxCloseEvent& event) {
    // Closing ends the modal loop while the run's handler is still on the stack; the
    // window closes when the run is over instead.
    if (m_bRunInProgress) {
        m_bCloseRequested = true;
        if (event.CanVeto()) {
            event.Veto();
        }
        return;
    }
    // As the Esc key and the close box did on Windows: the dialog ends with wxID_CANCEL.
    // (wx's default would click the exit button, the only button with a standard id.)
    EndDialog(wxID_CANCEL);
}
