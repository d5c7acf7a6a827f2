#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/uiaction.h>

#include "dbaccess/Exceptions.h"
#include "tests/gui/GuiTest.h"
#include "ui/LastResort.h"

namespace {

std::exception_ptr Capture(const std::function<void()>& raise) {
    try {
        raise();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// In a death test's child: writes each message box to stderr as "box N icon I: text" and
// answers it. A second box ends the child with status 42, which no test expects. Other
// dialogs are shown for real.
class CBoxPrinter : public wxModalDialogHook {
public:
    CBoxPrinter() { Register(); }

protected:
    int Enter(wxDialog* dialog) override {
        const auto* box = dynamic_cast<const wxMessageDialogBase*>(dialog);
        if (box == nullptr) {
            return wxID_NONE;  // the dialog under test: shown for real
        }
        std::fprintf(stderr, "box %d icon %ld: %s\n", ++m_count,
                     box->GetMessageDialogStyle() & wxICON_MASK,
                     Utf8FromWx(box->GetMessage()).c_str());
        if (m_count > 1) {
            std::_Exit(42);
        }
        if (m_onBox) {
            m_onBox();
        }
        return wxID_OK;
    }
    void Exit(wxDialog* /*dialog*/) override {}

public:
    std::function<void()> m_onBox;

private:
    int m_count = 0;
};

const std::string kStop = std::to_string(wxICON_STOP);

void ThrowFromNoexcept() noexcept(false) {
    throw std::runtime_error("escaped");
}

void CallInNoexcept() noexcept {
    ThrowFromNoexcept();
}

}  // namespace

TEST(LastResortText, FamilyShowsItsOwnText) {
    EXPECT_EQ("データベースを開けません。", LastResortText(Capture([] {
                  throw CDaoException(SourceFailureKind::CannotOpen, "データベースを開けません。");
              })));
    EXPECT_EQ("Out of memory.", LastResortText(Capture([] { throw CMemoryException(); })));
}

// An exception of ours without text gives an empty box, not the fixed text.
TEST(LastResortText, FamilyWithoutTextStaysEmpty) {
    EXPECT_EQ("", LastResortText(Capture([] { throw CDBException(""); })));
}

TEST(LastResortText, AnythingElseGetsTheFixedText) {
    const std::string fixed = "予期せぬ例外が発生しました。";
    EXPECT_EQ(fixed, LastResortText(Capture([] { throw std::runtime_error("x"); })));
    EXPECT_EQ(fixed, LastResortText(Capture([] { throw std::bad_alloc(); })));
    EXPECT_EQ(fixed, LastResortText(Capture([] { throw 7; })));
    EXPECT_EQ(fixed, LastResortText(nullptr));
}

// The death tests re-run this binary for the one test, so the child has a wx of its own.
class LastResortDeathTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LastResortDeathTest, NonFamilyExceptionShowsOneBoxAndEnds) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            RunLastResort(Capture([] { throw std::logic_error("x"); }));
        },
        testing::ExitedWithCode(EXIT_FAILURE),
        "box 1 icon " + kStop + ": 予期せぬ例外が発生しました。");
}

TEST_F(LastResortDeathTest, FamilyExceptionShowsItsText) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            RunLastResort(Capture([] { throw CDBException("接続が切れました。"); }));
        },
        testing::ExitedWithCode(EXIT_FAILURE), "box 1 icon " + kStop + ": 接続が切れました。");
}

TEST_F(LastResortDeathTest, TerminateEndsInLastResort) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            InstallLastResort();
            CallInNoexcept();
        },
        testing::ExitedWithCode(EXIT_FAILURE),
        "box 1 icon " + kStop + ": 予期せぬ例外が発生しました。");
}

TEST_F(LastResortDeathTest, FatalSignalEndsInLastResort) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            InstallLastResort();
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(EXIT_FAILURE),
        "box 1 icon " + kStop + ": 予期せぬ例外が発生しました。");
}

// A failure while the box is up ends the process without a second box.
TEST_F(LastResortDeathTest, SecondFailureShowsNoSecondBox) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            printer.m_onBox = [] { RunLastResort(nullptr); };
            RunLastResort(Capture([] { throw std::logic_error("x"); }));
        },
        testing::ExitedWithCode(EXIT_FAILURE), "box 1 icon");
}

// An exception that escapes a handler and is not ours goes past the guard, through wx's
// catch around event processing, to the last resort.
TEST_F(LastResortDeathTest, NonFamilyExceptionFromClickedHandler) {
    EXPECT_EXIT(
        {
            CBoxPrinter printer;
            guitest::CTestDlg dlg;
            dlg.run = [](guitest::CTestDlg&) { throw std::out_of_range("bug"); };
            dlg.CallAfter([&dlg] {
                dlg.Raise();
                guitest::Flush();
                wxUIActionSimulator mouse;
                mouse.MouseMove(dlg.StartButton().GetScreenRect().GetPosition() + wxPoint(20, 20));
                mouse.MouseClick();
            });
            dlg.ShowModal();
        },
        testing::ExitedWithCode(EXIT_FAILURE),
        "box 1 icon " + kStop + ": 予期せぬ例外が発生しました。");
}
