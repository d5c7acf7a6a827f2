// A run whose call the watcher gave up: its session is ended from a connection of its own, so
// that the server lets the run lock and the tables' locks go, and the next run gets them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunThread.h"
#include "migration/RunWatch.h"
#include "migration/target/OdbcTarget.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/PostgresServer.h"

namespace {

using testtarget::PostgresServer;

// The pid of the backend labelled as a per-row run and waiting for a lock, or "".
std::string WaitingRunBackend(const std::string& database) {
    const testtarget::Rows rows = PostgresServer::Get().Query(
        database,
        "select pid from pg_stat_activity where application_name like 'brimlow append %' "
        "and wait_event_type = 'Lock'");
    return rows.empty() ? "" : *rows[0][0];
}

TEST(SessionEnd, AGivenUpRunsBackendIsEndedAndTheNextRunGetsTheLock) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("sessionend");
    const std::string connection = server.ConnectionString(database);

    // Another session holds Mst01, so that the run's insert blocks on the server.
    CDatabase holder;
    holder.OpenEx(connection, noOdbcDialog);
    holder.BeginTrans();
    holder.ExecuteSQL("lock table Mst01 in access exclusive mode");

    std::mutex mutex;
    std::shared_ptr<CRunWatch> watched;
    std::optional<CRunOutcome> givenUp;
    CRunThread run(
        [&](const std::shared_ptr<CRunWatch>& watch) {
            {
                const std::lock_guard lock(mutex);
                watched = watch;
            }
            CDatabase db;
            COdbcTarget target(db);
            target.SetWatch(watch);
            try {
                target.Open(connection);
                target.RunWatched(
                    [&db] { db.ExecuteSQL("insert into Mst01 (Col02) values ('1')"); });
            } catch (const CException& e) {
                ADD_FAILURE() << "the run ended on its own: " << e.what();
            }
        },
        [&](const CRunOutcome& outcome) {
            const std::lock_guard lock(mutex);
            givenUp = outcome;
        });
    std::string backend;
    if (!testsupport::AwaitCondition(
            [&] { return !(backend = WaitingRunBackend(database)).empty(); })) {
        ADD_FAILURE() << "no run labelled as a per-row run waits for Mst01";
        holder.Rollback();
        run.RequestStop();
        EXPECT_TRUE(run.WaitForEnd(std::chrono::seconds(30)));
        return;
    }

    run.RequestStop(true);  // given up at once, without a cancel
    ASSERT_TRUE(run.WaitForEnd(std::chrono::seconds(10)));
    std::function<bool()> ender;
    {
        const std::lock_guard lock(mutex);
        ASSERT_TRUE(givenUp.has_value());
        ender = watched->SessionEnder();
    }
    ASSERT_TRUE(ender);
    EXPECT_TRUE(ender());
    EXPECT_TRUE(
        server.Query(database, "select pid from pg_stat_activity where pid = " + backend).empty());
    EXPECT_TRUE(ender());  // once ended, at once

    // The run lock went with the session: the next run gets it (Open would fail after the
    // lock timeout otherwise), and then the table.
    holder.Rollback();
    CDatabase db;
    COdbcTarget next(db);
    next.Open(connection);
    next.RunWatched([&db] { db.ExecuteSQL("insert into Mst01 (Col02) values ('2')"); });
    next.Close();
    EXPECT_EQ(server.Query(database, "select Col02 from Mst01"), (testtarget::Rows{{"2"}}));
}

}  // namespace
