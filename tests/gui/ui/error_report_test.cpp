#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "dbaccess/Exceptions.h"
#include "tests/gui/GuiTest.h"
#include "ui/ErrorReport.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

struct CDescribeCase {
    const char* name;
    std::function<void()> raise;
    HandlerErrorAction action;
    const char* text;
    long icon;
};

class DescribeHandlerErrorTest : public testing::TestWithParam<CDescribeCase> {};

std::exception_ptr Capture(const std::function<void()>& raise) {
    try {
        raise();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The caption of every box: the executable's file name without extension.
std::string ProgramTitle() {
    return Utf8FromWx(wxFileName(wxTheApp->argv[0]).GetName());
}

}  // namespace

TEST_P(DescribeHandlerErrorTest, Decides) {
    const CDescribeCase& c = GetParam();
    const CHandlerErrorReport report = DescribeHandlerError(Capture(c.raise));
    EXPECT_EQ(c.action, report.action);
    EXPECT_EQ(c.text, report.text);
    EXPECT_EQ(c.icon, report.icon);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorReport, DescribeHandlerErrorTest,
    testing::Values(CDescribeCase{"source",
                                  [] {
                                      throw CDaoException(SourceFailureKind::CannotOpen,
                                                          "ファイルを開けません。");
                                  },
                                  HandlerErrorAction::Show, "ファイルを開けません。", wxICON_STOP},
                    CDescribeCase{"target", [] { throw CDBException("Unable to connect"); },
                                  HandlerErrorAction::Show, "Unable to connect", wxICON_STOP},
                    CDescribeCase{"conversion", [] { throw COleException("Type mismatch"); },
                                  HandlerErrorAction::Show, "Type mismatch.", wxICON_STOP},
                    CDescribeCase{
                        "notext", [] { throw CDaoException(SourceFailureKind::CannotOpen, ""); },
                        HandlerErrorAction::Show, "Internal application error.", wxICON_STOP},
                    CDescribeCase{"memory", [] { throw CMemoryException(); },
                                  HandlerErrorAction::Show, "Out of memory.", wxICON_EXCLAMATION},
                    CDescribeCase{"badalloc", [] { throw std::bad_alloc(); },
                                  HandlerErrorAction::Show, "Out of memory.", wxICON_EXCLAMATION},
                    CDescribeCase{"userabort", [] { throw CUserException(); },
                                  HandlerErrorAction::Ignore, "", 0},
                    CDescribeCase{"stdexception", [] { throw std::runtime_error("x"); },
                                  HandlerErrorAction::Escalate, "", 0},
                    CDescribeCase{"int", [] { throw 42; }, HandlerErrorAction::Escalate, "", 0},
                    CDescribeCase{"none", [] {}, HandlerErrorAction::Escalate, "", 0}),
    [](const testing::TestParamInfo<CDescribeCase>& info) { return info.param.name; });

// A failed run is reported with the exception's text and the stop icon; the dialog stays
// open and usable, the wait cursor is gone and the controls are enabled again.
TEST(HandlerGuard, FailedRunIsReportedAndDialogStaysUsable) {
    CTestDlg dlg;
    int runs = 0;
    dlg.run = [&runs](CTestDlg& self) {
        ++runs;
        self.AppendLog("KEN_ALLを移行しました。");
        throw CDBException("[SQL Server]Login failed");
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);

    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("[SQL Server]Login failed", answerer.Seen()[0].message);
    EXPECT_EQ(wxICON_STOP, answerer.Seen()[0].icon);
    EXPECT_EQ("wxGenericMessageDialog", answerer.Seen()[0].className);  // GTK's shows no icon
    EXPECT_EQ(ProgramTitle(), answerer.Seen()[0].title);
    EXPECT_EQ("brimlow_gui_tests", answerer.Seen()[0].title);
    EXPECT_FALSE(wxIsBusy());
    EXPECT_FALSE(dlg.IsRunInProgress());
    EXPECT_TRUE(dlg.StartButton().IsEnabled());
    EXPECT_EQ("\nKEN_ALLを移行しました。", guitest::SteadyLog(dlg));

    dlg.run = [&runs](CTestDlg& self) {
        ++runs;
        self.AppendLog("移行が完了しました。");
    };
    dlg.Click(IDC_START);
    EXPECT_EQ(2, runs);
    EXPECT_EQ("\nKEN_ALLを移行しました。\n移行が完了しました。", guitest::SteadyLog(dlg));
}

TEST(HandlerGuard, UserAbortShowsNothing) {
    CTestDlg dlg;
    dlg.run = [](CTestDlg&) { throw CUserException(); };
    CDialogAnswerer answerer;  // fails on any box
    dlg.Click(IDC_START);
    EXPECT_TRUE(dlg.StartButton().IsEnabled());
}

TEST(HandlerGuard, CatchesLambdaHandlers) {
    CTestDlg dlg;
    dlg.Bind(
        wxEVT_MENU,
        [](wxCommandEvent&) { throw CDaoException(SourceFailureKind::CannotOpen, "lambda"); },
        4711);
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    wxCommandEvent command(wxEVT_MENU, 4711);
    EXPECT_TRUE(dlg.ProcessWindowEvent(command));
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("lambda", answerer.Seen()[0].message);
}

TEST(HandlerGuard, CatchesCallAfter) {
    CTestDlg dlg;
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    dlg.CallAfter([] { throw CDBException("queued"); });
    wxTheApp->ProcessPendingEvents();
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("queued", answerer.Seen()[0].message);
}

// The net for an exception of ours that escaped event processing some other way.
TEST(HandlerGuard, MainLoopNetReportsAndGoesOn) {
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    try {
        throw COleException("net");  // shown as "net."
    } catch (...) {
        EXPECT_TRUE(wxTheApp->OnExceptionInMainLoop());
    }
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("net.", answerer.Seen()[0].message);
    EXPECT_EQ(wxICON_STOP, answerer.Seen()[0].icon);
}

// Inside a modal loop, as in the program: the box comes up and the dialog carries on.
TEST(HandlerGuard, FailureInsideModalLoopKeepsDialogOpen) {
    CTestDlg dlg;
    dlg.run = [](CTestDlg&) { throw CDaoException(SourceFailureKind::Damaged, "壊れたファイル"); };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    bool stillModal = false;
    dlg.CallAfter([&] {
        dlg.Click(IDC_START);
        guitest::Flush();
        stillModal = dlg.IsModal();
        dlg.EndModal(wxID_OK);
    });
    EXPECT_EQ(wxID_OK, dlg.ShowModal());
    EXPECT_TRUE(stillModal);
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("壊れたファイル", answerer.Seen()[0].message);
}

// A long path has no blanks: the text wraps after "/" at about 600 pixels, the box fits on
// the screen, only line breaks are added, and Ctrl+C copies the text as it was given.
TEST(ErrorBox, LongPathWrapsAndCtrlCCopiesTheWholeText) {
    std::string path = "/srv/共有/";
    while (path.size() < 190) {
        path += "KEN_ALL_backup/";
    }
    path += "KEN_ALL.mdb";
    const std::string text =
        "The database '" + path + "' cannot be opened: No such file or directory.";
    const int screenWidth = wxDisplay(0u).GetClientArea().width;

    CDialogAnswerer answerer;
    answerer.Expect([&](wxDialog& box) {
        EXPECT_LE(box.GetSize().x, std::min(screenWidth, 600 + 150));
        for (const wxWindow* child : box.GetChildren()) {
            if (dynamic_cast<const wxStaticText*>(child) != nullptr) {
                EXPECT_LE(child->GetSize().x, 600) << Utf8FromWx(child->GetLabel());
            }
        }
        wxKeyEvent ctrlC(wxEVT_CHAR_HOOK);
        ctrlC.m_keyCode = 'C';
        ctrlC.m_controlDown = true;
        ctrlC.SetEventObject(&box);
        box.ProcessWindowEvent(ctrlC);
        return wxID_OK;
    });
    ShowErrorBox(text, wxICON_STOP);

    ASSERT_EQ(1u, answerer.Seen().size());
    const wxArrayString lines = wxSplit(wxString::FromUTF8(answerer.Seen()[0].message), '\n');
    EXPECT_GE(lines.size(), 2u);
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Utf8FromWx(lines[i]);
        joined += line;
        // A break after a blank drops the blank.
        if (i + 1 < lines.size() && text.compare(joined.size(), 1, " ") == 0) {
            joined += ' ';
        } else if (i + 1 < lines.size()) {
            EXPECT_EQ('/', line.back()) << line;
        }
    }
    EXPECT_EQ(text, joined);

    ASSERT_TRUE(wxTheClipboard->Open());
    wxTextDataObject copied;
    EXPECT_TRUE(wxTheClipboard->GetData(copied));
    wxTheClipboard->Close();
    EXPECT_EQ(text, Utf8FromWx(copied.GetText()));
}

// A Japanese text of ours puts its technical detail after its sentence: the box shows the
// sentence and the rest as its detail. An English text (the driver's first) stays whole.
TEST(ErrorReport, AJapaneseSentenceShowsItsTechnicalDetailBelow) {
    CHandlerErrorReport report = DescribeHandlerError(Capture([] {
        throw CDaoException(SourceFailureKind::Damaged,
                            "壊れているため読み込めません。\n詳細: its data page 3927 lies past");
    }));
    EXPECT_EQ(report.text, "壊れているため読み込めません。");
    EXPECT_EQ(report.detail, "詳細: its data page 3927 lies past");

    report = DescribeHandlerError(Capture([] {
        throw CDaoException(SourceFailureKind::Damaged,
                            "壊れているため読み込めません。 (libmdb: offset 8192 is beyond EOF)");
    }));
    EXPECT_EQ(report.text, "壊れているため読み込めません。");
    EXPECT_EQ(report.detail, "libmdb: offset 8192 is beyond EOF");

    report = DescribeHandlerError(
        Capture([] { throw CDBException("could not connect\nTarget tried: server db1.\n"); }));
    EXPECT_EQ(report.text, "could not connect\nTarget tried: server db1.\n");
    EXPECT_EQ(report.detail, "");
}
