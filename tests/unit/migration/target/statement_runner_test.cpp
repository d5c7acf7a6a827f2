// What a wait for a statement makes of a stop: the statement's own outcome when it returns
// within the grace, an unknown outcome when it does not or when the stop is to be taken at
// once. The statements here are functions that block; the connection is a closed one, whose
// cancel and abandon do nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/EngineInterfaces.h"
#include "migration/target/StatementRunner.h"

namespace {

using namespace std::chrono_literals;

// A statement that blocks until released. The thread given up keeps its flag alive.
struct Blocking {
    std::shared_ptr<std::atomic<bool>> released = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> Work() const {
        return [released = released] {
            while (!*released) {
                std::this_thread::sleep_for(5ms);
            }
        };
    }
    void Release() const { *released = true; }
};

UnknownOutcome StopOutcome(CStatementRunner& runner, const std::function<void()>& work) {
    try {
        runner.Run(work);
    } catch (const CRunStopped& e) {
        return e.Unknown();
    }
    ADD_FAILURE() << "no stop";
    return UnknownOutcome::None;
}

}  // namespace

TEST(StatementRunner, WaitsWithTheCallbackAndPassesTheOutcomeOn) {
    CDatabase database;
    CStatementRunner runner(database);
    int calls = 0;
    runner.SetWaitCallback([&calls] { ++calls; });
    runner.Run([] {});
    EXPECT_EQ(calls, 0);  // a statement that returns at once costs no callback
    runner.Run([] { std::this_thread::sleep_for(100ms); });
    EXPECT_GT(calls, 0);
    EXPECT_THROW(runner.Run([] { throw CDBException("refused"); }), CDBException);
}

TEST(StatementRunner, AStopTakesTheStatementsOutcomeOrGivesItUp) {
    CDatabase database;
    CStatementRunner runner(database, 300ms);
    runner.SetWaitCallback([] { throw CRunStopped(); });
    // Returned within the grace: done (the row is in), or failed as cancelled (it is not).
    EXPECT_NO_THROW(runner.Run([] { std::this_thread::sleep_for(100ms); }));
    EXPECT_EQ(StopOutcome(runner,
                          [] {
                              std::this_thread::sleep_for(100ms);
                              throw CDBException("canceling statement due to user request");
                          }),
              UnknownOutcome::None);
    // Still blocked after the grace: given up, outcome unknown; the runner goes on with a
    // thread of its own.
    Blocking blocked;
    EXPECT_EQ(StopOutcome(runner, blocked.Work()), UnknownOutcome::Row);
    EXPECT_NO_THROW(runner.Run([] {}));
    blocked.Release();
}

TEST(StatementRunner, AStopAtOnceDoesNotWait) {
    CDatabase database;
    CStatementRunner runner(database, 1h);
    runner.SetWaitCallback([] { throw CRunStopped(UnknownOutcome::None, true); });
    Blocking blocked;
    EXPECT_EQ(StopOutcome(runner, blocked.Work()), UnknownOutcome::Row);
    blocked.Release();
}
