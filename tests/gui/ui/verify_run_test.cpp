// The dialog while a run's copy is verified, and after: the progress of the read-back, the
// line that says what was found, the box for a copy that differs, a stop during the read-back,
// and an append that was not verified. The run's thread tells the dialog what a run that
// verifies tells it, in the order the run does; the last test runs the real migration.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include <wx/msgdlg.h>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

std::shared_ptr<CVerification> Found(CVerification::State state) {
    auto verification = std::make_shared<CVerification>();
    verification->state = state;
    const bool equal = state == CVerification::State::Equal;
    verification->tables = {{"KEN_ALL", 126029, 126029, equal, true, 0, 0, {}},
                            {"Mst01", 40111, 40111, true, true, 0, 0, {}}};
    return verification;
}

CRunOutcome Completed(std::shared_ptr<const CVerification> verification) {
    CRunOutcome outcome;
    outcome.verification = std::move(verification);
    return outcome;
}

// The run's tables, then the read-back with a progress report, then whatever end does.
void CopyAndReadBack(CDialogRun& run, std::string& lineDuring,
                     const std::function<void()>& duringReadBack = {}) {
    run.AppendLog("KEN_ALLを移行しました。");
    run.AppendLog("Mst01を移行しました。");
    run.OnVerifyStart(166140);
    run.OnVerifyProgress(52000, 166140);
    run.CallOnUi([&](CBrimlowDlg& dialog) {
        const std::string log = static_cast<CTestDlg&>(dialog).m_strLog;
        lineDuring = log.substr(log.rfind('\n') + 1);
    });
    if (duringReadBack) {
        duringReadBack();
    }
    run.OnVerifyProgress(166140, 166140);
}

std::string WithoutBreaks(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == ' '; }),
        text.end());
    return text;
}

constexpr const char kTables[] = "\nKEN_ALLを移行しました。\nMst01を移行しました。";
// The line after the completion line: these runs tell no table's rows.
constexpr const char kNoRowsTaken[] = "\n0 件を N 秒で移行しました。";

}  // namespace

// The read-back shows its progress in the last line, which the completion line replaces; one
// line below it says that every value is equal.
TEST(VerifyRun, ProgressThenTheRowsFoundEqual) {
    CTestDlg dlg;
    std::string lineDuring;
    dlg.runOnThread = [&](CDialogRun& run) {
        CopyAndReadBack(run, lineDuring);
        run.AppendLog("移行が完了しました。");
        const auto equal = Found(CVerification::State::Equal);
        run.OnVerified(*equal);
        run.OnRunEnd(Completed(equal));
    };
    CDialogAnswerer answerer;  // fails on any box
    dlg.Click(IDC_START);
    EXPECT_EQ("検証中… 52,000 / 166,140 件", lineDuring);
    EXPECT_EQ(std::string(kTables) + "\n移行が完了しました。" + kNoRowsTaken +
                  "\n166,140 件すべての値が移行元と一致しました。",
              guitest::SteadyLog(dlg));
    EXPECT_EQ(Utf8FromWx(dlg.LogBox().GetValue()), dlg.m_strLog);
}

// A copy that differs: the line names the table and the list of its rows, and the box says
// what happened and what to do, with the run's own account as its detail.
TEST(VerifyRun, ACopyThatDiffersNamesTheTableAndShowsTheBox) {
    CTestDlg dlg;
    std::string lineDuring;
    const std::string detail = "KEN_ALL row 3: Col09 source 'abcd\\' target 'abcd'";
    dlg.runOnThread = [&](CDialogRun& run) {
        CopyAndReadBack(run, lineDuring);
        run.AppendLog("移行が完了しました。");
        auto differs = Found(CVerification::State::Differs);
        differs->differencesFile = "/tmp/brimlow-differences.txt";
        run.OnVerified(*differs);
        CRunOutcome outcome;
        outcome.status = CRunOutcome::Status::Failed;
        outcome.differs = true;
        outcome.error = std::make_exception_ptr(CCopyDiffers(detail));
        outcome.verification = differs;
        run.OnRunEnd(outcome);
        std::rethrow_exception(outcome.error);
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);

    EXPECT_EQ(std::string(kTables) + "\n移行が完了しました。" + kNoRowsTaken +
                  "\nKEN_ALLの値が移行元と一致しません。違いのある行を "
                  "/tmp/brimlow-differences.txt に書き出しました。",
              guitest::SteadyLog(dlg));
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ(WithoutBreaks("移行した行はすべて確定しましたが、移行先から読み戻した値が移行元と"
                            "一致しません。データは移行先にそのまま残っています。移行先のテーブルの"
                            "トリガー、列の長さ、照合順序（文字セット）を確かめてから、もう一度"
                            "移行して「置き換える」を選んでください。"),
              WithoutBreaks(answerer.Seen()[0].message));
    EXPECT_EQ(detail, answerer.Seen()[0].detail);
    EXPECT_EQ(wxICON_STOP, answerer.Seen()[0].icon);
    EXPECT_TRUE(dlg.StartButton().IsEnabled());
}

// 中止 during the read-back asks the run to stop, as during the copy; the verification that
// stopped says so, and that the data stays, without a box.
TEST(VerifyRun, StopDuringTheReadBackSaysTheDataStays) {
    CTestDlg dlg;
    std::string lineDuring;
    dlg.runOnThread = [&](CDialogRun& run) {
        CopyAndReadBack(run, lineDuring, [&] {
            run.CallOnUi([&](CBrimlowDlg&) {
                EXPECT_EQ("中止", Utf8FromWx(dlg.StartButton().GetLabel()));
                dlg.Click(IDC_START);
            });
            guitest::AwaitOnRunThread(run, [](CTestDlg& d) { return d.IsStopRequested(); });
        });
        run.AppendLog("移行が完了しました。");
        const auto stopped = Found(CVerification::State::Stopped);
        run.OnVerified(*stopped);
        run.OnRunEnd(Completed(stopped));
    };
    CDialogAnswerer answerer;  // fails on any box
    dlg.Click(IDC_START);
    EXPECT_EQ(std::string(kTables) + "\n移行が完了しました。" + kNoRowsTaken +
                  "\n値の検証を中止しました。移行したデータはそのまま移行先に残っています。",
              guitest::SteadyLog(dlg));
}

// Rows added to tables that held some (追加する) are not verified, and the line says why.
TEST(VerifyRun, AnAppendIntoTablesWithRowsSaysWhyItWasNotVerified) {
    CTestDlg dlg;
    dlg.runOnThread = [&](CDialogRun& run) {
        CExistingRows existing;
        existing.tables = {{"KEN_ALL", 5}};
        existing.canReplace = true;
        ASSERT_EQ(ExistingRowsChoice::Append, run.AskExistingRows(existing));
        run.AppendLog("KEN_ALLを移行しました。");
        run.AppendLog("移行が完了しました。");
        const auto notRun = Found(CVerification::State::NotRun);
        run.OnVerified(*notRun);
        run.OnRunEnd(Completed(notRun));
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_NO);  // 追加する
    dlg.Click(IDC_START);
    EXPECT_EQ(std::string("\nKEN_ALLを移行しました。\n移行が完了しました。") + kNoRowsTaken +
                  "\n以前からデータのあるテーブルに追加したため、値は検証していません。",
              guitest::SteadyLog(dlg));
}

// The dialog's own run verifies its copy: into empty tables, the line after the completion
// line says that every value of the 1,512 rows of sample.mdb is equal.
TEST(VerifyRun, ARealRunIntoEmptyTablesEndsWithTheRowsFoundEqual) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.m_strPath = testpaths::Data("sample.mdb").string();
    dlg.Show();
    CDialogAnswerer answerer;  // fails on any box
    dlg.Click(IDC_START);
    const std::string log = guitest::SteadyLog(dlg);
    EXPECT_EQ(log.substr(log.rfind("\n移行が完了しました。")),
              "\n移行が完了しました。\n1,512 件を N 秒で移行しました。\n1,512 "
              "件すべての値が移行元と一致しました。")
        << log;
}
