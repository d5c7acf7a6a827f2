#include <utility>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/cursor.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "migration/RunThread.h"
#include "ui/BrimlowDlg.h"
#include "ui/DialogLog.h"
#include "ui/ErrorReport.h"
#include "ui/Texts.h"

// A run executes on a thread of its own. While it lasts, the start button reads 中止, keeps
// the focus and stops the run; the browse button and the path box are disabled, so nothing
// can change the path under the run or start a second one. Its end (EndRun) brings them
// back and carries out an exit or a close that was asked for during the run.

namespace {

constexpr const char* kStopLabel = "中止";

// The question before a run is stopped for the window to close. Japanese in every locale,
// as the dialog's own labels are.
// A replacing run keeps nothing it has not committed; any other keeps the rows it has sent.
constexpr const char* kCloseQuestion =
    "移行の途中です。中止して終了しますか？\n（ここまでに移行したデータは移行先に残ります。"
    "「置き換える」を選んだ場合は、移行先は元のままです）";
constexpr const char* kStopAndClose = "中止して終了";
constexpr const char* kGoOn = "続ける";

}  // namespace

CBrimlowDlg::~CBrimlowDlg() {
    if (m_bRunInProgress) {
        m_runThread->RequestStop();
        wxEndBusyCursor();
    }
}

void CBrimlowDlg::OnStart(wxCommandEvent& /*event*/) {
    // During a run the button reads 中止.
    if (m_bRunInProgress) {
        RequestStop();
        return;
    }
    m_focusBefore = wxWindow::FindFocus();
    m_bRunInProgress = true;
    m_bStopRequested = false;
    m_bExitRequested = false;
    m_bCloseRequested = false;
    EnableRunControls(false);
    m_btnStart->SetLabel(wxString::FromUTF8(kStopLabel));
    m_btnStart->SetFocus();
    wxBeginBusyCursor();
    ResolveRunTarget();
    StartRun();
}

void CBrimlowDlg::EndRun(const std::exception_ptr& error) {
    if (!m_bRunInProgress) {
        return;
    }
    m_runLog.reset();
    m_runThread.reset();
    wxEndBusyCursor();
    // The log box stays enabled; the run left the caret at the end of the log: keep it.
    ShowLogEnd();
    EnableRunControls(true);
    m_btnStart->SetLabel(wxString::FromUTF8(texts::kStart));
    // GTK takes the focus away from a control that is disabled; give it back.
    if (IsRunControl(m_focusBefore)) {
        m_focusBefore->SetFocus();
    }
    m_bRunInProgress = false;
    m_runTarget.reset();
    ShowNextTarget();
    // A cancel or a stop shows nothing; what is not of our family is the last resort's
    // business, as from any handler.
    if (error && !ReportHandlerError(error)) {
        std::rethrow_exception(error);
    }
    const bool bExit = std::exchange(m_bExitRequested, false);
    const bool bClose = std::exchange(m_bCloseRequested, false);
    if (bExit) {
        AcceptAndClose();
    } else if (bClose) {
        Close();
    }
}

void CBrimlowDlg::EnableRunControls(bool enable) {
    m_btnBrowse->Enable(enable);
    m_editPath->Enable(enable);
}

bool CBrimlowDlg::IsRunControl(const wxWindow* window) const {
    return window != nullptr &&
           (window == m_btnStart || window == m_btnBrowse || window == m_editPath);
}

void CBrimlowDlg::RequestStop(bool atOnce) noexcept {
    if (m_bRunInProgress) {
        m_bStopRequested = true;
        m_runThread->RequestStop(atOnce);
    }
}

bool CBrimlowDlg::AskStopAndClose() {
    // A second close or exit while the question is open asks nothing more.
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
    // Ending the modal loop would leave the run behind: once the user agrees, stop it, and
    // end the dialog when it is over.
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
    // The run is stopped, once the user agrees, and the window closes when it is over. A
    // close that cannot be vetoed (the session ends) stops the run without asking, and gives
    // up at once a call that blocks: the process ends within a second, and a run given up is
    // recorded in the history as it is given up, with what it left unknown.
    if (m_bRunInProgress) {
        if (!event.CanVeto() || AskStopAndClose()) {
            m_bCloseRequested = true;
            RequestStop(!event.CanVeto());
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
