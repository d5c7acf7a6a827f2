// What the dialog tells so that each run can be accounted for: the run's header, the rows and
// the time after the completion line, the note on a stale row count, the run history it writes
// and the box of its context menu that lists it.

#include <gtest/gtest.h>

#include <wx/textctrl.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "dbaccess/Translate.h"
#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"
#include "migration/RunSettings.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/TargetResolution.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/DeclaredRows.h"
#include "tests/support/Paths.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The history of the test alone, and a dialog whose runs migrate for real into a fresh
// embedded target.
class RunAccount : public testing::Test {
protected:
    RunAccount() : stateHome("XDG_STATE_HOME", state.Path().string()), cwd(target.Directory()) {
        dlg.runOnThread = &CTestDlg::RunRealMigration;
        dlg.Show();
    }

    void Run(const std::filesystem::path& file) {
        dlg.PathBox().ChangeValue(wxString::FromUTF8(file.string()));
        dlg.Click(IDC_START);
    }

    std::vector<std::string> LogLines() { return Lines(Utf8FromWx(dlg.LogBox().GetValue())); }

    static std::vector<CHistoryRecord> History() {
        std::vector<CHistoryRecord> records;
        for (const std::string& line : ReadRunHistory(100)) {
            const std::optional<CHistoryRecord> record = ParseHistoryLine(line);
            EXPECT_TRUE(record.has_value()) << line;
            if (record) {
                records.push_back(*record);
            }
        }
        return records;
    }

    // Opens 実行履歴 as its menu item does; gives the box's title and text.
    std::pair<std::string, std::string> ShowHistory() {
        std::pair<std::string, std::string> seen;
        CDialogAnswerer answerer;
        answerer.Expect([&seen](wxDialog& box) {
            seen.first = Utf8FromWx(box.GetTitle());
            const auto* list = dynamic_cast<wxTextCtrl*>(box.FindWindow(IDC_HISTORY));
            EXPECT_NE(nullptr, list);
            if (list != nullptr) {
                seen.second = Utf8FromWx(list->GetValue());
                EXPECT_FALSE(list->IsEditable());
            }
            // Esc and Enter close it.
            EXPECT_EQ(wxID_OK, box.GetEscapeId());
            EXPECT_NE(nullptr, box.FindWindow(wxID_OK));
            EXPECT_EQ(box.FindWindow(wxID_OK), box.GetDefaultItem());
            return wxID_OK;
        });
        wxCommandEvent command(wxEVT_MENU, IDM_HISTORY);
        EXPECT_TRUE(dlg.ProcessWindowEvent(command));
        return seen;
    }

    const testsupport::TempDirectory state{"brimlow-state"};
    const testsupport::ScopedEnv stateHome;
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd;
    CTestDlg dlg;
};

// "―― 14:02 " and the rest of a header line; the rest alone, or the line when it is none.
std::string AfterTime(const std::string& line) {
    static const std::regex start("―― [0-9]{2}:[0-9]{2} ");
    std::smatch match;
    if (std::regex_search(line, match, start) && match.position(0) == 0) {
        return match.suffix();
    }
    return "not a header: " + line;
}

const std::regex kRowsAndTime("1,512 件を (1 秒未満|[0-9]+ 秒)で移行しました。");

}  // namespace

// Each run begins with its header: the time, the file's name, the target as the tooltip names
// it and, once the target's tables were counted and the question answered, how the run writes;
// a cancel keeps the header without it and says that nothing was sent. The completion line is
// followed by the rows and the time they took, and every run that wrote is in the history and
// in the 実行履歴 box.
TEST_F(RunAccount, HeaderRowsAndTimeAndHistoryForEachWayOfWriting) {
    const std::string tooltipTarget = JapaneseTargetName(DescribeTargetInUse(kTargetConnection));
    EXPECT_EQ("移行先: " + tooltipTarget, Utf8FromWx(dlg.StartButton().GetToolTipText()));
    const std::filesystem::path sample = testpaths::Data("sample.mdb");
    CDialogAnswerer answerer;
    Run(sample);  // empty tables: no question
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(13u, lines.size()) << Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_EQ("", lines[0]);
    EXPECT_EQ("sample.mdb → " + tooltipTarget + "（新規）――", AfterTime(lines[1]));
    EXPECT_EQ("KEN_ALLを移行しました。", lines[2]);
    EXPECT_EQ("移行が完了しました。", lines[10]);
    EXPECT_TRUE(std::regex_match(lines[11], kRowsAndTime)) << lines[11];
    EXPECT_EQ("1,512 件すべての値が移行元と一致しました。", lines[12]);

    answerer.ExpectAndReturn(wxID_CANCEL);
    Run(sample);
    lines = LogLines();
    ASSERT_EQ(15u, lines.size());
    EXPECT_EQ("sample.mdb → " + tooltipTarget + " ――", AfterTime(lines[13]));
    EXPECT_EQ("キャンセルしました。移行先には何も送っていません。", lines[14]);

    answerer.ExpectAndReturn(wxID_NO);  // 追加する
    Run(sample);
    answerer.ExpectAndReturn(wxID_YES);  // 置き換える
    Run(sample);
    lines = LogLines();
    ASSERT_EQ(39u, lines.size());
    EXPECT_EQ("sample.mdb → " + tooltipTarget + "（追加）――", AfterTime(lines[15]));
    EXPECT_TRUE(std::regex_match(lines[25], kRowsAndTime)) << lines[25];
    EXPECT_EQ("sample.mdb → " + tooltipTarget + "（置き換え）――", AfterTime(lines[27]));
    EXPECT_TRUE(std::regex_match(lines[37], kRowsAndTime)) << lines[37];
    EXPECT_EQ(Utf8FromWx(dlg.LogBox().GetValue()), dlg.m_strLog);

    // The cancel sent nothing and is not a run of the history.
    const std::vector<CHistoryRecord> history = History();
    ASSERT_EQ(3u, history.size());
    const char* const modes[] = {"new", "append", "replace"};
    std::string listed;
    for (size_t i = 0; i < history.size(); ++i) {
        EXPECT_EQ(modes[i], history[i].mode);
        EXPECT_EQ(1512u, history[i].rows);
        EXPECT_EQ("completed", history[i].status);
        EXPECT_EQ(sample.string(), history[i].file);
        EXPECT_EQ(DescribeTargetInUse(kTargetConnection), history[i].target);
        listed += (i == 0 ? "" : "\n") + DescribeHistoryRecord(history[i]);
    }
    EXPECT_EQ("equal", history[0].verification);
    EXPECT_EQ("not run", history[1].verification);

    const auto [title, text] = ShowHistory();
    EXPECT_EQ("実行履歴", title);
    EXPECT_EQ(listed, text);
}

// A table that holds more rows than its definition declares: one line says so before the
// table's own line, every row goes over, and the history keeps the declared count.
TEST_F(RunAccount, AStaleRowCountIsNotedInTheLog) {
    const std::filesystem::path stale = target.Directory() / "stale.mdb";
    testsupport::CopyWithDeclaredRows(testpaths::Data("sample.mdb"), stale, "Mst02", 49);
    CDialogAnswerer answerer;  // fails on any box
    Run(stale);
    const std::string log = guitest::SteadyLog(dlg);
    EXPECT_NE(std::string::npos,
              log.find("\nMst01を移行しました。\nMst02には 50 件のデータがありますが、テーブル定義"
                       "上の件数は 49 件です。定義の件数が古いだけで、データはすべて読み取っていま"
                       "す（Access のあるパソコンで「データベースの最適化/修復」を行うと直ります）"
                       "。\nMst02を移行しました。\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find("\n1,512 件を N 秒で移行しました。")) << log;
    EXPECT_EQ(50u, target.Count("Mst02"));
    const std::vector<std::string> lines = ReadRunHistory(10);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos,
              lines[0].find("{\"table\": \"Mst02\", \"total\": 50, \"declared\": 49, "
                            "\"inserted\": 50, "))
        << lines[0];
}

// 実行履歴 with no history yet says so; with more runs than it shows, it lists the last 20,
// oldest first, in the user's language.
TEST_F(RunAccount, HistoryBoxListsTheLastTwentyRuns) {
    std::string none = Tr("No run is recorded yet.\n");
    none.pop_back();
    EXPECT_EQ(none, ShowHistory().second);

    std::vector<std::string> described;
    for (int run = 1; run <= 25; ++run) {
        const std::string line = HistoryLine(
            "{\"status\": \"stopped\", \"tables\": [{\"table\": \"KEN_ALL\", \"total\": 1001, "
            "\"inserted\": " +
                std::to_string(run) + ", \"seconds\": 0.5}], \"target\": \"DSN Pomvale01\"}",
            "/data/run" + std::to_string(run) + ".mdb", "append");
        ASSERT_EQ("", AppendRunHistory(line));
        described.push_back(DescribeHistoryRecord(*ParseHistoryLine(line)));
    }
    const std::vector<std::string> shown = Lines(ShowHistory().second);
    ASSERT_EQ(20u, shown.size());
    EXPECT_EQ(described[5], shown.front());
    EXPECT_EQ(described[24], shown.back());
    EXPECT_NE(std::string::npos, shown.back().find("run25.mdb → DSN Pomvale01")) << shown.back();
}
