// brimlow-migrate against a PostgreSQL server that ends the run's session while a row or the
// commit waits for its answer: stopped at once (pg_ctl stop -m immediate, as in a crash or an
// OOM-killed backend) or the backend terminated (pg_terminate_backend). psqlODBC reports
// SQLSTATE 57P01 then, not 08xxx; the statement may have been applied, so the program must say
// that the outcome is unknown, never that the row failed or that the run was rolled back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CBackgroundRun;
using testsupport::ReadFile;
using testtarget::PostgresServer;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The pid of the run's backend once it sleeps in a trigger (pg_sleep), as text; "" when it
// did not within a minute.
std::string SleepingBackend(const PostgresServer& server, const std::string& database) {
    for (int i = 0; i < 600; ++i) {
        const auto rows =
            server.Query(database, "select pid from pg_stat_activity where datname = '" + database +
                                       "' and wait_event = 'PgSleep' and pid <> pg_backend_pid()");
        if (!rows.empty()) {
            return *rows.at(0).at(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

// A run of sample.mdb into database, writing its summary into dir.
std::unique_ptr<CBackgroundRun> StartRun(const PostgresServer& server, const std::string& database,
                                         const testsupport::TempDirectory& dir,
                                         std::vector<std::string> options = {}) {
    options.insert(options.end(), {"--target", server.ConnectionString(database), "--summary",
                                   (dir.Path() / "summary.json").string(),
                                   testpaths::Data("sample.mdb").string()});
    return std::make_unique<CBackgroundRun>(options, dir.Path());
}

// Row 5 of Mst01 sleeps in a trigger (well within the statement timeout) until the server is
// stopped at once: the row is reported unknown, the summary says so, and the exit status is 1.
TEST(SessionEnd, AServerStoppedWhileARowWaitsLeavesTheRowUnknown) {
    const std::unique_ptr<PostgresServer> server = PostgresServer::StartPrivate();
    const std::string database = server->CreateFreshDatabase("stopped");
    server->Execute(database,
                    "create function brimlow_wait() returns trigger language plpgsql as $$ begin "
                    "if (select count(*) from Mst01) = 5 then perform pg_sleep(10); end if; "
                    "return null; end $$;"
                    "create trigger brimlow_wait after insert on Mst01 for each row "
                    "execute function brimlow_wait();");
    const testsupport::TempDirectory dir("brimlow-stopped");
    const auto run = StartRun(*server, database, dir);
    ASSERT_NE(SleepingBackend(*server, database), "") << ReadFile(dir.Path() / "err");
    server->StopImmediately();
    const int status = run->Wait();
    const std::string err = ReadFile(dir.Path() / "err");
    const std::string summary = ReadFile(dir.Path() / "summary.json");
    EXPECT_EQ(status, 1) << err;
    EXPECT_TRUE(Has(err,
                    "the connection was lost while row 5 of Mst01 was being sent: "
                    "the target holds 4 or 5 rows of it"))
        << err;
    EXPECT_TRUE(Has(summary, "{\"status\": \"unknown\"")) << summary;
}

// A replacing run's commit sleeps in a deferred trigger (each row of Mst03's, the first one is
// enough) until its backend is terminated: the
// program cannot tell whether the commit went in, and does not say "rolled back".
TEST(SessionEnd, ATerminatedSessionDuringTheCommitLeavesTheOutcomeUnknown) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("terminated");
    server.Execute(database,
                   "create function brimlow_wait() returns trigger language plpgsql as $$ begin "
                   "perform pg_sleep(60); return null; end $$;"
                   "create constraint trigger brimlow_wait after insert on Mst03 "
                   "deferrable initially deferred for each row "
                   "execute function brimlow_wait();");
    const testsupport::TempDirectory dir("brimlow-terminated");
    const auto run = StartRun(server, database, dir, {"--replace"});
    const std::string pid = SleepingBackend(server, database);
    ASSERT_NE(pid, "") << ReadFile(dir.Path() / "err");
    server.Execute(database, "select pg_terminate_backend(" + pid + ")");
    const int status = run->Wait();
    const std::string err = ReadFile(dir.Path() / "err");
    const std::string summary = ReadFile(dir.Path() / "summary.json");
    EXPECT_EQ(status, 1) << err;
    EXPECT_TRUE(Has(err, "the connection was lost during the commit; the outcome is unknown"))
        << err;
    EXPECT_FALSE(Has(err, "rolled back")) << err;
    EXPECT_TRUE(Has(summary, "{\"status\": \"unknown\"")) << summary;
}

}  // namespace
