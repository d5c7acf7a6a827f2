// What a stop makes of a call the run is blocked in: the call's own outcome when it returns
// within the grace, given up (the watcher reports the run's end, the run's thread leaves
// without a word once the call returns) when it does not or when the stop is to be taken at
// once. The calls here are functions that block; the connection is a closed one, whose
// cancel and abandon do nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunThread.h"
#include "migration/target/StatementRunner.h"

namespace {

using namespace std::chrono_literals;

// A call that blocks until released; shared with a thread that may outlive the test's scope.
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

// What one run on its thread came to: the end its work saw, or what the watcher gave up.
struct Outcome {
    std::mutex mutex;
    std::optional<UnknownOutcome> stopped;  // the work ended in CRunStopped
    bool completed = false;
    bool leftGivenUp = false;  // the work's thread unwound with CRunGivenUp
    std::optional<CRunOutcome> givenUp;
};

// Runs call on a run's thread through a statement runner, the table standing at 41 rows, and
// asks for a stop once the call has begun.
std::shared_ptr<Outcome> RunAndStop(std::function<void()> call, bool atOnce,
                                    std::chrono::milliseconds grace,
                                    std::unique_ptr<CRunThread>& thread) {
    auto outcome = std::make_shared<Outcome>();
    auto started = std::make_shared<std::atomic<bool>>(false);
    thread = std::make_unique<CRunThread>(
        [outcome, started, call](const std::shared_ptr<CRunWatch>& watch) {
            CDatabase database;
            CStatementRunner runner(database);
            runner.SetWatch(watch);
            const CTableProgress table{"KEN_ALL", 100, 41};
            watch->SetTable(&table);
            *started = true;
            try {
                runner.Run([&] {
                    std::this_thread::sleep_for(20ms);  // the stop comes while it runs
                    call();
                });
                const std::lock_guard lock(outcome->mutex);
                outcome->completed = true;
            } catch (const CRunStopped& e) {
                const std::lock_guard lock(outcome->mutex);
                outcome->stopped = e.Unknown();
            } catch (const CRunGivenUp&) {
                const std::lock_guard lock(outcome->mutex);
                outcome->leftGivenUp = true;
                throw;
            }
        },
        [outcome](const CRunOutcome& given) {
            const std::lock_guard lock(outcome->mutex);
            outcome->givenUp = given;
        },
        grace);
    while (!*started) {
        std::this_thread::sleep_for(1ms);
    }
    thread->RequestStop(atOnce);
    return outcome;
}

}  // namespace

TEST(RunThread, AStopTakesTheCallsOwnOutcomeWithinTheGrace) {
    std::unique_ptr<CRunThread> thread;
    // Done: the row is in, and the stop is the next row boundary's.
    auto done = RunAndStop([] { std::this_thread::sleep_for(50ms); }, false, 2000ms, thread);
    ASSERT_TRUE(thread->WaitForEnd(5s));
    thread.reset();
    EXPECT_TRUE(done->completed);
    EXPECT_FALSE(done->givenUp);

    // Failed as cancelled: it did not apply.
    auto cancelled = RunAndStop(
        [] {
            std::this_thread::sleep_for(50ms);
            throw CDBException("canceling statement due to user request");
        },
        false, 2000ms, thread);
    ASSERT_TRUE(thread->WaitForEnd(5s));
    thread.reset();
    EXPECT_EQ(cancelled->stopped, UnknownOutcome::None);
    EXPECT_FALSE(cancelled->givenUp);
}

TEST(RunThread, ACallStillBlockedAfterTheGraceIsGivenUpAndItsThreadLeavesQuietly) {
    Blocking blocked;
    std::unique_ptr<CRunThread> thread;
    const auto start = std::chrono::steady_clock::now();
    auto outcome = RunAndStop(blocked.Work(), false, 300ms, thread);
    ASSERT_TRUE(thread->WaitForEnd(5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    thread.reset();
    {
        const std::lock_guard lock(outcome->mutex);
        ASSERT_TRUE(outcome->givenUp);
        EXPECT_EQ(outcome->givenUp->unknown, UnknownOutcome::Row);
        ASSERT_TRUE(outcome->givenUp->table);
        EXPECT_EQ(outcome->givenUp->table->inserted, 41u);
        EXPECT_FALSE(outcome->leftGivenUp);  // still blocked
    }
    blocked.Release();
    ASSERT_TRUE(CRunThread::WaitForAllRuns(5s));
    EXPECT_TRUE(outcome->leftGivenUp);
    EXPECT_FALSE(outcome->completed);
    EXPECT_FALSE(outcome->stopped);
}

TEST(RunThread, AStopAtOnceDoesNotWaitForTheGrace) {
    Blocking blocked;
    std::unique_ptr<CRunThread> thread;
    const auto start = std::chrono::steady_clock::now();
    auto outcome = RunAndStop(blocked.Work(), true, 60s, thread);
    ASSERT_TRUE(thread->WaitForEnd(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    thread.reset();
    EXPECT_TRUE(outcome->givenUp);
    blocked.Release();
    EXPECT_TRUE(CRunThread::WaitForAllRuns(5s));
}

namespace {

// Runs call through a statement runner on a run's thread that is never asked to stop: only the
// watcher's deadline (short here) can end a call that blocks. endSession: the target's session
// ender; commitsAtEnd: the run is one transaction.
struct Unanswered {
    std::mutex mutex;
    std::optional<std::string> failure;  // the work ended in CDBException
    std::optional<CRunOutcome> givenUp;
};
std::shared_ptr<Unanswered> RunUnanswered(std::function<void()> call, UnknownOutcome ifGivenUp,
                                          bool commitsAtEnd, std::function<bool()> endSession,
                                          std::chrono::milliseconds grace,
                                          std::unique_ptr<CRunThread>& thread) {
    auto outcome = std::make_shared<Unanswered>();
    thread = std::make_unique<CRunThread>(
        [outcome, call, ifGivenUp, commitsAtEnd,
         endSession](const std::shared_ptr<CRunWatch>& watch) {
            CDatabase database;
            CStatementRunner runner(database);
            runner.SetWatch(watch);
            watch->SetCommitsAtEnd(commitsAtEnd);
            watch->SetSessionEnder(endSession);
            try {
                runner.Run(call, ifGivenUp);
            } catch (const CDBException& e) {
                const std::lock_guard lock(outcome->mutex);
                outcome->failure = e.GetErrorMessage();
            }
        },
        [outcome](const CRunOutcome& given) {
            const std::lock_guard lock(outcome->mutex);
            outcome->givenUp = given;
        },
        grace, 200ms);
    return outcome;
}

}  // namespace

TEST(RunThread, ACallTheTargetDoesNotAnswerIsCancelledAtTheDeadlineAndGivenUpAsAFailure) {
    // Still blocked a grace after the cancel: given up, the row in flight unknown.
    Blocking blocked;
    std::unique_ptr<CRunThread> thread;
    auto silent = RunUnanswered(blocked.Work(), UnknownOutcome::Row, false, {}, 300ms, thread);
    ASSERT_TRUE(thread->WaitForEnd(10s));
    thread.reset();
    {
        const std::lock_guard lock(silent->mutex);
        ASSERT_TRUE(silent->givenUp);
        EXPECT_EQ(silent->givenUp->status, CRunOutcome::Status::Failed);
        EXPECT_TRUE(silent->givenUp->noAnswer);
        EXPECT_EQ(silent->givenUp->unknown, UnknownOutcome::Row);
        ASSERT_TRUE(silent->givenUp->error);
        try {
            std::rethrow_exception(silent->givenUp->error);
        } catch (const CDBException& e) {
            EXPECT_NE(e.GetErrorMessage().find("did not answer"), std::string::npos);
        }
    }
    blocked.Release();
    ASSERT_TRUE(CRunThread::WaitForAllRuns(5s));

    // Failing once cancelled: a failure of its own that says why it was cancelled.
    auto cancelled = RunUnanswered(
        [] {
            std::this_thread::sleep_for(700ms);
            throw CDBException("canceling statement due to user request");
        },
        UnknownOutcome::Row, false, {}, 5000ms, thread);
    ASSERT_TRUE(thread->WaitForEnd(10s));
    thread.reset();
    const std::lock_guard lock(cancelled->mutex);
    EXPECT_FALSE(cancelled->givenUp);
    ASSERT_TRUE(cancelled->failure);
    EXPECT_NE(cancelled->failure->find("did not answer"), std::string::npos);
    EXPECT_NE(cancelled->failure->find("canceling statement"), std::string::npos);
}

TEST(RunThread, AGivenUpTransactionIsRolledBackOnlyOnceItsSessionIsKnownToHaveEnded) {
    for (const bool ended : {false, true}) {
        Blocking blocked;
        std::unique_ptr<CRunThread> thread;
        auto asked = std::make_shared<std::atomic<bool>>(false);
        auto outcome = RunUnanswered(
            blocked.Work(), UnknownOutcome::None, true,
            [asked, ended] {
                *asked = true;
                return ended;
            },
            100ms, thread);
        ASSERT_TRUE(thread->WaitForEnd(10s));
        thread.reset();
        blocked.Release();
        ASSERT_TRUE(CRunThread::WaitForAllRuns(5s));
        EXPECT_TRUE(*asked);
        const std::lock_guard lock(outcome->mutex);
        ASSERT_TRUE(outcome->givenUp);
        EXPECT_EQ(outcome->givenUp->rolledBack, ended) << ended;
        EXPECT_EQ(outcome->givenUp->sessionLeft, !ended) << ended;
    }
}
