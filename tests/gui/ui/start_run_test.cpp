#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>

#include "dbaccess/Exceptions.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

constexpr const char kCompleteLog[] =
    "\nKEN_ALLを移行しました。\nKEN_ALL_Versionを移行しました。\nMst01を移行しました。"
    "\nMst02を移行しました。\nMst02Errorを移行しました。\nMst03を移行しました。"
    "\nMst04を移行しました。\nMst04Errorを移行しました。\n移行が完了しました。";
// The line after it: the rows of sample.mdb, and of empty.mdb (the time as SteadyLog has it).
constexpr const char kSampleRows[] = "\n1,512 件を N 秒で移行しました。";
constexpr const char kEmptyRows[] = "\n0 件を N 秒で移行しました。";
// What the verification of a run says after the completion line: sample.mdb's rows read back
// equal from empty (or replaced) tables; an append into rows already there is not verified.
constexpr const char kSampleEqual[] = "\n1,512 件すべての値が移行元と一致しました。";
constexpr const char kAppendNotVerified[] =
    "\n以前からデータのあるテーブルに追加したため、値は検証していません。";

void TypePath(CTestDlg& dlg, const std::string& name) {
    dlg.PathBox().ChangeValue(wxString::FromUTF8(testpaths::Data(name).string()));
}

std::string CountOf(const testtarget::SqliteTarget& target, const std::string& table) {
    return *target.Query("select count(*) from " + table + ";").at(0).at(0);
}

// The session's language: the boxes follow it, the log lines do not.
bool IsJapaneseSession() {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return messages != nullptr && std::string(messages).rfind("ja", 0) == 0;
}

// A box's text without the line breaks its wrapping put in: a break at a blank took the
// blank's place, one between Japanese characters took none.
std::string Unwrapped(const std::string& text) {
    std::string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            joined += text[i];
        } else if (i > 0 && static_cast<unsigned char>(text[i - 1]) < 0x80) {
            joined += ' ';
        }
    }
    return joined;
}

}  // namespace

// The start button runs the real migration into the embedded target through the built-in
// connection string; a second run reads the file the path box names now.
TEST(StartRun, CopiesSampleIntoTheEmbeddedTargetAndLogsEveryTable) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    CDialogAnswerer answerer;  // fails on any box

    TypePath(dlg, "sample.mdb");
    dlg.Click(IDC_START);

    EXPECT_EQ(std::string(kCompleteLog) + kSampleRows + kSampleEqual, guitest::SteadyLog(dlg));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("200", CountOf(target, "Mst03"));
    EXPECT_EQ(dlg.LogBox().GetLastPosition(), dlg.LogBox().GetInsertionPoint());

    TypePath(dlg, "empty.mdb");
    answerer.ExpectAndReturn(wxID_NO);  // 追加する: the target holds the first run's rows
    dlg.Click(IDC_START);

    EXPECT_EQ(std::string(kCompleteLog) + kSampleRows + kSampleEqual + kCompleteLog + kEmptyRows +
                  kAppendNotVerified,
              guitest::SteadyLog(dlg));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
}

// A second run into tables that hold rows asks first, with the rows each table holds;
// キャンセル sends nothing, 追加する inserts every row again, 置き換える leaves one copy.
TEST(StartRun, SecondRunAsksAndEachAnswerDoesWhatItSays) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    TypePath(dlg, "sample.mdb");
    CDialogAnswerer answerer;
    dlg.Click(IDC_START);  // empty tables: no question
    ASSERT_EQ("1001", CountOf(target, "KEN_ALL"));
    const std::string logAfterFirst = guitest::SteadyLog(dlg);

    answerer.ExpectAndReturn(wxID_CANCEL);
    dlg.Click(IDC_START);
    ASSERT_EQ(1u, answerer.Seen().size());
    const std::string& question = answerer.Seen()[0].message;
    EXPECT_EQ(0u, question.find("移行先のテーブルには、すでにデータがあります。どうしますか？\n\n"
                                "KEN_ALL: 1,001 件\n"))
        << question;
    EXPECT_NE(std::string::npos, question.find("Mst03: 200 件")) << question;
    EXPECT_NE(std::string::npos, question.find("置き換える: ")) << question;
    const std::string cancelled = "\nキャンセルしました。移行先には何も送っていません。";
    EXPECT_EQ(logAfterFirst + cancelled, guitest::SteadyLog(dlg));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));

    answerer.ExpectAndReturn(wxID_NO);
    dlg.Click(IDC_START);
    EXPECT_EQ("2002", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("400", CountOf(target, "Mst03"));

    answerer.ExpectAndReturn(wxID_YES);
    dlg.Click(IDC_START);
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("200", CountOf(target, "Mst03"));
    EXPECT_EQ(logAfterFirst + cancelled + kCompleteLog + kSampleRows + kAppendNotVerified +
                  kCompleteLog + kSampleRows + kSampleEqual,
              guitest::SteadyLog(dlg));
    EXPECT_EQ(3u, answerer.Seen().size());
}

// 置き換える and then a failure: the target holds what it held, and the log says so.
TEST(StartRun, ReplacingRunThatFailsLeavesTheTargetAsItWas) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    TypePath(dlg, "sample.mdb");
    CDialogAnswerer answerer;
    dlg.Click(IDC_START);
    ASSERT_EQ("1001", CountOf(target, "KEN_ALL"));

    // Mst03's products share their Col05 codes: a unique index refuses its rows.
    target.Execute("delete from Mst03; create unique index mst03_col05 on Mst03(Col05);");
    answerer.ExpectAndReturn(wxID_YES);
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);
    ASSERT_EQ(2u, answerer.Seen().size());
    std::string log = Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_TRUE(log.ends_with("Mst03の移行中に失敗しました（移行先は元のままです）。")) << log;
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("0", CountOf(target, "Mst03"));

    // A table missing from the file is found before the target is opened: no question.
    TypePath(dlg, "missing-table.mdb");
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);
    ASSERT_EQ(3u, answerer.Seen().size());
    log = Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_TRUE(log.ends_with("Mst03の移行に失敗しました（テーブルがありません）。")) << log;
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
}

// A source that cannot be opened is reported in a box, in the session's language, after a
// short line in the log; the next run with a good file works on the same dialog.
TEST(StartRun, FailedRunIsReportedAndTheNextRunWorks) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();

    TypePath(dlg, "wrongpassword.mdb");
    {
        CDialogAnswerer answerer;
        answerer.ExpectAndReturn(wxID_OK);
        dlg.Click(IDC_START);
        ASSERT_EQ(1u, answerer.Seen().size());
        const std::string& message = answerer.Seen()[0].message;
        if (IsJapaneseSession()) {
            EXPECT_NE(std::string::npos,
                      Unwrapped(message).find("データベースパスワードが想定と異なります"))
                << message;
        } else {
            EXPECT_EQ(0u, message.rfind("Not a valid password for the database '", 0)) << message;
        }
        EXPECT_EQ(wxICON_STOP, answerer.Seen()[0].icon);
    }
    const std::string failureLine = "\n移行を開始できませんでした（パスワードが違います）。";
    EXPECT_EQ(failureLine, guitest::SteadyLog(dlg));
    EXPECT_EQ(dlg.LogBox().GetLastPosition(), dlg.LogBox().GetInsertionPoint());
    EXPECT_EQ("0", CountOf(target, "KEN_ALL"));

    TypePath(dlg, "sample.mdb");
    CDialogAnswerer answerer;
    dlg.Click(IDC_START);
    EXPECT_EQ(failureLine + kCompleteLog + kSampleRows + kSampleEqual, guitest::SteadyLog(dlg));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
}

// A damaged file (the first 2 KB of one): the box says so and what to do, the log says the
// run did not start.
TEST(StartRun, DamagedFileIsReportedWithWhatToDo) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    const std::filesystem::path damaged = target.Directory() / "damaged.mdb";
    std::filesystem::copy_file(testpaths::Data("sample.mdb"), damaged);
    std::filesystem::resize_file(damaged, 2048);
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    dlg.PathBox().ChangeValue(wxString::FromUTF8(damaged.string()));
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);
    ASSERT_EQ(1u, answerer.Seen().size());
    const std::string message = Unwrapped(answerer.Seen()[0].message);
    EXPECT_NE(std::string::npos,
              message.find(IsJapaneseSession() ? "最適化/修復" : "is damaged: its table catalogue"))
        << message;
    EXPECT_EQ("\n移行を開始できませんでした（ファイルが壊れています）。", guitest::SteadyLog(dlg));
}

// A table missing from the file: nothing is sent, not even after the question about the rows
// the target holds (the file is checked before it is asked), the log names the table and the
// box says which table of which file.
TEST(StartRun, MissingTableLeavesItsLineAndNamesTheTable) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    CDialogAnswerer answerer;  // the first run shows no box
    TypePath(dlg, "sample.mdb");
    dlg.Click(IDC_START);
    ASSERT_EQ("1001", CountOf(target, "KEN_ALL"));
    TypePath(dlg, "missing-table.mdb");
    answerer.ExpectAndReturn(wxID_OK);  // the failure's box, and no question before it
    dlg.Click(IDC_START);
    ASSERT_EQ(1u, answerer.Seen().size());
    const std::string message = Unwrapped(answerer.Seen()[0].message);
    const std::string log = Utf8FromWx(dlg.LogBox().GetValue());
    const std::string lastLine = log.substr(log.rfind('\n') + 1);
    EXPECT_NE(std::string::npos, lastLine.find("の移行に失敗しました（テーブルがありません）。"))
        << log;
    const std::string table = lastLine.substr(0, lastLine.find("の移行に"));
    EXPECT_NE(std::string::npos,
              message.find(IsJapaneseSession() ? "にテーブル「" + table + "」がありません"
                                               : "The table '" + table + "' does not exist"))
        << message;
    EXPECT_NE(std::string::npos, message.find("missing-table.mdb")) << message;
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("200", CountOf(target, "Mst01"));
}
