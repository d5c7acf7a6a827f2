#include <gtest/gtest.h>

#include <wx/timer.h>
#include <wx/uiaction.h>

#include "tests/gui/GuiTest.h"

using guitest::CTestDlg;

namespace {

// Shows dlg modally and, once it is up, gives the focus to focus (unless null) and presses
// key on the virtual display's keyboard. Returns what ShowModal returned; a watchdog ends a
// dialog that ignored the key with wxID_ABORT, so that a failure cannot hang the run.
int PressInModal(CTestDlg& dlg, wxWindow* focus, int key) {
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.EndModal(wxID_ABORT); });
    dlg.CallAfter([&] {
        dlg.Raise();
        if (focus != nullptr) {
            focus->SetFocus();
        }
        guitest::Flush();
        wxUIActionSimulator keyboard;
        keyboard.MouseMove(dlg.GetScreenPosition() + wxPoint(5, 5));
        keyboard.Char(key);
        watchdog.StartOnce(5000);
    });
    return dlg.ShowModal();
}

}  // namespace

TEST(Keyboard, FocusStartsOnExitButton) {
    CTestDlg dlg;
    wxWindow* focus = nullptr;
    dlg.CallAfter([&] {
        guitest::Flush();
        focus = wxWindow::FindFocus();
        dlg.EndModal(wxID_OK);
    });
    dlg.ShowModal();
    EXPECT_EQ(&dlg.ExitButton(), focus);
}

// Enter right after start presses the exit button, which has the focus and is the default.
TEST(Keyboard, EnterAtStartEndsDialog) {
    CTestDlg dlg;
    EXPECT_EQ(wxID_OK, PressInModal(dlg, nullptr, WXK_RETURN));
}

// Neither text box wants Enter for itself: it presses the default button.
TEST(Keyboard, EnterInPathBoxEndsDialog) {
    CTestDlg dlg;
    EXPECT_EQ(wxID_OK, PressInModal(dlg, &dlg.PathBox(), WXK_RETURN));
}

TEST(Keyboard, EnterInLogBoxEndsDialog) {
    CTestDlg dlg;
    EXPECT_EQ(wxID_OK, PressInModal(dlg, &dlg.LogBox(), WXK_RETURN));
}

// Enter on another push button presses that button, not the default one.
TEST(Keyboard, EnterOnStartButtonStartsRun) {
    CTestDlg dlg;
    int runs = 0;
    dlg.run = [&runs](CTestDlg& self) {
        ++runs;
        self.EndModal(wxID_IGNORE);
    };
    EXPECT_EQ(wxID_IGNORE, PressInModal(dlg, &dlg.StartButton(), WXK_RETURN));
    EXPECT_EQ(1, runs);
}

TEST(Keyboard, EscEndsDialogWithCancel) {
    CTestDlg dlg;
    EXPECT_EQ(wxID_CANCEL, PressInModal(dlg, nullptr, WXK_ESCAPE));
}

TEST(Keyboard, EscInLogBoxEndsDialog) {
    CTestDlg dlg;
    EXPECT_EQ(wxID_CANCEL, PressInModal(dlg, &dlg.LogBox(), WXK_ESCAPE));
}

TEST(Keyboard, CloseButtonEndsDialogWithCancel) {
    CTestDlg dlg;
    dlg.CallAfter([&dlg] { dlg.Close(); });
    EXPECT_EQ(wxID_CANCEL, dlg.ShowModal());
}

// The exit button ends the dialog after reading the boxes back, as the data exchange does.
TEST(Keyboard, ExitButtonReadsBoxesBack) {
    CTestDlg dlg;
    dlg.CallAfter([&dlg] {
        dlg.PathBox().ChangeValue(wxString::FromUTF8("/データ/入力.mdb"));
        dlg.Click(wxID_OK);
    });
    EXPECT_EQ(wxID_OK, dlg.ShowModal());
    EXPECT_EQ("/データ/入力.mdb", dlg.m_strPath);
}
