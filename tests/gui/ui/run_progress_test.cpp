// A run the user can watch and stop: the progress line, a stop from the 中止 button, Esc or
// the close box, and the line that says where a failed run ended. The real source and the
// embedded target, with each statement slowed to about a millisecond.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include <wx/timer.h>
#include <wx/uiaction.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"
#include "migration/RunThread.h"
#include "migration/target/OdbcTarget.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/WorkingDirectory.h"
#include "tests/unit/migration/engine_fakes.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// The dialog's own target connection, about a millisecond a statement, with a hook that
// runs before each statement and gets the number acknowledged since the connect.
class CSlowTarget final : public ITargetDatabase {
public:
    explicit CSlowTarget(CDatabase& database) : m_real(database) {}

    std::function<void(size_t sent)> beforeStatement;

    bool IsOpen() const noexcept override { return m_real.IsOpen(); }
    void Open(const std::string& connect) override {
        m_real.Open(connect);
        m_nSent = 0;
    }
    void InsertRow(const CInsertItemList& row) override {
        if (beforeStatement) {
            beforeStatement(m_nSent);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_real.InsertRow(row);
        ++m_nSent;
    }
    void EndTable() override { m_real.EndTable(); }
    std::optional<size_t> CountRows(const std::string& table) override {
        return m_real.CountRows(table);
    }
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns) override {
        return m_real.ReadBackPadding(table, columns);
    }
    std::unique_ptr<ITableReader> ReadBack(const std::string& table,
                                           const std::vector<std::string>& columns) override {
        return m_real.ReadBack(table, columns);
    }
    void Close() noexcept override { m_real.Close(); }

private:
    COdbcTarget m_real;
    size_t m_nSent = 0;
};

class CRunDlg : public CTestDlg {
public:
    // Runs before each statement of the slowed target, on the run's thread, with the number
    // acknowledged since the connect; what it does to the window goes through run.CallOnUi.
    std::function<void(CDialogRun& run, size_t sent)> beforeStatement;

    // The run on the file in the path box and the slowed target.
    void RunSlow() {
        runOnThread = [this](CDialogRun& run) {
            CDaoWorkspace workspace;
            CDaoDatabase sourceDb;
            CDatabase targetDb;
            CDaoSource source(workspace, sourceDb);
            CSlowTarget slowTarget(targetDb);
            slowTarget.beforeStatement = [this, &run](size_t sent) {
                if (beforeStatement) {
                    beforeStatement(run, sent);
                }
            };
            run.RunOn(source, slowTarget);
        };
    }
};

// The slowed runs take longer than the default watchdog allows.
int InSlowRunLoop(CTestDlg& dlg, const std::function<void()>& body) {
    return guitest::InModalLoop(dlg, body, 20000);
}

std::string LastLine(const std::string& log) {
    return log.substr(log.rfind('\n') + 1);
}

// Numbers of a log line, "52,000" read as 52000.
size_t Number(const std::string& text) {
    std::string digits;
    for (const char c : text) {
        if (c != ',') {
            digits += c;
        }
    }
    return std::stoul(digits);
}

class RunProgress : public testing::Test {
protected:
    RunProgress() : cwd(target.Directory()) {
        // Showing the dialog moves m_strPath into the path box.
        dlg.m_strPath = testpaths::Data("sample.mdb").string();
        dlg.RunSlow();
    }

    // After a stop: the one line of the run says where, and the target holds exactly that.
    void ExpectStoppedInKenAll() {
        const std::string log = guitest::SteadyLog(dlg);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(
            log, match,
            std::regex("\nKEN_ALLの移行を中止しました（([0-9,]+) / 1,001 件を移行済み）。")))
            << log;
        EXPECT_EQ(target.Count("KEN_ALL"), Number(match[1]));
        EXPECT_GE(Number(match[1]), 300u);
        EXPECT_LT(Number(match[1]), 1001u);
        EXPECT_EQ(Utf8FromWx(dlg.LogBox().GetValue()), dlg.m_strLog);
        EXPECT_EQ("移行開始", Utf8FromWx(dlg.StartButton().GetLabel()));
    }

    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd;
    CRunDlg dlg;
};

}  // namespace

// The last line shows the table in progress against the table's row count, and the table's
// own line replaces it: the log of a completed run is the usual one.
TEST_F(RunProgress, ProgressLineShowsDuringATableAndIsReplacedAtItsEnd) {
    std::string lineDuring;
    std::string memberLineDuring;
    dlg.beforeStatement = [&](CDialogRun& run, size_t sent) {
        if (sent == 600) {
            run.CallOnUi([&](CBrimlowDlg&) {
                lineDuring = LastLine(Utf8FromWx(dlg.LogBox().GetValue()));
                memberLineDuring = LastLine(dlg.m_strLog);
            });
        }
    };
    CDialogAnswerer answerer;
    InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); });

    EXPECT_TRUE(
        std::regex_match(lineDuring, std::regex("KEN_ALLを移行中… [1-5][0-9][0-9] / 1,001 件")))
        << lineDuring;
    EXPECT_EQ(lineDuring, memberLineDuring);
    EXPECT_EQ(
        "\nKEN_ALLを移行しました。\nKEN_ALL_Versionを移行しました。\nMst01を移行しました。"
        "\nMst02を移行しました。\nMst02Errorを移行しました。\nMst03を移行しました。"
        "\nMst04を移行しました。\nMst04Errorを移行しました。\n移行が完了しました。"
        "\n1,512 件を N 秒で移行しました。\n1,512 件すべての値が移行元と一致しました。",
        guitest::SteadyLog(dlg));
}

// A real click on 中止, or Enter while it has the focus, stops the run between rows, without a
// message box; the dialog stays.
TEST_F(RunProgress, StopButtonStopsAtARowAndTheTargetHoldsTheRowsReported) {
    for (const bool bKeyboard : {false, true}) {
        dlg.beforeStatement = [&](CDialogRun& run, size_t sent) {
            if (sent == 300) {
                run.CallOnUi([&](CBrimlowDlg&) {
                    EXPECT_EQ(&dlg.StartButton(), wxWindow::FindFocus());
                    wxUIActionSimulator input;
                    if (bKeyboard) {
                        input.Char(WXK_RETURN);
                    } else {
                        const wxRect button = dlg.StartButton().GetScreenRect();
                        input.MouseMove(button.GetPosition() + button.GetSize() / 2);
                        input.MouseClick();
                    }
                });
            }
        };
        target.Execute("delete from KEN_ALL;");
        dlg.m_strLog.clear();
        CDialogAnswerer answerer;  // fails on any box
        EXPECT_EQ(wxID_IGNORE, InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); }));
        ExpectStoppedInKenAll();
    }
}

// Esc stops the run and the dialog stays open; the close box stops it and then closes.
TEST_F(RunProgress, EscStopsAndTheCloseBoxStopsAndCloses) {
    dlg.beforeStatement = [&](CDialogRun& run, size_t sent) {
        if (sent == 300) {
            run.CallOnUi([](CBrimlowDlg&) { wxUIActionSimulator().Char(WXK_ESCAPE); });
        }
    };
    {
        CDialogAnswerer answerer;
        EXPECT_EQ(wxID_IGNORE, InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); }));
    }
    ExpectStoppedInKenAll();

    target.Execute("delete from KEN_ALL;");
    dlg.m_strLog.clear();
    dlg.UpdateData(false);
    dlg.beforeStatement = [&](CDialogRun& run, size_t sent) {
        if (sent == 300) {
            run.CallOnUi([&](CBrimlowDlg&) { dlg.Close(); });
        }
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);
    EXPECT_EQ(wxID_CANCEL, InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); }));
    ExpectStoppedInKenAll();
}

// 中止して終了: the run is recorded in the history, stopped, with the rows the target holds.
TEST_F(RunProgress, StopAndCloseLeavesTheRowsSentInTheHistory) {
    const testsupport::TempDirectory state("brimlow-state");
    const testsupport::ScopedEnv stateHome("XDG_STATE_HOME", state.Path().string());
    dlg.beforeStatement = [&](CDialogRun& run, size_t sent) {
        if (sent == 300) {
            run.CallOnUi([&](CBrimlowDlg&) { dlg.Close(); });
        }
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);  // 中止して終了
    EXPECT_EQ(wxID_CANCEL, InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); }));
    ExpectStoppedInKenAll();

    const std::vector<std::string> lines = ReadRunHistory(10);
    ASSERT_EQ(1u, lines.size());
    const std::optional<CHistoryRecord> record = ParseHistoryLine(lines[0]);
    ASSERT_TRUE(record.has_value()) << lines[0];
    EXPECT_EQ("stopped", record->status);
    EXPECT_EQ("new", record->mode);
    EXPECT_EQ(target.Count("KEN_ALL"), record->rows);
    EXPECT_NE(std::string::npos, lines[0].find("\"inserted\": " + std::to_string(record->rows)))
        << lines[0];
}

// A window that goes during the run (a close that cannot wait): the run stops on its own
// thread and is recorded all the same, with the rows the target holds.
TEST_F(RunProgress, ARunWhoseWindowWentIsRecordedInTheHistory) {
    const testsupport::TempDirectory state("brimlow-state");
    const testsupport::ScopedEnv stateHome("XDG_STATE_HOME", state.Path().string());
    auto* gone = new CTestDlg;
    gone->runOnThread = [](CDialogRun& run) {
        CDaoWorkspace workspace;
        CDaoDatabase sourceDb;
        CDatabase targetDb;
        CDaoSource source(workspace, sourceDb);
        CSlowTarget slowTarget(targetDb);
        slowTarget.beforeStatement = [&run](size_t sent) {
            if (sent == 300) {
                run.CallOnUi([](CBrimlowDlg& window) { delete &window; });
            }
        };
        run.RunOn(source, slowTarget);
    };
    // Showing the dialog moves m_strPath into the path box.
    gone->m_strPath = testpaths::Data("sample.mdb").string();
    gone->Show();
    CDialogAnswerer answerer;  // fails on any box
    wxCommandEvent click(wxEVT_BUTTON, IDC_START);
    click.SetEventObject(&gone->StartButton());
    gone->StartButton().ProcessWindowEvent(click);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!CRunThread::WaitForAllRuns(std::chrono::milliseconds(0)) &&
           std::chrono::steady_clock::now() < end) {
        guitest::Flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(CRunThread::WaitForAllRuns(std::chrono::milliseconds(0)));

    const std::vector<std::string> lines = ReadRunHistory(10);
    ASSERT_EQ(1u, lines.size());
    const std::optional<CHistoryRecord> record = ParseHistoryLine(lines[0]);
    ASSERT_TRUE(record.has_value()) << lines[0];
    EXPECT_EQ("stopped", record->status);
    EXPECT_EQ(target.Count("KEN_ALL"), record->rows);
    EXPECT_GE(record->rows, 300u);
}

// A refused row: the progress line says which row failed and how many went in, then the
// driver's text is shown as before.
TEST_F(RunProgress, FailedRowNamesTheRowAndTheRowsKept) {
    dlg.beforeStatement = [](CDialogRun&, size_t sent) {
        if (sent == 108) {
            throw CDBException("ERROR: value too long for type character varying(10)");
        }
    };
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); });

    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("ERROR: value too long for type character varying(10)", answerer.Seen()[0].message);
    EXPECT_EQ("\nKEN_ALLの 109 件目で失敗しました（108 件を移行済み）。", guitest::SteadyLog(dlg));
    EXPECT_EQ(108u, target.Count("KEN_ALL"));
}

// A stop during the file check ends the check at its next heartbeat; no table is reached.
TEST_F(RunProgress, StopDuringTheFileCheckEndsItBeforeAnyTable) {
    FakeEvents events;
    FakeSource source(events);
    FakeTarget fakeTarget(events);
    int heartbeats = 0;
    CDialogRun* current = nullptr;
    source.onOpen = [&](const std::string&) {
        // A check of up to ten seconds, calling back every 30 ms.
        for (; heartbeats < 330; ++heartbeats) {
            if (heartbeats == 1) {
                current->CallOnUi([](CBrimlowDlg&) { wxUIActionSimulator().Char(WXK_ESCAPE); });
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            source.waitCallback();
        }
    };
    dlg.runOnThread = [&](CDialogRun& run) {
        current = &run;
        run.RunOn(source, fakeTarget);
    };
    CDialogAnswerer answerer;
    InSlowRunLoop(dlg, [&] { dlg.Click(IDC_START); });

    EXPECT_LT(heartbeats, 100);
    EXPECT_EQ("\nテーブルを移行する前に中止しました。", guitest::SteadyLog(dlg));
    EXPECT_EQ(std::vector<std::string>{"source.open " + testpaths::Data("sample.mdb").string() +
                                       " ;PWD=wuzo"},
              events.list);
}
