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

// The main dialog with its protected members open to the tests, and a stand-in for the
// migration run.
class CTestDlg : public CBrimlowDlg {
public:
    using CBrimlowDlg::m_hIcon;
    using CBrimlowDlg::m_strLog;
    using CBrimlowDlg::m_strPath;

    // What the start button runs instead of a migration; unset, nothing.
    std::function<void(CTestDlg&)> run;

    // The dialog's own migration run, for tests that want the real one.
    void RunRealMigration() { CBrimlowDlg::RunMigration(); }

    wxButton& ExitButton() { return Control<wxButton>(wxID_OK); }
    wxButton& StartButton() { return Control<wxButton>(IDC_START); }
    wxButton& BrowseButton() { return Control<wxButton>(IDC_BROWSE); }
    wxTextCtrl& LogBox() { return Control<wxTextCtrl>(IDC_LOG); }
    wxTextCtrl& PathBox() { return Control<wxTextCtrl>(IDC_PATH); }

    // Sends the click of the button with this id, as GTK would.
    void Click(int id);

private:
    template <typename T>
    T& Control(int id) {
        return dynamic_cast<T&>(*FindWindow(id));
    }

    void RunMigration() override {
        if (run) {
            run(*this);
        }
    }
};

// Lets everything queued run: GTK events, wx's pending events and idle processing.
void Flush();

// Runs body inside dlg's modal loop, as the program does, raised so that real input reaches
// it, and ends the dialog with wxID_IGNORE when body returns and nothing else ended it; a
// watchdog ends it with wxID_ABORT after watchdogMs. Returns what ShowModal returned.
int InModalLoop(CTestDlg& dlg, const std::function<void()>& body, int watchdogMs = 10000);

}  // namespace guitest
