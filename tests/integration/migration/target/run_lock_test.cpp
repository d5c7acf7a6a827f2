// The run lock's wait: a stop ends it between two tries, and the lock file beside a SQLite
// target tells the refused run who holds it.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunThread.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/RunLock.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/SqliteTarget.h"

namespace {

TEST(RunLockWait, AStopEndsTheWaitAndTheLockFileNamesTheHolder) {
    const testtarget::SqliteTarget target;
    CDatabase heldDb;
    COdbcTarget held(heldDb);
    held.SetRunMode(RunMode::Replace);
    held.Open(target.ConnectionString());
    const std::string holder = testsupport::ReadFile(target.File().string() + ".brimlow-lock");
    EXPECT_EQ(holder.rfind(RunLabel(RunMode::Replace) + "\t", 0), 0u) << holder;

    bool stopped = false;
    bool waiting = false;
    std::mutex mutex;
    CRunThread run(
        [&](const std::shared_ptr<CRunWatch>& watch) {
            CDatabase db;
            COdbcTarget waiter(db);
            waiter.SetWatch(watch);
            {
                const std::lock_guard lock(mutex);
                waiting = true;
            }
            try {
                waiter.Open(target.ConnectionString());
                ADD_FAILURE() << "opened beside a held lock";
            } catch (const CRunStopped&) {
                const std::lock_guard lock(mutex);
                stopped = true;
            } catch (const CException& e) {
                ADD_FAILURE() << e.what();
            }
        },
        [](const CRunOutcome&) { ADD_FAILURE() << "given up"; });
    ASSERT_TRUE(testsupport::AwaitCondition([&] {
        const std::lock_guard lock(mutex);
        return waiting;
    }));
    // The wait ends as a stop, not at the lock timeout with a refusal.
    run.RequestStop();
    EXPECT_TRUE(run.WaitForEnd(std::chrono::seconds(kRunLockWaitSeconds * 2)));
    {
        const std::lock_guard lock(mutex);
        EXPECT_TRUE(stopped);
    }
    held.Close();

    const std::string refusal = RunLockRefusal(holder, "the file");
    EXPECT_EQ(refusal.rfind("Another Brimlow run (replace by ", 0), 0u) << refusal;
    EXPECT_NE(refusal.find(", pid " + std::to_string(getpid()) + ", since "), std::string::npos)
        << refusal;
    EXPECT_EQ(RunLockRefusal("", "the file"),
              "Another Brimlow run is writing to this target (the file); nothing was sent. "
              "Start again once it has finished.\n");
}

}  // namespace
