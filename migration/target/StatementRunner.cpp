#include "migration/target/StatementRunner.h"

#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunWatch.h"
#include "migration/target/TargetFailure.h"

CStatementRunner::CStatementRunner(CDatabase& database)
    : m_database(database), m_cancel([&database] { database.CancelStatement(); }) {}

void CStatementRunner::Run(const std::function<void()>& work, UnknownOutcome ifGivenUp) {
    if (!m_watch) {
        work();
        return;
    }
    CRunWatch& watch = *m_watch;
    watch.Begin(m_cancel, ifGivenUp);
    std::exception_ptr failure;
    try {
        work();
    } catch (...) {
        failure = std::current_exception();
    }
    if (watch.End()) {
        // The watcher has told the run's end; the connection is in an unknown state.
        m_database.Abandon();
        throw CRunGivenUp();
    }
    if (!failure) {
        // Done, even if a stop asked to cancel it: its row is in, and the stop is taken at the
        // next row boundary.
        return;
    }
    if (watch.WasTimedOut()) {
        // Cancelled because the target did not answer in time: the call failed, as it says.
        try {
            std::rethrow_exception(failure);
        } catch (const CDBException& e) {
            throw CDBException(NoAnswerText(kAnswerDeadline, false) + "\n" + e.GetErrorMessage(),
                               e.Records());
        }
    }
    if (watch.WasCancelled()) {
        bool lost = false;
        try {
            std::rethrow_exception(failure);
        } catch (const CDBException& e) {
            lost = ClassifyTargetFailure(e, "") == TargetFailureKind::Connection;
        } catch (...) {
        }
        // Cancelled: the statement did not apply. The connection broke instead: it may have.
        throw CRunStopped(lost ? UnknownOutcome::Row : UnknownOutcome::None);
    }
    std::rethrow_exception(failure);
}

void CStatementRunner::Start(const std::function<void()>& work, UnknownOutcome ifGivenUp) {
    Await();
    try {
        Run(work, ifGivenUp);
    } catch (const CRunGivenUp&) {
        throw;
    } catch (...) {
        m_failure = std::current_exception();
    }
}

void CStatementRunner::Await() {
    if (m_failure) {
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    }
}
