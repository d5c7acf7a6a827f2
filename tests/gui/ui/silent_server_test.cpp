// A server that stops answering while a row is on its way (a relay that goes silent, sockets
// open): Esc still stops the run, the statement is given up, and the log says that the row in
// flight may or may not have arrived. A later run connects anew; the thread given up leaves
// once its call returns, after the window is gone.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <wx/timer.h>
#include <wx/uiaction.h>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"
#include "migration/RunThread.h"
#include "migration/target/DialogTarget.h"
#include "migration/target/OdbcTarget.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/StallProxy.h"
#include "tests/support/TempDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

using Clock = std::chrono::steady_clock;

// The dialog's run on a target of the test's choosing, every object its thread's own: one
// committed statement per row, or (asking) the dialog's own target, which asks about the rows
// already there.
std::function<void(CDialogRun&)> RunThrough(const std::string& connect, bool asking = false) {
    return [connect, asking](CDialogRun& run) {
        CDaoWorkspace workspace;
        CDaoDatabase sourceDb;
        CDatabase targetDb;
        CDaoSource source(workspace, sourceDb);
        const CResolvedTarget resolved{connect, {}, "test"};
        if (asking) {
            CDialogTarget target(targetDb, resolved, [&run](const CExistingRows& existing) {
                return run.AskExistingRows(existing);
            });
            run.RunOn(source, target);
        } else {
            COdbcTarget target(targetDb, resolved);
            run.RunOn(source, target);
        }
    };
}

// A box's text without the line breaks the box put in (and its own), and without blanks, which
// go where a line breaks.
std::string WithoutBreaks(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == ' '; }),
        text.end());
    return text;
}

// Does what a user (or the desktop) does, a single time, on the window's thread, as soon as the
// relay has gone silent.
class CWhenSilent {
public:
    CWhenSilent(const testsupport::CStallProxy& proxy, std::function<void()> act) {
        m_timer.Bind(wxEVT_TIMER, [this, &proxy, act = std::move(act)](wxTimerEvent&) {
            if (!m_acted && proxy.Triggered()) {
                m_acted = Clock::now();
                act();
            }
        });
        m_timer.Start(30);
    }
    std::optional<Clock::time_point> Acted() const { return m_acted; }

private:
    wxTimer m_timer;
    std::optional<Clock::time_point> m_acted;
};

}  // namespace

TEST(SilentServer, EscStopsTheRunAndTheLogSaysTheRowIsInDoubt) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("silent");
    auto proxy = std::make_unique<testsupport::CStallProxy>(server.Port(), "insert into Mst01(", 5,
                                                            "before", "freeze");
    {
        CTestDlg dlg;
        dlg.m_strPath = testpaths::Data("sample.mdb").string();
        dlg.runOnThread = RunThrough(proxy->Through(server.ConnectionString(database)));
        CDialogAnswerer answerer;  // a stop shows no box
        std::optional<Clock::time_point> pressed;
        Clock::time_point ended;
        EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                                   dlg,
                                   [&] {
                                       const CWhenSilent esc(
                                           *proxy, [] { wxUIActionSimulator().Char(WXK_ESCAPE); });
                                       dlg.Click(IDC_START);
                                       ended = Clock::now();
                                       pressed = esc.Acted();
                                   },
                                   60000));
        ASSERT_TRUE(pressed);
        EXPECT_LT(ended - *pressed, std::chrono::seconds(10));
        const std::string log = Utf8FromWx(dlg.LogBox().GetValue());
        EXPECT_NE(log.find("\nMst01の移行を中止しました。移行済みは 4 件または 5 件です（5 "
                           "件目が登録されたかは確認できません）。"),
                  std::string::npos)
            << log;
        EXPECT_EQ(*server.Query(database, "select count(*) from Mst01").at(0).at(0), "4");
        EXPECT_EQ("移行開始", Utf8FromWx(dlg.StartButton().GetLabel()));
        EXPECT_FALSE(CRunThread::WaitForAllRuns(std::chrono::milliseconds(0)));

        // The connection given up is not the next run's.
        const std::string again = server.CreateFreshDatabase("silent");
        const testsupport::CStallProxy relay(server.Port(), "never sent", 1, "before", "freeze");
        dlg.runOnThread = RunThrough(relay.Through(server.ConnectionString(again)));
        EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                                   dlg, [&] { dlg.Click(IDC_START); }, 60000));
        EXPECT_EQ(*server.Query(again, "select count(*) from Mst01").at(0).at(0), "200");
    }
    // The window is gone; now the server's side answers (the relay closes the connection),
    // and the thread given up leaves quietly.
    proxy.reset();
    EXPECT_TRUE(CRunThread::WaitForAllRuns(std::chrono::seconds(30)));
}

// The session ends while the relay withholds a row: the close cannot wait for the grace, so
// the statement is given up at once, the window closes, and the history has the run, its
// outcome unknown, before the process would end.
TEST(SilentServer, ASessionEndDuringASilentStatementRecordsTheRunAtOnce) {
    const testsupport::TempDirectory state{"brimlow-state"};
    const testsupport::ScopedEnv stateHome("XDG_STATE_HOME", state.Path().string());
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("silent");
    auto proxy = std::make_unique<testsupport::CStallProxy>(server.Port(), "insert into Mst01(", 5,
                                                            "before", "freeze");
    {
        CTestDlg dlg;
        dlg.m_strPath = testpaths::Data("sample.mdb").string();
        dlg.runOnThread = RunThrough(proxy->Through(server.ConnectionString(database)));
        CDialogAnswerer answerer;  // a stop shows no box
        std::optional<Clock::time_point> closed;
        Clock::time_point ended;
        guitest::InModalLoop(
            dlg,
            [&] {
                const CWhenSilent sessionEnd(*proxy, [&dlg] {
                    wxCloseEvent close(wxEVT_CLOSE_WINDOW, dlg.GetId());
                    close.SetEventObject(&dlg);
                    close.SetCanVeto(false);
                    dlg.ProcessWindowEvent(close);
                });
                dlg.Click(IDC_START);
                ended = Clock::now();
                closed = sessionEnd.Acted();
            },
            60000);
        ASSERT_TRUE(closed);
        EXPECT_LT(ended - *closed, std::chrono::seconds(1));
    }
    const std::vector<std::string> history = ReadRunHistory(10);
    ASSERT_EQ(history.size(), 1u);
    const std::optional<CHistoryRecord> record = ParseHistoryLine(history[0]);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->status, "unknown");
    EXPECT_EQ(record->rows, 1006u);  // the tables before Mst01, and Mst01's first 4
    proxy.reset();
    EXPECT_TRUE(CRunThread::WaitForAllRuns(std::chrono::seconds(30)));
}

// Nobody stops the run: the watcher's deadline cancels the statement the relay withholds, gives
// it up a grace later, and the dialog says that the target did not answer, with the row in
// doubt, in its log and in a message box.
TEST(SilentServer, AServerThatDoesNotAnswerEndsTheRunWithAMessage) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("silent");
    auto proxy = std::make_unique<testsupport::CStallProxy>(server.Port(), "insert into Mst01(", 5,
                                                            "before", "freeze");
    {
        CTestDlg dlg;
        dlg.m_strPath = testpaths::Data("sample.mdb").string();
        dlg.runOnThread = RunThrough(proxy->Through(server.ConnectionString(database)));
        CDialogAnswerer answerer;
        answerer.ExpectAndReturn(wxID_OK);
        EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                                   dlg, [&] { dlg.Click(IDC_START); }, 60000));
        const std::string log = Utf8FromWx(dlg.LogBox().GetValue());
        EXPECT_NE(log.find("\nMst01の 5 件目の送信中に移行先が応答しなくなりました。移行済みは "
                           "4 件または 5 件です（5 件目が登録されたかは確認できません）。"),
                  std::string::npos)
            << log;
        // Our words first, what to do included; the watcher's own text is the detail.
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(
            WithoutBreaks(answerer.Seen()[0].message),
            WithoutBreaks(
                "移行先のサーバーが応答しなくなったため、移行を打ち切りました。Mst01の移行済みは "
                "4 件または 5 件です（5 件目が登録されたかは確認できません）。サーバーの状態を"
                "確認してから、もう一度移行して「置き換える」を選んでください。"));
        const std::string& detail = answerer.Seen()[0].detail;
        EXPECT_TRUE(detail.find("did not answer") != std::string::npos ||
                    detail.find("応答しませんでした") != std::string::npos)
            << detail;
    }
    proxy.reset();
    EXPECT_TRUE(CRunThread::WaitForAllRuns(std::chrono::seconds(30)));
}

// The connection drops after row 5 of Mst01 reached the server: the box says so in our words,
// with what the target holds and what to do, and the driver's text is its detail.
TEST(SilentServer, ALostConnectionIsToldInOurWordsWithTheDriversTextAsDetail) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("dropped");
    const testsupport::CStallProxy proxy(server.Port(), "insert into Mst01(", 5, "after", "drop");
    CTestDlg dlg;
    dlg.m_strPath = testpaths::Data("sample.mdb").string();
    dlg.runOnThread = RunThrough(proxy.Through(server.ConnectionString(database)));
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                               dlg, [&] { dlg.Click(IDC_START); }, 60000));
    ASSERT_EQ(answerer.Seen().size(), 1u);
    const guitest::CSeenDialog& box = answerer.Seen()[0];
    EXPECT_EQ(WithoutBreaks(box.message),
              WithoutBreaks(
                  "移行先のサーバーとの接続が切れました。Mst01の移行済みは 4 件または 5 件です（5 "
                  "件目が登録されたかは確認できません）。サーバーの状態を確認してから、もう一度移行"
                  "して「置き換える」を選んでください。"));
    EXPECT_FALSE(box.detail.empty());
    EXPECT_EQ(box.detail.find("移行先"), std::string::npos) << box.detail;
    EXPECT_EQ(*server.Query(database, "select count(*) from Mst01").at(0).at(0), "5");
}

namespace {

// Pauses the server process of the run's connection once it waits for the tables' lock (another
// session holds one of them), then presses Esc.
class CPauseAndEsc {
public:
    CPauseAndEsc(testtarget::PostgresServer& server, const std::string& database) {
        m_timer.Bind(wxEVT_TIMER, [this, &server, database](wxTimerEvent&) {
            if (m_pid != 0) {
                return;
            }
            const auto waiting = server.Query(
                database, "select pid from pg_stat_activity where datname = '" + database +
                              "' and application_name like 'brimlow%' and wait_event_type = "
                              "'Lock'");
            if (!waiting.empty()) {
                m_pid = std::stoi(*waiting.at(0).at(0));
                kill(m_pid, SIGSTOP);
                wxUIActionSimulator().Char(WXK_ESCAPE);
            }
        });
        m_timer.Start(100);
    }
    pid_t Paused() const { return m_pid; }

private:
    wxTimer m_timer;
    pid_t m_pid = 0;
};

}  // namespace

// 置き換える given up while its server process is paused: its session cannot be ended yet, so
// the log does not claim that the target is unchanged. Once the server answers again, the
// session is ended, and the next run gets the run lock and completes.
TEST(SilentServer, AGivenUpReplaceHoldsNoLockOnceTheServerAnswersAgain) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("giveup");
    server.Execute(database, "insert into KEN_ALL_Version values ('2020-01-01 00:00:00')");
    // Another session holds a table, so that the replacing run waits there; it is ended
    // whichever way the test leaves.
    struct CHolder {
        testtarget::PostgresServer& server;
        std::string database;
        std::thread thread;
        void End() {
            if (thread.joinable()) {
                server.Execute(database,
                               "select pg_terminate_backend(pid) from pg_stat_activity where "
                               "query like '%pg_sleep(60)%' and pid <> pg_backend_pid()");
                thread.join();
            }
        }
        ~CHolder() { End(); }
    } holder{server, database, std::thread([&server, database] {
                 try {
                     server.Execute(database,
                                    "begin; lock table Mst04Error in share mode; "
                                    "select pg_sleep(60);");
                 } catch (const std::exception&) {
                     // Ended by the test.
                 }
             })};
    ASSERT_TRUE(testsupport::AwaitCondition([&] {
        return *server
                    .Query(database,
                           "select count(*) from pg_locks where relation = "
                           "'mst04error'::regclass and mode = 'ShareLock' and granted")
                    .at(0)
                    .at(0) == "1";
    }));
    CTestDlg dlg;
    dlg.runOnThread = RunThrough(server.ConnectionString(database), true);
    dlg.m_strPath = testpaths::Data("sample.mdb").string();
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_YES);  // 置き換える
    pid_t paused = 0;
    EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                               dlg,
                               [&] {
                                   const CPauseAndEsc pause(server, database);
                                   dlg.Click(IDC_START);
                                   paused = pause.Paused();
                               },
                               90000));
    holder.End();
    ASSERT_NE(paused, 0) << Utf8FromWx(dlg.LogBox().GetValue());
    const std::string log = Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_TRUE(
        log.ends_with("サーバー上のセッションを終了できなかったため、移行先の状態は確認"
                      "できていません。"))
        << log;
    // The server answers again: the session, asked to end while paused, ends.
    kill(paused, SIGCONT);

    answerer.ExpectAndReturn(wxID_YES);
    EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                               dlg, [&] { dlg.Click(IDC_START); }, 60000));
    const std::string again = guitest::SteadyLog(dlg);
    // Replaced, and read back equal.
    EXPECT_TRUE(
        again.ends_with("移行が完了しました。\n1,512 件を N 秒で移行しました。\n1,512 "
                        "件すべての値が移行元と一致しました。"))
        << again;
    EXPECT_EQ(*server.Query(database, "select count(*) from KEN_ALL").at(0).at(0), "1001");
    EXPECT_EQ(*server.Query(database, "select count(*) from KEN_ALL_Version").at(0).at(0), "1");
}
