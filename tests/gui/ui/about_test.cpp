#include <gtest/gtest.h>

#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "tests/gui/GuiTest.h"
#include "ui/AboutDlg.h"
#include "ui/DialogLayout.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// Expects the About box next, over dlg, and answers it with OK.
void ExpectAboutBox(CDialogAnswerer& answerer, CTestDlg& dlg) {
    answerer.Expect([&dlg](wxDialog& dialog) {
        EXPECT_NE(nullptr, dynamic_cast<CAboutDlg*>(&dialog));
        EXPECT_EQ(&dlg, dialog.GetParent());
        return wxID_OK;
    });
}

// Shows dlg modally, lets open() open the context menu, picks the menu's first item with
// the keyboard, and ends the dialog once the About box has been answered. Returns the
// labels of the menu that opened.
std::vector<std::string> OpenAboutThroughMenu(CTestDlg& dlg, const std::function<void()>& open) {
    std::vector<std::string> labels;
    dlg.Bind(wxEVT_MENU_OPEN, [&labels](wxMenuEvent& event) {
        if (event.GetMenu() != nullptr) {
            for (const wxMenuItem* item : event.GetMenu()->GetMenuItems()) {
                labels.push_back(Utf8FromWx(item->GetItemLabel()));
            }
        }
        wxUIActionSimulator keyboard;
        keyboard.Char(WXK_DOWN);
        keyboard.Char(WXK_RETURN);
    });
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.EndModal(wxID_ABORT); });
    dlg.CallAfter([&] {
        dlg.Raise();
        dlg.ExitButton().SetFocus();
        guitest::Flush();
        watchdog.StartOnce(5000);
        open();
        dlg.EndModal(wxID_OK);
    });
    EXPECT_EQ(wxID_OK, dlg.ShowModal());
    return labels;
}

// The About item first, the run history below it.
const std::vector<std::string> kAboutMenu = {"バージョン情報 Ver.3.0Quenmark(&A)...",
                                             "実行履歴(&H)..."};

}  // namespace

// Only bits 4 to 15 count, as on Windows: 0x10 to 0x1F, whatever the high word holds.
TEST(AboutCommand, IdsFrom0x10To0x1FOpenAboutBox) {
    CTestDlg dlg;
    std::vector<unsigned> ids = {0x10010, 0xFFFF001F};
    for (unsigned id = 0x10; id <= 0x1F; ++id) {
        ids.push_back(id);
    }
    for (unsigned id : ids) {
        SCOPED_TRACE(id);
        CDialogAnswerer answerer;
        ExpectAboutBox(answerer, dlg);
        dlg.OnSysCommand(id, 0);
    }
}

TEST(AboutCommand, OtherIdsOpenNothing) {
    CTestDlg dlg;
    CDialogAnswerer answerer;  // fails on any dialog
    for (unsigned id : {0x00u, 0x0Fu, 0x20u, 0x110u, 0xF060u}) {
        dlg.OnSysCommand(id, 0);
    }
}

// The same rule for the commands that reach the dialog as menu events.
TEST(AboutCommand, MenuCommandsFrom0x10To0x1FOpenAboutBox) {
    CTestDlg dlg;
    for (int id = 0x10; id <= 0x1F; ++id) {
        SCOPED_TRACE(id);
        CDialogAnswerer answerer;
        ExpectAboutBox(answerer, dlg);
        wxCommandEvent command(wxEVT_MENU, id);
        EXPECT_TRUE(dlg.ProcessWindowEvent(command));
    }
    CDialogAnswerer answerer;  // fails on any dialog
    for (int id : {0x0F, 0x20}) {
        wxCommandEvent command(wxEVT_MENU, id);
        dlg.ProcessWindowEvent(command);
    }
}

TEST(AboutMenu, RightClickOpensMenuWithAboutItem) {
    CTestDlg dlg;
    CDialogAnswerer answerer;
    ExpectAboutBox(answerer, dlg);
    const auto labels = OpenAboutThroughMenu(dlg, [&dlg] {
        wxUIActionSimulator mouse;
        // A spot of the dialog's own background, between the start button and the log box.
        mouse.MouseMove(dlg.ClientToScreen(dlg.ConvertDialogToPixels(wxPoint(150, 91))));
        mouse.MouseClick(wxMOUSE_BTN_RIGHT);
        guitest::Flush();
    });
    EXPECT_EQ(kAboutMenu, labels);
}

TEST(AboutMenu, ShiftF10OpensMenu) {
    CTestDlg dlg;
    CDialogAnswerer answerer;
    ExpectAboutBox(answerer, dlg);
    const auto labels = OpenAboutThroughMenu(dlg, [] {
        wxUIActionSimulator keyboard;
        keyboard.Char(WXK_F10, wxMOD_SHIFT);
        guitest::Flush();
    });
    EXPECT_EQ(kAboutMenu, labels);
}

TEST(AboutMenu, MenuKeyOpensMenu) {
    CTestDlg dlg;
    CDialogAnswerer answerer;
    ExpectAboutBox(answerer, dlg);
    const auto labels = OpenAboutThroughMenu(dlg, [] {
        wxUIActionSimulator keyboard;
        keyboard.Char(WXK_MENU);
        guitest::Flush();
    });
    EXPECT_EQ(kAboutMenu, labels);
}

// A right click in a text box stays with GTK, which shows the box's copy/paste menu.
TEST(AboutMenu, TextBoxesKeepTheirOwnMenu) {
    CTestDlg dlg;
    for (wxTextCtrl* box : {&dlg.PathBox(), &dlg.LogBox()}) {
        wxContextMenuEvent event(wxEVT_CONTEXT_MENU, box->GetId(), wxDefaultPosition);
        event.SetEventObject(box);
        EXPECT_FALSE(box->ProcessWindowEvent(event));
    }
}

TEST(AboutBox, LayoutFollowsTemplate) {
    CTestDlg dlg;
    CAboutDlg about(&dlg);
    EXPECT_EQ("バージョン情報 Ver.3.0Quenmark", Utf8FromWx(about.GetTitle()));
    EXPECT_EQ(about.ConvertDialogToPixels(wxSize(231, 55)), about.GetClientSize());
    EXPECT_FALSE(about.HasFlag(wxRESIZE_BORDER));

    const wxWindowList& children = about.GetChildren();
    ASSERT_EQ(4u, children.size());
    auto it = children.begin();
    auto* icon = dynamic_cast<wxStaticBitmap*>(*it++);
    auto* name = dynamic_cast<wxStaticText*>(*it++);
    auto* version = dynamic_cast<wxStaticText*>(*it++);
    auto* ok = dynamic_cast<wxButton*>(*it++);
    ASSERT_TRUE(icon && name && version && ok);

    EXPECT_EQ(about.ConvertDialogToPixels(wxPoint(11, 17)), icon->GetPosition());
    EXPECT_EQ(wxSize(32, 32), icon->GetSize());
    EXPECT_EQ(DialogUnitsToPixels(about, 40, 10, 119, 8), name->GetRect());
    EXPECT_EQ("Ver.3.0Quenmark", Utf8FromWx(name->GetLabel()));
    EXPECT_EQ(DialogUnitsToPixels(about, 40, 25, 135, 8), version->GetRect());
    EXPECT_EQ("Version " BRIMLOW_VERSION, Utf8FromWx(version->GetLabel()));
    EXPECT_EQ(DialogUnitsToPixels(about, 174, 7, 50, 16), ok->GetRect());
    EXPECT_EQ("OK", Utf8FromWx(ok->GetLabel()));
    EXPECT_EQ(wxID_OK, ok->GetId());
    EXPECT_EQ(ok, about.GetDefaultItem());
}
