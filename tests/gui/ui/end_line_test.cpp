// The dialog's line for how a run ended, from the run's own account of it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "migration/RunOutcome.h"
#include "migration/target/DialogTarget.h"
#include "ui/RunLogLines.h"
#include "ui/ServerTroubleReport.h"

namespace {

CRunOutcome Ended(CRunOutcome::Status status, std::exception_ptr error = nullptr) {
    CRunOutcome outcome;
    outcome.status = status;
    outcome.error = std::move(error);
    return outcome;
}

CRunOutcome In(CRunOutcome outcome, size_t inserted) {
    outcome.table = CTableProgress{"KEN_ALL", 126029, inserted};
    return outcome;
}

const auto kRefused = std::make_exception_ptr(CDBException("refused"));

}  // namespace

TEST(EndLine, StopsAndFailuresSayWhereTheRunEndedAndWhatTheTargetHolds) {
    using Status = CRunOutcome::Status;
    EXPECT_EQ(runlines::EndLine(Ended(Status::Completed)), "");
    EXPECT_EQ(runlines::EndLine(Ended(Status::Stopped)), "テーブルを移行する前に中止しました。");
    EXPECT_EQ(runlines::EndLine(In(Ended(Status::Stopped), 52000)),
              "KEN_ALLの移行を中止しました（52,000 / 126,029 件を移行済み）。");
    EXPECT_EQ(runlines::EndLine(In(Ended(Status::Failed, kRefused), 108)),
              "KEN_ALLの 109 件目で失敗しました（108 件を移行済み）。");

    CRunOutcome inDoubt = In(Ended(Status::Stopped), 1372);
    inDoubt.unknown = UnknownOutcome::Row;
    EXPECT_EQ(runlines::EndLine(inDoubt),
              "KEN_ALLの移行を中止しました。移行済みは 1,372 件または 1,373 件です（1,373 "
              "件目が登録されたかは確認できません）。");

    CRunOutcome lostCommit = Ended(Status::Failed, kRefused);
    lostCommit.unknown = UnknownOutcome::Commit;
    EXPECT_EQ(runlines::EndLine(lostCommit),
              "確定の途中で接続が切れました。移行先は以前の内容か今回の内容のどちらかです"
              "（確定の結果は確認できません）。");
}

TEST(EndLine, ARunThatIsOneTransactionSaysTheTargetIsUnchanged) {
    using Status = CRunOutcome::Status;
    CRunOutcome stopped = In(Ended(Status::Stopped), 10);
    stopped.rolledBack = true;
    EXPECT_EQ(runlines::EndLine(stopped), "KEN_ALLの移行を中止しました（移行先は元のままです）。");

    CRunOutcome failed = In(Ended(Status::Failed, kRefused), 10);
    failed.rolledBack = true;
    EXPECT_EQ(runlines::EndLine(failed), "KEN_ALLの移行中に失敗しました（移行先は元のままです）。");

    // A refused commit, after every table's line: not a run that could not start.
    CRunOutcome commit = Ended(Status::Failed, kRefused);
    commit.rolledBack = true;
    commit.inCommit = true;
    EXPECT_EQ(runlines::EndLine(commit), "確定に失敗しました（移行先は元のままです）。");

    CRunOutcome beforeTables = Ended(Status::Failed, kRefused);
    beforeTables.rolledBack = true;
    EXPECT_EQ(runlines::EndLine(beforeTables),
              "移行を開始できませんでした（移行先に接続できません）。");
}

TEST(EndLine, AFailureBeforeATablesFirstRowGivesAShortReasonAndACancelSaysNothingWasSent) {
    CRunOutcome opening = In(Ended(CRunOutcome::Status::Failed, kRefused), 0);
    opening.table->table = "Mst03";
    opening.failedOpeningTable = true;
    EXPECT_EQ(runlines::EndLine(opening), "Mst03の移行に失敗しました（移行先に書き込めません）。");
    EXPECT_EQ(runlines::EndLine(
                  Ended(CRunOutcome::Status::Failed, std::make_exception_ptr(CRunCancelled()))),
              "キャンセルしました。移行先には何も送っていません。");
    // Any other cancel of the user's family tells nothing.
    EXPECT_EQ(runlines::EndLine(Ended(CRunOutcome::Status::Failed,
                                      std::make_exception_ptr(CUserException("cancelled")))),
              "");
}

// The line after the completion: the rows and the time they took, to the second.
TEST(RunAccountLines, RowsAndTimeTaken) {
    EXPECT_EQ(runlines::Migrated(166140, 12.4), "166,140 件を 12 秒で移行しました。");
    EXPECT_EQ(runlines::Migrated(1512, 0.2), "1,512 件を 1 秒未満で移行しました。");
    EXPECT_EQ(runlines::Duration(59.6), "1 分");
    EXPECT_EQ(runlines::Duration(125), "2 分 5 秒");
    EXPECT_EQ(runlines::Duration(3725), "1 時間 2 分 5 秒");
    EXPECT_EQ(runlines::Duration(7200), "2 時間");
}

TEST(EndLine, ATargetThatDidNotAnswerSaysWhatItMayHold) {
    using Status = CRunOutcome::Status;
    CRunOutcome row = In(Ended(Status::Failed, kRefused), 1372);
    row.noAnswer = true;
    row.unknown = UnknownOutcome::Row;
    EXPECT_EQ(runlines::EndLine(row),
              "KEN_ALLの 1,373 件目の送信中に移行先が応答しなくなりました。移行済みは 1,372 件"
              "または 1,373 件です（1,373 件目が登録されたかは確認できません）。");

    CRunOutcome commit = Ended(Status::Failed, kRefused);
    commit.noAnswer = true;
    commit.unknown = UnknownOutcome::Commit;
    EXPECT_EQ(runlines::EndLine(commit),
              "確定の途中で移行先が応答しなくなりました。移行先は以前の内容か今回の内容のどちら"
              "かです（確定の結果は確認できません）。");

    CRunOutcome left = In(Ended(Status::Failed, kRefused), 10);
    left.noAnswer = true;
    left.sessionLeft = true;
    EXPECT_EQ(runlines::EndLine(left),
              "KEN_ALLの移行中に移行先が応答しなくなりました。サーバー上のセッションを終了でき"
              "なかったため、移行先の状態は確認できていません。");

    CRunOutcome stoppedLeft = In(Ended(Status::Stopped), 10);
    stoppedLeft.sessionLeft = true;
    EXPECT_EQ(runlines::EndLine(stoppedLeft),
              "KEN_ALLの移行を中止しました。サーバー上のセッションを終了できなかったため、移行先"
              "の状態は確認できていません。");
}

// Every row sent and committed, but a table holds other than the run accounts for: the line
// names each such table with what it holds, what it held and what was inserted.
TEST(EndLine, ATableThatDiffersIsNamedWithItsCounts) {
    CRunOutcome differs = Ended(CRunOutcome::Status::Failed,
                                std::make_exception_ptr(CCountDiffers(
                                    {{"KEN_ALL", 97283, 126029, 223313}, {"Mst02", 0, 50, 51}})));
    differs.differs = true;
    EXPECT_EQ(
        runlines::EndLine(differs),
        "移行しましたが、移行先の件数が合いません。KEN_ALLは 223,313 件（以前の 97,283 件に "
        "126,029 件を移行）、Mst02は 51 件（空のテーブルに 50 件を移行）です。移行中に別のプログ"
        "ラム（またはテーブルのトリガー）が移行先を変更しました。");
}

// Another run held the target: the log says so, not that the target could not be reached.
TEST(EndLine, ATargetAnotherRunHoldsIsSaidToBeInUse) {
    const CRunOutcome busy = Ended(CRunOutcome::Status::Failed,
                                   std::make_exception_ptr(CTargetBusy("Another Brimlow run …")));
    EXPECT_EQ(runlines::EndLine(busy),
              "移行を開始できませんでした（移行先は別の移行が使用中です）。");
}

namespace {

std::shared_ptr<CVerification> Verification(CVerification::State state) {
    auto verification = std::make_shared<CVerification>();
    verification->state = state;
    verification->tables = {{"KEN_ALL", 126029, 126029, true, true, 0, 0, {}},
                            {"Mst01", 40000, 40000, true, true, 0, 0, {}},
                            {"Mst03", 111, 111, true, true, 0, 0, {}}};
    return verification;
}

}  // namespace

// The read-back's progress, and what the verification of a completed run found, one line
// after the completion line: equal with the rows compared, stopped with the rows kept, not run
// with its reason. A run without verification has no such line.
TEST(EndLine, TheVerificationOfACompletedRunSaysWhatItFound) {
    using State = CVerification::State;
    EXPECT_EQ(runlines::Verifying(52000, 166140), "検証中… 52,000 / 166,140 件");
    CRunOutcome completed = Ended(CRunOutcome::Status::Completed);
    completed.verification = Verification(State::Equal);
    EXPECT_EQ(runlines::EndLine(completed), "166,140 件すべての値が移行元と一致しました。");
    completed.verification = Verification(State::Stopped);
    EXPECT_EQ(runlines::EndLine(completed),
              "値の検証を中止しました。移行したデータはそのまま移行先に残っています。");
    completed.verification = Verification(State::NotRun);
    EXPECT_EQ(runlines::EndLine(completed, true),
              "以前からデータのあるテーブルに追加したため、値は検証していません。");
    EXPECT_EQ(runlines::EndLine(completed),
              "移行先からテーブルを読み戻せないため、値は検証していません。");
}

// A copy whose values differ names the tables that differ and the file that lists their rows;
// one whose counts differ keeps the line about the counts.
TEST(EndLine, ACopyThatDiffersNamesItsTablesAndTheListOfRows) {
    auto found = Verification(CVerification::State::Differs);
    found->tables[0].verified = false;
    found->tables[2].verified = false;
    found->differencesFile = "/home/u/.local/share/brimlow/differences.txt";
    CRunOutcome differs = Ended(CRunOutcome::Status::Failed,
                                std::make_exception_ptr(CCopyDiffers("KEN_ALL row 3 …")));
    differs.differs = true;
    differs.verification = found;
    EXPECT_EQ(runlines::EndLine(differs),
              "KEN_ALL、Mst03の値が移行元と一致しません。違いのある行を "
              "/home/u/.local/share/brimlow/differences.txt に書き出しました。");
    found->differencesFile.clear();
    found->tables[0].verified = true;
    EXPECT_EQ(runlines::EndLine(differs), "Mst03の値が移行元と一致しません。");

    differs.error = std::make_exception_ptr(CCountDiffers({{"Mst02", 0, 50, 49}}));
    EXPECT_EQ(runlines::EndLine(differs),
              "移行しましたが、移行先の件数が合いません。Mst02は 49 件（空のテーブルに 50 件を"
              "移行）です。移行中に別のプログラム（またはテーブルのトリガー）が移行先を変更しまし"
              "た。");
}

// A run the target's server ended: the box says what happened, what the target holds and what
// to do, in our words; the driver's text is the detail. The server's end of the session is
// known by its state, or by its message in the server's language.
TEST(ServerTroubleReport, SaysWhatHappenedWhatIsInAndWhatToDo) {
    using Status = CRunOutcome::Status;
    const auto lost = [](std::vector<CDiagnosticRecord> records, UnknownOutcome inFlight) {
        return std::make_exception_ptr(
            CConnectionLost(CDBException("driver text\n", std::move(records)), inFlight));
    };
    constexpr const char kAdvice[] =
        "\nサーバーの状態を確認してから、もう一度移行して「置き換える」を選んでください。";

    CRunOutcome ended =
        In(Ended(Status::Failed, lost({{"57P01", 0, "FATAL: ..."}}, UnknownOutcome::Row)), 12451);
    ended.unknown = UnknownOutcome::Row;
    std::optional<CServerTroubleReport> report = DescribeServerTrouble(ended);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->text, std::string("移行先のサーバーが接続を終了しました（サーバーが停止した"
                                        "か、管理者が接続を切断しました）。KEN_ALLの移行済みは "
                                        "12,451 件または 12,452 件です（12,452 件目が登録された"
                                        "かは確認できません）。") +
                                kAdvice);
    EXPECT_EQ(report->detail, "driver text");

    CRunOutcome inJapanese =
        In(Ended(Status::Failed,
                 lost({{"08S01", 0, "致命的エラー: 管理者コマンドにより接続を終了しています"}},
                      UnknownOutcome::None)),
           10);
    inJapanese.rolledBack = true;
    report = DescribeServerTrouble(inJapanese);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->text,
              std::string("移行先のサーバーが接続を終了しました（サーバーが停止した"
                          "か、管理者が接続を切断しました）。移行先は元のままです。") +
                  kAdvice);

    CRunOutcome commit =
        Ended(Status::Failed, lost({{"08006", 0, "gone"}}, UnknownOutcome::Commit));
    commit.unknown = UnknownOutcome::Commit;
    report = DescribeServerTrouble(commit);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->text, std::string("移行先のサーバーとの接続が切れました。移行先は以前の内容"
                                        "か今回の内容のどちらかです（確定の結果は確認できません）"
                                        "。") +
                                kAdvice);

    // Not the server's trouble: a refused row, a stop.
    EXPECT_FALSE(DescribeServerTrouble(In(Ended(Status::Failed, kRefused), 10)));
    EXPECT_FALSE(DescribeServerTrouble(In(Ended(Status::Stopped), 10)));
}
