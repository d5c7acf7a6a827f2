// brimlow-migrate as a long run: the progress line on a terminal and not on a pipe, a stop
// by signal that leaves exactly the rows --summary reports, and a closed stdout that does
// not stop the migration. The embedded target through the built-in connection string.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "migration/TableCatalogue.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::Argv;
using testsupport::AwaitCondition;
using testsupport::CBackgroundRun;
using testsupport::CommandResult;
using testsupport::ReadFile;

// The "inserted" of one table in a summary, or -1 when the table is not listed.
long SummaryInserted(const std::string& summary, const std::string& table) {
    std::smatch match;
    const std::regex entry("\\{\"table\": \"" + table +
                           "\", \"total\": [0-9]+, \"inserted\": ([0-9]+), ");
    return std::regex_search(summary, match, entry) ? std::stol(match[1]) : -1;
}

}  // namespace

// On a terminal the progress line is drawn with "\r"; on a pipe nothing is written unless
// --progress asks for it.
TEST(MigrateProgress, OnATerminalOnlyUnlessForced) {
    const testtarget::SqliteTarget target;
    std::vector<std::string> args{testpaths::Build("brimlow-migrate").string(),
                                  testpaths::Data("sample.mdb").string()};
    std::vector<char*> argv = Argv(args);
    const std::string dir = target.Directory().string();
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.c_str()) == 0) {
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        seen.append(buffer, static_cast<size_t>(n));
    }
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(0, WEXITSTATUS(status)) << seen;
    EXPECT_NE(std::string::npos, seen.find("\rKEN_ALL  0 / 1,001 rows")) << seen;
    EXPECT_NE(std::string::npos, seen.find("移行が完了しました。")) << seen;

    const std::string program = testpaths::Build("brimlow-migrate").string();
    const std::string sample = testpaths::Data("sample.mdb").string();
    const CommandResult piped = testsupport::RunCommand({program, sample}, {}, target.Directory());
    EXPECT_EQ(0, piped.exitCode);
    EXPECT_EQ("", piped.err);
    const CommandResult forced =
        testsupport::RunCommand({program, "--progress", sample}, {}, target.Directory());
    EXPECT_NE(std::string::npos, forced.err.find("\rMst01  0 / 200 rows")) << forced.err;
    const CommandResult quiet =
        testsupport::RunCommand({program, "--sql", "--no-progress", sample});
    EXPECT_EQ(std::string::npos, quiet.err.find('\r'));
}

// SIGINT, SIGTERM and SIGHUP stop the run between two rows of KEN_ALL; the target then holds
// exactly the rows that the summary and stderr report.
TEST(MigrateStop, SignalLeavesExactlyTheRowsReported) {
    const auto full = testpaths::SharedFixtures("kenall-full.mdb");
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    for (const auto& [signal, exitCode] :
         std::vector<std::pair<int, int>>{{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
        const testtarget::SqliteTarget target;
        const std::filesystem::path summary = target.Directory() / "summary.json";
        std::ofstream(summary) << "stale";
        const CBackgroundRun run({"--summary", summary.string(), full.string()},
                                 target.Directory());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (target.Count("KEN_ALL") < 2000 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        run.Signal(signal);
        EXPECT_EQ(exitCode, run.Wait()) << signal;

        const std::string json = ReadFile(summary);
        EXPECT_EQ(0u, json.rfind("{\"status\": \"stopped\", \"tables\": [{\"table\": \"KEN_ALL\", "
                                 "\"total\": 126029, ",
                                 0))
            << json;
        const long inserted = SummaryInserted(json, "KEN_ALL");
        EXPECT_EQ(static_cast<long>(target.Count("KEN_ALL")), inserted) << json;
        EXPECT_LT(inserted, 126029) << json;
        const std::string err = ReadFile(target.Directory() / "err");
        EXPECT_NE(std::string::npos, err.find(" during KEN_ALL: ")) << err;
        EXPECT_EQ("", ReadFile(target.Directory() / "out"));
    }
}

// A stdout closed after its first byte does not stop the migration: every table arrives,
// and the run then reports that its log could not be written.
TEST(MigrateStop, ClosedStdoutCompletesTheMigrationAndReportsTheLog) {
    const testtarget::SqliteTarget target;
    const std::filesystem::path summary = target.Directory() / "summary.json";
    const CommandResult result = testsupport::RunCommand(
        {"/bin/bash", "-c", "\"$0\" --summary \"$1\" \"$2\" | head -c1; exit ${PIPESTATUS[0]}",
         testpaths::Build("brimlow-migrate").string(), summary.string(),
         testpaths::Data("sample.mdb").string()},
        {}, target.Directory());
    EXPECT_EQ(1, result.exitCode);
    EXPECT_NE(std::string::npos,
              result.err.find("the migration completed, but its log could not be written"))
        << result.err;
    EXPECT_EQ(1001u, target.Count("KEN_ALL"));
    EXPECT_EQ(50u, target.Count("Mst04"));
    const std::string json = ReadFile(summary);
    EXPECT_EQ(0u, json.rfind("{\"status\": \"completed\", ", 0)) << json;
    EXPECT_EQ(50, SummaryInserted(json, "Mst04"));
}

// A failed row: stderr names the table and the row before the driver's text, and the
// summary says what went in. A source that cannot be opened lists no table.
TEST(MigrateStop, FailureIsAccountedForInTheSummary) {
    const testtarget::SqliteTarget target;
    target.Execute(
        "create unique index mst02_code on Mst02(Col02);"
        "insert into Mst02(Col02) values ('B05');");
    const std::string program = testpaths::Build("brimlow-migrate").string();
    const std::filesystem::path summary = target.Directory() / "summary.json";
    const CommandResult failed = testsupport::RunCommand(
        {program, "--summary", summary.string(), testpaths::Data("sample.mdb").string()}, {},
        target.Directory());
    EXPECT_EQ(1, failed.exitCode);
    EXPECT_EQ(0u, failed.err.find("brimlow-migrate: failed at row 5 of Mst02; 4 rows of Mst02 "
                                  "were inserted.\nUNIQUE constraint failed"))
        << failed.err;
    const std::string json = ReadFile(summary);
    EXPECT_EQ(0u, json.rfind("{\"status\": \"failed\", \"error\": \"", 0)) << json;
    EXPECT_EQ(4, SummaryInserted(json, "Mst02"));
    EXPECT_EQ(200, SummaryInserted(json, "Mst01"));
    EXPECT_EQ(-1, SummaryInserted(json, "Mst02Error"));

    const CommandResult unopened = testsupport::RunCommand(
        {program, "--summary", summary.string(), testpaths::Data("wrongpassword.mdb").string()}, {},
        target.Directory());
    EXPECT_EQ(1, unopened.exitCode);
    EXPECT_NE(std::string::npos,
              ReadFile(summary).find("\", \"tables\": [], \"target\": \"driver SQL Server, "))
        << ReadFile(summary);
}

// Ctrl+C on a terminal reaches the file-check helper too; the run is still stopped, not
// reported as a damaged file, and the target holds what the summary says.
TEST(MigrateStop, CtrlCDuringTheFileCheckIsAStop) {
    const auto full = testpaths::SharedFixtures("kenall-full.mdb");
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    const testtarget::SqliteTarget target;
    const std::filesystem::path summary = target.Directory() / "summary.json";
    const CBackgroundRun run({"--summary", summary.string(), full.string()}, target.Directory());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!run.HasChild() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.SignalGroup(SIGINT);
    EXPECT_EQ(130, run.Wait());
    const std::string err = ReadFile(target.Directory() / "err");
    EXPECT_EQ(0u, err.find("brimlow-migrate: stopped by SIGINT ")) << err;
    const std::string json = ReadFile(summary);
    EXPECT_EQ(0u, json.find("{\"status\": \"stopped\", \"tables\": [")) << json;
    EXPECT_EQ(static_cast<long>(target.Count("KEN_ALL")),
              std::max(0L, SummaryInserted(json, "KEN_ALL")));
}

namespace {

// The eight tables' row counts, for comparing a target before and after.
std::vector<size_t> Counts(const testtarget::SqliteTarget& target) {
    std::vector<size_t> counts;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        counts.push_back(target.Count(entry.table));
    }
    return counts;
}

}  // namespace

// A replacing run that is stopped, or killed outright, before its commit leaves the target
// exactly as it was: the rows it deleted and inserted were never committed.
TEST(MigrateReplace, StopOrKillBeforeTheCommitLeavesTheTargetAsItWas) {
    const auto full = testpaths::SharedFixtures("kenall-full.mdb");
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    for (const int signal : {SIGTERM, SIGKILL}) {
        const testtarget::SqliteTarget target;
        const CommandResult first = testsupport::RunCommand(
            {testpaths::Build("brimlow-migrate").string(), testpaths::Data("sample.mdb").string()},
            {}, target.Directory());
        ASSERT_EQ(first.exitCode, 0) << first.err;
        const std::vector<size_t> before = Counts(target);

        const std::filesystem::path summary = target.Directory() / "summary.json";
        const CBackgroundRun run(
            {"--replace", "--progress", "--summary", summary.string(), full.string()},
            target.Directory());
        // The progress line names KEN_ALL once its rows are on their way.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ReadFile(target.Directory() / "err").find("KEN_ALL") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        run.Signal(signal);
        const int status = run.Wait();
        EXPECT_EQ(Counts(target), before) << signal;
        if (signal == SIGTERM) {
            EXPECT_EQ(status, 143);
            EXPECT_NE(ReadFile(target.Directory() / "err")
                          .find("stopped by SIGTERM during KEN_ALL; the run was rolled back"),
                      std::string::npos)
                << ReadFile(target.Directory() / "err");
            EXPECT_EQ(SummaryInserted(ReadFile(summary), "KEN_ALL"), 0) << ReadFile(summary);
        } else {
            EXPECT_EQ(status, 256 + SIGKILL);
        }
    }
}

// A driver that cannot undo a transaction is refused before anything is deleted.
TEST(MigrateReplace, ATargetThatCannotRollBackIsRefusedBeforeAnyChange) {
    const testtarget::SqliteTarget target;
    target.Execute("insert into Mst02(Col02) values ('stays');");
    const CommandResult result = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--replace", "--target",
         target.ConnectionString() + ";NoTXN=1", testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot undo a transaction"), std::string::npos) << result.err;
    EXPECT_EQ(*target.Query("select Col02 from Mst02;").at(0).at(0), "stays");
    EXPECT_EQ(target.Count("KEN_ALL"), 0u);
}

namespace {

// The "total" of each catalogue table in a summary, in catalogue order (-1 when not listed).
std::vector<long> SummaryTotals(const std::string& summary) {
    std::vector<long> totals;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        std::smatch match;
        const std::regex total("\\{\"table\": \"" + entry.table + "\", \"total\": ([0-9]+), ");
        totals.push_back(std::regex_search(summary, match, total) ? std::stol(match[1]) : -1);
    }
    return totals;
}

// A replacing run of the big file, in a folder of its own, paused once its rows are on their
// way: it then holds the eight tables.
class CPausedReplace {
public:
    explicit CPausedReplace(const std::string& connect)
        : m_run({"--replace", "--progress", "--target", connect, "--summary",
                 (m_dir.Path() / "summary.json").string(),
                 testpaths::SharedFixtures("kenall-full.mdb").string()},
                m_dir.Path()) {
        AwaitCondition([this] { return Err().find("KEN_ALL") != std::string::npos; });
        m_run.Signal(SIGSTOP);
    }
    // A run left paused by a failed expectation goes on and is waited for.
    ~CPausedReplace() {
        if (!m_bResumed) {
            Resume();
        }
    }
    int Resume() const {
        m_bResumed = true;
        m_run.Signal(SIGCONT);
        return m_run.Wait();
    }
    std::string Err() const { return ReadFile(m_dir.Path() / "err"); }
    std::string Summary() const { return ReadFile(m_dir.Path() / "summary.json"); }

private:
    testsupport::TempDirectory m_dir{"brimlow-first"};
    CBackgroundRun m_run;
    mutable bool m_bResumed = false;
};

// A second replacing run into the same target, started while the first holds it.
class CSecondReplace {
public:
    explicit CSecondReplace(const std::string& connect)
        : m_run({"--replace", "--target", connect, "--summary",
                 (m_dir.Path() / "summary.json").string(),
                 testpaths::SharedFixtures("kenall-full.mdb").string()},
                m_dir.Path()) {}
    const CBackgroundRun& Run() const { return m_run; }
    std::string Err() const { return ReadFile(m_dir.Path() / "err"); }

private:
    testsupport::TempDirectory m_dir{"brimlow-second"};
    CBackgroundRun m_run;
};

std::vector<long> PostgresCounts(const std::string& database) {
    std::vector<long> counts;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        counts.push_back(std::stol(*testtarget::PostgresServer::Get()
                                        .Query(database, "select count(*) from " + entry.table)
                                        .at(0)
                                        .at(0)));
    }
    return counts;
}

}  // namespace

// Two replacing runs at once into PostgreSQL: the second waits for the first's run lock and then
// replaces what the first committed, or, when the first holds it past the lock timeout, fails
// naming it and changes nothing. Either way the target holds one copy.
TEST(MigrateReplace, OverlappingRunsIntoPostgresLeaveOneCopy) {
    if (!std::filesystem::exists(testpaths::SharedFixtures("kenall-full.mdb"))) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("concurrent");
    const std::string connect = server.ConnectionString(database);
    // Both runs connected: the second one tries the run lock the first holds.
    const auto waiting = [&] {
        return *server
                    .Query(database,
                           "select count(*) from pg_stat_activity where application_name like "
                           "'brimlow replace %'")
                    .at(0)
                    .at(0) == "2";
    };
    {
        // Held past the lock timeout: the second run gives up and says why.
        const CPausedReplace first(connect);
        const CSecondReplace second(connect);
        EXPECT_EQ(second.Run().Wait(), 1);
        EXPECT_NE(second.Err().find("Another Brimlow run (replace by "), std::string::npos)
            << second.Err();
        EXPECT_NE(second.Err().find("the target holds what it held before"), std::string::npos);
        EXPECT_EQ(first.Resume(), 0) << first.Err();
        EXPECT_EQ(PostgresCounts(database), SummaryTotals(first.Summary())) << first.Summary();
    }
    {
        // Let go while the second waits: it replaces the first run's rows.
        const CPausedReplace first(connect);
        const CSecondReplace second(connect);
        AwaitCondition(waiting);
        ASSERT_TRUE(waiting()) << second.Err();
        EXPECT_EQ(first.Resume(), 0) << first.Err();
        const int status = second.Run().Wait();
        // On a slow machine the first may still hold the tables at the lock timeout.
        EXPECT_TRUE(status == 0 || second.Err().find("Another Brimlow run") != std::string::npos)
            << second.Err();
        EXPECT_EQ(PostgresCounts(database), SummaryTotals(first.Summary())) << first.Summary();
    }
}

// The same with the SQLite file: the second run's first delete waits for the first's
// commit (the driver's own busy wait) and then replaces its rows.
TEST(MigrateReplace, OverlappingRunsIntoSqliteLeaveOneCopy) {
    if (!std::filesystem::exists(testpaths::SharedFixtures("kenall-full.mdb"))) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    const testtarget::SqliteTarget target;
    const CPausedReplace first(target.ConnectionString());
    const CSecondReplace second(target.ConnectionString());
    // The second run has the file open and is about to delete.
    AwaitCondition([&] {
        const std::filesystem::path fds = "/proc/" + std::to_string(second.Run().Pid()) + "/fd";
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            if (std::filesystem::read_symlink(fd.path(), ec) == target.File()) {
                return true;
            }
        }
        return false;
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(first.Resume(), 0) << first.Err();
    EXPECT_EQ(second.Run().Wait(), 0) << second.Err();
    std::vector<long> counts;
    for (const size_t count : Counts(target)) {
        counts.push_back(static_cast<long>(count));
    }
    EXPECT_EQ(counts, SummaryTotals(first.Summary())) << first.Summary();
}
