#include <memory>
#include <utility>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/cursor.h>
#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "ui/BrimlowDlg.h"
#include "ui/RunInputFilter.h"
#include "ui/Texts.h"

// A run executes inside the start button's handler. The only window events it lets through
// are painting, the window manager's requests and the input that stops the run (PumpPaint);
// other keyboard and mouse input comes to nothing.

namespace {

constexpr const char* kStopLabel = "中止";

// The question before a run is stopped for the window to close. Japanese in every locale,
// as the dialog's own labels are.
constexpr const char* kCloseQuestion = "移行中です。中止して終了しますか？";
constexpr const char* kStopAndClose = "中止して終了";
constexpr const char* kGoOn = "続ける";

}  // namespace

// Marks a run as in progress for its scope, on a normal return as well as when an exception
// leaves the run. While it lasts, the start button reads 中止, keeps the focus and stops the
// run; the browse button and the path box are disabled, so nothing can start a second run on
// the same database objects or change the path under the run. At its end it dispatches the
// input that queued up meanwhile while those controls are still disabled and the filter
// still holds, so that clicks and typing aimed at them come to nothing instead of being
// replayed once they are enabled again; then it enables them and carries out an exit or a
// close that was asked for during the run.
class CBrimlowDlg::CRunInProgress {
public:
    explicit CRunInProgress(CBrimlowDlg& dialog)
        : m_dialog(dialog), m_focusBefore(wxWindow::FindFocus()) {
        m_dialog.m_bRunInProgress = true;
        m_dialog.m_bStopRequested = false;
        m_dialog.m_bExitRequested = false;
        m_dialog.m_bReplacing = false;
        EnableRunControls(false);
        m_dialog.m_btnStart->SetLabel(wxString::FromUTF8(kStopLabel));
        m_dialog.m_btnStart->SetFocus();
        m_filter =
            std::make_unique<CRunInputFilter>(m_dialog, *m_dialog.m_btnStart, *m_dialog.m_btnExit,
                                              [this] { m_dialog.RequestStop(); });
    }

    ~CRunInProgress() {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            loop->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT);
        }
        m_filter.reset();
        // The log box stays enabled; the run left the caret at the end of the log: keep it.
        m_dialog.ShowLogEnd();
        EnableRunControls(true);
        m_dialog.m_btnStart->SetLabel(wxString::FromUTF8(texts::kStart));
        // GTK takes the focus away from a control that is disabled; give it back.
        if (IsRunControl(m_focusBefore)) {
            m_focusBefore->SetFocus();
        }
        m_dialog.m_bRunInProgress = false;
        m_dialog.m_runTarget.reset();
        m_dialog.ShowNextTarget();
        const bool bExit = std::exchange(m_dialog.m_bExitRequested, false);
        const bool bClose = std::exchange(m_dialog.m_bCloseRequested, false);
        if (bExit) {
            m_dialog.AcceptAndClose();
        } else if (bClose) {
            m_dialog.Close();
        }
    }

    CRunInProgress(const CRunInProgress&) = delete;
    CRunInProgress& operator=(const CRunInProgress&) = delete;

private:
    void EnableRunControls(bool enable) {
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
    std::unique_ptr<CRunInputFilter> m_filter;
};

void CBrimlowDlg::OnStart(wxCommandEvent& /*event*/) {
    // During a run the button reads 中止.
    if (m_bRunInProgress) {
        RequestStop();
        return;
    }
    const CRunInProgress running(*this);
    const wxBusyCursor wait;
    ResolveRunTarget();
    RunMigration();
}

void CBrimlowDlg::RequestStop() noexcept {
    if (m_bRunInProgress) {
        m_bStopRequested = true;
    }
}

bool CBrimlowDlg::AskStopAndClose() {
    // The run waits while the question is open. A second close or exit meanwhile asks
    // nothing more.
    if (m_bAskingToClose) {
        return false;
    }
    m_bAskingToClose = true;
    const wxBusyCursorSuspender notBusy;  // the question waits for the user, not the run
    wxMessageDialog question(this, wxString::FromUTF8(kCloseQuestion), wxTheApp->GetAppName(),
                             wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
    question.SetYesNoLabels(wxString::FromUTF8(kStopAndClose), wxString::FromUTF8(kGoOn));
    const bool stop = question.ShowModal() == wxID_YES;
    m_bAskingToClose = false;
    return stop;
}

void CBrimlowDlg::OnExit(wxCommandEvent& event) {
    // Ending the modal loop while the run's handler is still on the stack would leave the
    // run behind: once the user agrees, stop it, and end the dialog when it is over.
    if (m_bRunInProgress) {
        if (AskStopAndClose()) {
            m_bExitRequested = true;
            RequestStop();
        }
        return;
    }
    event.Skip();
}

void CBrimlowDlg::OnClose(wxCloseEvent& event) {
    // Closing ends the modal loop while the run's handler is still on the stack; the run is
    // stopped, once the user agrees, and the window closes when it is over instead. A close
    // that cannot be vetoed (the session ends) stops the run without asking.
    if (m_bRunInProgress) {
        if (!event.CanVeto() || AskStopAndClose()) {
            m_bCloseRequested = true;
            RequestStop();
        }
        if (event.CanVeto()) {
            event.Veto();
        }
        return;
    }
    // As the Esc key and the close box did on Windows: the dialog ends with wxID_CANCEL.
    // (wx's default would click the exit button, the only button with a standard id.)
    EndDialog(wxID_CANCEL);
}
