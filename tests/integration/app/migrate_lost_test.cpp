// brimlow-migrate against a PostgreSQL server reached through a relay that stops relaying at a
// chosen statement (tests/support/stall_proxy.py): a lost connection or a stop while a row or
// the commit is in flight says that the outcome is unknown, with the rows the target surely
// holds, and the target agrees.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "migration/TableCatalogue.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/StallProxy.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CBackgroundRun;
using testsupport::CStallProxy;
using testsupport::ReadFile;

// A run of sample.mdb into a fresh database through the relay.
class CProxiedRun {
public:
    CProxiedRun(const std::string& pattern, int nth, const char* when, const char* action,
                std::vector<std::string> options = {})
        : m_database(testtarget::PostgresServer::Get().CreateFreshDatabase("lost")),
          m_proxy(testtarget::PostgresServer::Get().Port(), pattern, nth, when, action) {
        const std::string connect =
            m_proxy.Through(testtarget::PostgresServer::Get().ConnectionString(m_database));
        options.insert(options.end(),
                       {"--target", connect, "--summary", (m_dir.Path() / "summary.json").string(),
                        testpaths::Data("sample.mdb").string()});
        m_run.emplace(options, m_dir.Path());
    }
    const CStallProxy& Proxy() const { return m_proxy; }
    const CBackgroundRun& Run() const { return *m_run; }
    // The exit status; a run still going after two minutes is killed.
    int Wait() const {
        std::thread killer([this, done = &m_bDone] {
            for (int i = 0; i < 1200 && !*done; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!*done) {
                m_run->Signal(SIGKILL);
            }
        });
        const int status = m_run->Wait();
        m_bDone = true;
        killer.join();
        return status;
    }
    std::string Err() const { return ReadFile(m_dir.Path() / "err"); }
    std::string Summary() const { return ReadFile(m_dir.Path() / "summary.json"); }
    long Count(const std::string& table) const {
        return std::stol(*testtarget::PostgresServer::Get()
                              .Query(m_database, "select count(*) from " + table)
                              .at(0)
                              .at(0));
    }

private:
    std::string m_database;
    CStallProxy m_proxy;
    testsupport::TempDirectory m_dir{"brimlow-lost"};
    std::optional<CBackgroundRun> m_run;
    mutable std::atomic<bool> m_bDone{false};
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A per-row run of kenall-full.mdb into a fresh database, whose server process can be paused
// (SIGSTOP) once the run is under way; a paused one is let go again with the object.
class CPausedServerRun {
public:
    explicit CPausedServerRun(const std::string& prefix)
        : m_database(testtarget::PostgresServer::Get().CreateFreshDatabase(prefix)),
          m_run({"--progress", "--target",
                 testtarget::PostgresServer::Get().ConnectionString(m_database), "--summary",
                 (m_dir.Path() / "summary.json").string(),
                 testpaths::SharedFixtures("kenall-full.mdb").string()},
                m_dir.Path()) {}
    ~CPausedServerRun() {
        if (m_pid > 0) {
            kill(m_pid, SIGCONT);
        }
    }
    CPausedServerRun(const CPausedServerRun&) = delete;
    CPausedServerRun& operator=(const CPausedServerRun&) = delete;

    // Pauses the run's server process once the first table is under way; false when the run's
    // one connection could not be found.
    bool Pause() {
        testsupport::AwaitCondition([&] { return Has(Err(), "KEN_ALL"); });
        const auto backend = testtarget::PostgresServer::Get().Query(
            m_database, "select pid from pg_stat_activity where datname = '" + m_database +
                            "' and pid <> pg_backend_pid()");
        if (backend.size() != 1) {
            return false;
        }
        m_pid = std::stoi(*backend.at(0).at(0));
        kill(m_pid, SIGSTOP);
        return true;
    }
    // Ends the run's session on the server once the first table is under way, as an
    // administrator or a shutdown does; false when its one connection could not be found.
    bool Terminate() {
        testsupport::AwaitCondition([&] { return Has(Err(), "KEN_ALL"); });
        const auto ended = testtarget::PostgresServer::Get().Query(
            m_database, "select pg_terminate_backend(pid) from pg_stat_activity where datname = '" +
                            m_database + "' and pid <> pg_backend_pid()");
        return ended.size() == 1;
    }
    void Resume() {
        kill(m_pid, SIGCONT);
        m_pid = -1;
    }
    const CBackgroundRun& Run() const { return m_run; }
    std::string Err() const { return ReadFile(m_dir.Path() / "err"); }
    std::string Summary() const { return ReadFile(m_dir.Path() / "summary.json"); }

private:
    std::string m_database;
    testsupport::TempDirectory m_dir{"brimlow-paused"};
    CBackgroundRun m_run;
    pid_t m_pid = -1;
};

}  // namespace

// The connection drops after row 5 of Mst01 reached the server (which committed it) and
// before its answer came back: the program cannot know, and says so.
TEST(LostConnection, RowInFlightIsReportedUnknown) {
    const CProxiedRun run("insert into Mst01(", 5, "after", "drop");
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_TRUE(Has(run.Err(),
                    "the connection was lost while row 5 of Mst01 was being sent: "
                    "the target holds 4 or 5 rows of it"))
        << run.Err();
    // What to do comes before the driver's own text.
    const std::size_t advice = run.Err().find("check that the target's server is running");
    EXPECT_NE(advice, std::string::npos) << run.Err();
    EXPECT_GT(advice, run.Err().find("rows of it; the outcome")) << run.Err();
    EXPECT_TRUE(Has(run.Err().substr(advice), "run again with --replace.\n")) << run.Err();
    EXPECT_NE(run.Err().find('\n', advice) + 1, run.Err().size()) << run.Err();
    EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
    EXPECT_TRUE(Has(run.Summary(), "{\"table\": \"Mst01\", \"total\": 200, \"inserted\": 4, "))
        << run.Summary();
    EXPECT_EQ(run.Count("Mst01"), 5);
    EXPECT_EQ(run.Count("KEN_ALL"), 1001);
}

// The server ends the run's session mid-table (as a shutdown does, 57P01): our words say so
// and what to do, and the server's own text follows them. The server's message may be lost
// with the connection (the client can be writing a row when the session ends, and then sees
// only a closed connection): the run then says that the connection was lost.
TEST(LostConnection, ASessionTheServerEndsIsToldInOurWordsFirst) {
    if (!std::filesystem::exists(testpaths::SharedFixtures("kenall-full.mdb"))) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    CPausedServerRun run("ended");
    ASSERT_TRUE(run.Terminate()) << run.Err();
    EXPECT_EQ(run.Run().Wait(), 1) << run.Err();
    const std::string err = run.Err();
    const std::size_t advice = err.find(
        "brimlow-migrate: check that the target's server is running and reachable, then run "
        "again with --replace.\n");
    const std::size_t rows = err.find("of KEN_ALL was being sent: the target holds");
    ASSERT_NE(advice, std::string::npos) << err;
    ASSERT_NE(rows, std::string::npos) << err;
    EXPECT_LT(rows, advice) << err;
    const std::size_t server = err.find("terminating connection due to administrator command");
    if (server != std::string::npos) {
        const std::size_t ours = err.find(
            "brimlow-migrate: the target's server ended the connection: it was shut down, or an "
            "administrator terminated the session.\n");
        ASSERT_NE(ours, std::string::npos) << err;
        EXPECT_LT(ours, rows) << err;
        EXPECT_LT(advice, server) << err;
    } else {
        EXPECT_TRUE(Has(err, "brimlow-migrate: the connection was lost while row ")) << err;
    }
    EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
}

// A replacing run whose commit reached the server but whose answer was lost: the new contents
// are in, and the program says that it cannot tell old from new.
TEST(LostConnection, CommitInFlightIsReportedUnknown) {
    const CProxiedRun run("COMMIT", 1, "after", "drop", {"--replace"});
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_TRUE(Has(run.Err(),
                    "the connection was lost during the commit; the outcome is "
                    "unknown: the target holds either the old or the new contents"))
        << run.Err();
    EXPECT_FALSE(Has(run.Err(), "rolled back")) << run.Err();
    EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
    EXPECT_EQ(run.Count("KEN_ALL"), 1001);
    EXPECT_EQ(run.Count("Mst03"), 200);
}

// The server goes silent (sockets open, nothing relayed) while row 5 of Mst01 is on its way,
// before or after the server ran it: SIGTERM cancels the statement, gives it up when it does
// not return, and ends the run as stopped with that row unknown; a second signal gives it up
// at once. Either way the summary is written and agrees with the target.
TEST(LostConnection, StopWhileTheServerIsSilentEndsTheRun) {
    struct Case {
        const char* when;
        int signals;
        long held;
    };
    for (const Case c : {Case{"before", 1, 4}, Case{"after", 2, 5}}) {
        SCOPED_TRACE(std::string(c.when) + ", signals: " + std::to_string(c.signals));
        const CProxiedRun run("insert into Mst01(", 5, c.when, "freeze");
        ASSERT_TRUE(run.Proxy().AwaitTriggered()) << run.Err();
        for (int i = 0; i < c.signals; ++i) {
            run.Run().Signal(SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_EQ(run.Wait(), 128 + SIGTERM) << run.Err();
        EXPECT_TRUE(Has(run.Err(), "stopped by SIGTERM")) << run.Err();
        EXPECT_TRUE(Has(run.Err(), "row 5 of Mst01 was being sent: the target holds 4 or 5 rows"))
            << run.Err();
        EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
        EXPECT_TRUE(Has(run.Summary(), "\"Mst01\", \"total\": 200, \"inserted\": 4, "))
            << run.Summary();
        EXPECT_EQ(run.Count("Mst01"), c.held);
    }
}

// A replacing run whose commit gets no answer: a stop gives the commit up, and the program
// cannot tell whether the server applied it.
TEST(LostConnection, StopDuringASilentCommitIsUnknown) {
    const CProxiedRun run("COMMIT", 1, "after", "freeze", {"--replace"});
    ASSERT_TRUE(run.Proxy().AwaitTriggered()) << run.Err();
    run.Run().Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 128 + SIGINT) << run.Err();
    EXPECT_TRUE(Has(run.Err(), "stopped by SIGINT during the commit")) << run.Err();
    EXPECT_TRUE(Has(run.Err(), "the target holds either the old or the new contents")) << run.Err();
    EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
    EXPECT_EQ(run.Count("KEN_ALL"), 1001);
}

// The server process of the run's connection paused mid-run (SIGSTOP): SIGTERM ends the run as
// stopped, not as failed at the statement timeout, and the row in flight is said to be unknown.
TEST(LostConnection, StopWhileTheServerIsPausedIsAStop) {
    if (!std::filesystem::exists(testpaths::SharedFixtures("kenall-full.mdb"))) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    CPausedServerRun run("paused");
    ASSERT_TRUE(run.Pause()) << run.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    run.Run().Signal(SIGTERM);
    const int status = run.Run().Wait();
    run.Resume();
    const std::string err = run.Err();
    const std::string summary = run.Summary();
    EXPECT_EQ(status, 128 + SIGTERM) << err;
    EXPECT_TRUE(Has(err, "stopped by SIGTERM")) << err;
    EXPECT_FALSE(Has(err, "failed")) << err;
    EXPECT_TRUE(Has(err, "of KEN_ALL was being sent")) << err;
    EXPECT_TRUE(Has(summary, "{\"status\": \"unknown\"")) << summary;
}

// A server that stops answering with no stop asked for: a network that drops packets without a
// reset (the relay goes silent), or a server process paused with SIGSTOP (the kernel still
// acknowledges, so neither keepalives nor the server's statement timeout fire). The watcher's
// deadline cancels the statement, gives it up a grace later, and the run ends as unknown with
// the row in flight, within the statement timeout, the grace and a margin (15 + 8 + 5 s).
TEST(LostConnection, AServerThatStopsAnsweringEndsTheRunAsUnknown) {
    const auto within = std::chrono::seconds(15 + 8 + 5);
    {
        SCOPED_TRACE("silent network");
        const CProxiedRun run("insert into Mst01(", 5, "after", "freeze");
        ASSERT_TRUE(run.Proxy().AwaitTriggered()) << run.Err();
        const auto frozen = std::chrono::steady_clock::now();
        EXPECT_EQ(run.Wait(), 1) << run.Err();
        EXPECT_LT(std::chrono::steady_clock::now() - frozen, within);
        EXPECT_TRUE(Has(run.Err(),
                        "the target did not answer while row 5 of Mst01 was being sent, and the "
                        "run was given up: the target holds 4 or 5 rows of it"))
            << run.Err();
        EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
        EXPECT_EQ(run.Count("Mst01"), 5);
    }
    if (!std::filesystem::exists(testpaths::SharedFixtures("kenall-full.mdb"))) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    SCOPED_TRACE("paused server");
    CPausedServerRun run("frozen");
    ASSERT_TRUE(run.Pause()) << run.Err();
    const auto frozen = std::chrono::steady_clock::now();
    const int status = run.Run().Wait();
    const auto took = std::chrono::steady_clock::now() - frozen;
    run.Resume();
    const std::string err = run.Err();
    EXPECT_EQ(status, 1) << err;
    EXPECT_LT(took, within);
    EXPECT_TRUE(Has(err, "of KEN_ALL was being sent, and the run was given up")) << err;
    EXPECT_TRUE(Has(err, "did not answer for 24 seconds")) << err;
    EXPECT_TRUE(Has(run.Summary(), "{\"status\": \"unknown\"")) << run.Summary();
}
