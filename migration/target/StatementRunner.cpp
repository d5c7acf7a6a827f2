#include "migration/target/StatementRunner.h"

#include <utility>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunWatch.h"
#include "migration/target/WatchedCall.h"

CStatementRunner::CStatementRunner(CDatabase& database)
    : m_cancel([&database] { database.CancelStatement(); }),
      m_abandon([&database] { database.Abandon(); }) {}

void CStatementRunner::Run(const std::function<void()>& work, UnknownOutcome ifGivenUp) {
    RunWatchedCall(m_watch.get(), m_cancel, m_abandon, ifGivenUp, work);
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
