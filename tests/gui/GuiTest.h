#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/textctrl.h>

#include "ui/BrimlowDlg.h"
#include "ui/DialogRun.h"
#include "ui/Resource.h"
#include "ui/Utf8.h"

// Helpers of the GUI tests. They run under Xvfb with nobody at the keyboard: modal dialogs
// are answered through a wxModalDialogHook instead of being shown, and input that has to be
// real comes from wxUIActionSimulator (XTest).
namespace guitest {

// A modal dialog as the hook saw it; texts in UTF-8.
struct CSeenDialog {
    std::string className;  // "wxGenericMessageDialog", "wxFileDialog", ...
    std::string title;
    std::string message;  // message boxes only
    std::string detail;   // message boxes only: the extended message
    long icon = 0;        // message boxes only: the wxICON_* bits of the style
};

// Answers the modal dialogs opened while it exists, one queued answer per dialog, in order,
// without showing them. A dialog nobody expected fails the test and gets wxID_CANCEL; an
// expected one that never came fails it too. The dialog under test (a CTestDlg) is shown
// for real.
class CDialogAnswerer : public wxModalDialogHook {
public:
    // Gets the dialog; returns what its ShowModal is to return.
    using Answer = std::function<int(wxDialog&)>;

    CDialogAnswerer() { Register(); }
    ~CDialogAnswerer() override;

    void Expect(Answer answer) { m_answers.push_back(std::move(answer)); }
    void ExpectAndReturn(int code) {
        Expect([code](wxDialog&) { return code; });
    }
    const std::vector<CSeenDialog>& Seen() const { return m_seen; }

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* /*dialog*/) override {}

private:
    std::deque<Answer> m_answers;
    std::vector<CSeenDialog> m_seen;
};

// The main dialog with its protected members open to the tests, and stand-ins for the
// migration run.
class CTestDlg : public CBrimlowDlg {
public:
    using CBrimlowDlg::BulkNoteLine;
    using CBrimlowDlg::m_hIcon;
    using CBrimlowDlg::m_strLog;
    using CBrimlowDlg::m_strPath;
    using CBrimlowDlg::RunRealMigration;

    // What the start button runs instead of a migration, on the window's thread while the
    // run's thread waits for it, so that it may act on the dialog during a run; what it
    // throws ends the run. Unset (and no runOnThread), nothing.
    std::function<void(CTestDlg&)> run;
    // A stand-in on the run's own thread (RunRealMigration, or a run on fakes); it must not
    // touch the dialog.
    RunWork runOnThread;

    wxButton& ExitButton() { return Control<wxButton>(wxID_OK); }
    wxButton& StartButton() { return Control<wxButton>(IDC_START); }
    wxButton& BrowseButton() { return Control<wxButton>(IDC_BROWSE); }
    wxTextCtrl& LogBox() { return Control<wxTextCtrl>(IDC_LOG); }
    wxTextCtrl& PathBox() { return Control<wxTextCtrl>(IDC_PATH); }

    // Sends the click of the button with this id, as GTK would. A click that starts a run
    // returns once the run has ended, the window's events handled meanwhile.
    void Click(int id);
    // Handles the window's events until no run is in progress (at most timeoutMs).
    void AwaitRunEnd(int timeoutMs = 60000);

private:
    template <typename T>
    T& Control(int id) {
        return dynamic_cast<T&>(*FindWindow(id));
    }

    RunWork MakeRunWork() override;
};

// A log as a test expects it whole, whatever the clock said: each run's header line left out
// (its own tests check it), and the time in the line after the completion ("1,512 件を 1 秒未満
// で移行しました。") written "N 秒".
std::string SteadyLog(const std::string& log);
// SteadyLog of the dialog's log box.
std::string SteadyLog(CTestDlg& dlg);

// Lets everything queued run: GTK events, wx's pending events and idle processing.
void Flush();

// On a run's thread: waits until done, asked on the window's thread, says true; fails the test
// after timeoutMs.
void AwaitOnRunThread(CDialogRun& run, const std::function<bool(CTestDlg&)>& done,
                      int timeoutMs = 10000);

// Runs body inside dlg's modal loop, as the program does, raised so that real input reaches
// it, and ends the dialog with wxID_IGNORE when body returns and nothing else ended it; a
// watchdog ends it with wxID_ABORT after watchdogMs. Returns what ShowModal returned.
int InModalLoop(CTestDlg& dlg, const std::function<void()>& body, int watchdogMs = 10000);

}  // namespace guitest
