#include <gtest/gtest.h>

#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <chrono>
#include <string>
#include <thread>

#include "dbaccess/Exceptions.h"
#include "tests/gui/GuiTest.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// What the controls looked like from inside a run.
struct CRunView {
    bool inProgress = false;
    bool busy = false;
    bool startEnabled = true;
    bool browseEnabled = true;
    bool pathEnabled = true;
    bool exitEnabled = false;
};

CRunView Look(CTestDlg& dlg) {
    return {dlg.IsRunInProgress(),         wxIsBusy(),
            dlg.StartButton().IsEnabled(), dlg.BrowseButton().IsEnabled(),
            dlg.PathBox().IsEnabled(),     dlg.ExitButton().IsEnabled()};
}

using guitest::InModalLoop;

wxPoint CentreOf(const wxWindow& window) {
    const wxRect rect = window.GetScreenRect();
    return rect.GetPosition() + rect.GetSize() / 2;
}

}  // namespace

TEST(RunGuard, RunDisablesWhatCouldStartAnotherRun) {
    CTestDlg dlg;
    CRunView during;
    wxString labelDuring;
    dlg.run = [&](CTestDlg& self) {
        during = Look(self);
        labelDuring = self.StartButton().GetLabel();
    };
    dlg.Click(IDC_START);

    EXPECT_TRUE(during.inProgress);
    EXPECT_TRUE(during.busy);
    EXPECT_TRUE(during.startEnabled);  // it reads 中止 and stops the run
    EXPECT_EQ("中止", Utf8FromWx(labelDuring));
    EXPECT_EQ("移行開始", Utf8FromWx(dlg.StartButton().GetLabel()));
    EXPECT_FALSE(during.browseEnabled);
    EXPECT_FALSE(during.pathEnabled);
    EXPECT_TRUE(during.exitEnabled);

    const CRunView after = Look(dlg);
    EXPECT_FALSE(after.inProgress);
    EXPECT_FALSE(after.busy);
    EXPECT_TRUE(after.startEnabled);
    EXPECT_TRUE(after.browseEnabled);
    EXPECT_TRUE(after.pathEnabled);
}

// A start click that reaches the handler during a run starts no second run: it asks the
// run to stop.
TEST(RunGuard, StartDuringRunIsIgnored) {
    CTestDlg dlg;
    int runs = 0;
    dlg.run = [&runs](CTestDlg& self) {
        ++runs;
        self.Click(IDC_START);
    };
    dlg.Click(IDC_START);
    EXPECT_EQ(1, runs);
}

// The window manager's close arrives inside the run's paint pump and asks first; agreed to,
// the run stops and the window closes when the run is over, not before.
TEST(RunGuard, CloseDuringRunAsksAndWaitsForTheEnd) {
    CTestDlg dlg;
    bool modalAfterClose = false;
    bool stopAsked = false;
    dlg.run = [&](CTestDlg& self) {
        self.Close();
        self.AppendLog("KEN_ALLを移行しました。");
        modalAfterClose = self.IsModal();
        stopAsked = self.IsStopRequested();
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);
    const int result = InModalLoop(dlg, [&dlg] { dlg.Click(IDC_START); });
    EXPECT_TRUE(modalAfterClose);
    EXPECT_TRUE(stopAsked);
    EXPECT_EQ(wxID_CANCEL, result);
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ(
        "移行の途中です。中止して終了しますか？\n（ここまでに移行したデータは移行先に残ります。"
        "「置き換える」を選んだ場合は、移行先は元のままです）",
        answerer.Seen()[0].message);
}

// 続ける (the default): the run goes on and the window stays; a close that cannot be
// vetoed stops the run without asking.
TEST(RunGuard, CloseDuringRunAnsweredGoOnKeepsRunning) {
    CTestDlg dlg;
    bool stopAfterGoOn = true;
    bool stopAfterForcedClose = false;
    dlg.run = [&](CTestDlg& self) {
        self.Close();
        stopAfterGoOn = self.IsStopRequested();
        wxCloseEvent forced(wxEVT_CLOSE_WINDOW, self.GetId());
        forced.SetEventObject(&self);
        forced.SetCanVeto(false);
        self.ProcessWindowEvent(forced);
        stopAfterForcedClose = self.IsStopRequested();
    };
    CDialogAnswerer answerer;
    answerer.Expect([](wxDialog& box) {
        EXPECT_EQ(wxString::FromUTF8("中止して終了"),
                  dynamic_cast<wxMessageDialog&>(box).GetYesLabel());
        EXPECT_EQ(wxString::FromUTF8("続ける"), dynamic_cast<wxMessageDialog&>(box).GetNoLabel());
        return wxID_NO;
    });
    InModalLoop(dlg, [&dlg] { dlg.Click(IDC_START); });
    EXPECT_FALSE(stopAfterGoOn);
    EXPECT_TRUE(stopAfterForcedClose);
    EXPECT_EQ(1u, answerer.Seen().size());
}

// Same when the run fails: the error is shown, then the window closes.
TEST(RunGuard, CloseDuringFailedRunClosesAfterTheReport) {
    CTestDlg dlg;
    dlg.run = [](CTestDlg& self) {
        self.Close();
        throw CDBException("切断されました。");
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);
    answerer.ExpectAndReturn(wxID_OK);
    EXPECT_EQ(wxID_CANCEL, InModalLoop(dlg, [&dlg] { dlg.Click(IDC_START); }));
    EXPECT_EQ(2u, answerer.Seen().size());
}

// Real input during a run, while the window goes on handling events: a click on 中止 asks
// the run to stop, and what reached the disabled path box comes to nothing, then as later.
TEST(RunGuard, InputDuringRunReachesOnlyTheStop) {
    CTestDlg dlg;
    int runs = 0;
    std::string pathDuringRun = "unset";
    dlg.runOnThread = [&](CDialogRun& run) {
        run.CallOnUi([&](CBrimlowDlg&) {
            ++runs;
            wxUIActionSimulator input;
            input.MouseMove(CentreOf(dlg.StartButton()));
            input.MouseClick();
            input.MouseMove(CentreOf(dlg.PathBox()));
            input.MouseClick();
            input.Text("abc");
        });
        guitest::AwaitOnRunThread(run, [](CTestDlg& self) { return self.IsStopRequested(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the typing's turn
        run.CallOnUi([&](CBrimlowDlg&) {
            run.AppendLog("KEN_ALLを移行しました。");
            pathDuringRun = Utf8FromWx(dlg.PathBox().GetValue());
        });
    };
    EXPECT_EQ(wxID_IGNORE, InModalLoop(dlg, [&dlg] {
                  dlg.StartButton().SetFocus();
                  dlg.Click(IDC_START);
              }));
    EXPECT_EQ(1, runs);
    EXPECT_TRUE(dlg.IsStopRequested());
    EXPECT_EQ("", pathDuringRun);
    EXPECT_EQ("", Utf8FromWx(dlg.PathBox().GetValue()));
}

// A click in the log box during a run leaves its caret at the end of the log.
TEST(RunGuard, LogClickDuringRunKeepsCaretAtEnd) {
    CTestDlg dlg;
    dlg.runOnThread = [&dlg](CDialogRun& run) {
        run.AppendLog("KEN_ALLを移行しました。");
        run.CallOnUi([&dlg](CBrimlowDlg&) {
            wxUIActionSimulator mouse;
            mouse.MouseMove(dlg.LogBox().GetScreenRect().GetTopLeft() + wxPoint(4, 4));
            mouse.MouseClick();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the click's turn
        run.AppendLog("KEN_ALL_Versionを移行しました。");
    };
    InModalLoop(dlg, [&dlg] { dlg.Click(IDC_START); });
    EXPECT_EQ(dlg.LogBox().GetLastPosition(), dlg.LogBox().GetInsertionPoint());
}

// A click on the exit button during a run asks whether to stop; agreed to, the run stops
// and the dialog ends once the run is over, not before.
TEST(RunGuard, ExitClickDuringRunClosesAfterTheEnd) {
    CTestDlg dlg;
    bool modalAfterAnswer = false;
    dlg.runOnThread = [&](CDialogRun& run) {
        run.CallOnUi([&dlg](CBrimlowDlg&) {
            wxUIActionSimulator mouse;
            mouse.MouseMove(CentreOf(dlg.ExitButton()));
            mouse.MouseClick();
        });
        guitest::AwaitOnRunThread(run, [](CTestDlg& self) { return self.IsStopRequested(); });
        run.CallOnUi([&](CBrimlowDlg&) { modalAfterAnswer = dlg.IsModal(); });
        run.AppendLog("KEN_ALLを移行しました。");
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);
    EXPECT_EQ(wxID_OK, InModalLoop(dlg, [&dlg] { dlg.Click(IDC_START); }));
    EXPECT_TRUE(modalAfterAnswer);
    EXPECT_TRUE(dlg.IsStopRequested());
}

// A right click on the dialog and Shift+F10 during a run open no menu, during the run or
// after it, and do not stop it.
TEST(RunGuard, MenuAskedForDuringRunIsDropped) {
    CTestDlg dlg;
    int menus = 0;
    dlg.Bind(wxEVT_MENU_OPEN, [&menus](wxMenuEvent& event) {
        if (event.GetMenu() != nullptr) {
            ++menus;
            wxUIActionSimulator keyboard;
            keyboard.Char(WXK_ESCAPE);
        }
    });
    dlg.runOnThread = [&dlg](CDialogRun& run) {
        run.CallOnUi([&dlg](CBrimlowDlg&) {
            wxUIActionSimulator input;
            // A spot of the dialog's own background, between the start button and the log box.
            input.MouseMove(dlg.ClientToScreen(dlg.ConvertDialogToPixels(wxPoint(150, 91))));
            input.MouseClick(wxMOUSE_BTN_RIGHT);
            input.Char(WXK_F10, wxMOD_SHIFT);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the input's turn
        run.AppendLog("KEN_ALLを移行しました。");
    };
    EXPECT_EQ(wxID_IGNORE, InModalLoop(dlg, [&dlg] {
                  dlg.ExitButton().SetFocus();
                  dlg.Click(IDC_START);
                  guitest::Flush();
              }));
    EXPECT_EQ(0, menus);
    EXPECT_FALSE(dlg.IsStopRequested());
}

// After the run, the focus goes back to the start button that GTK took it from.
TEST(RunGuard, FocusReturnsToStartButton) {
    CTestDlg dlg;
    wxWindow* focusAfter = nullptr;
    InModalLoop(dlg, [&] {
        dlg.StartButton().SetFocus();
        guitest::Flush();
        dlg.Click(IDC_START);
        guitest::Flush();
        focusAfter = wxWindow::FindFocus();
    });
    EXPECT_EQ(&dlg.StartButton(), focusAfter);
}
