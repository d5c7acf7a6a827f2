#include "migration/target/WatchedCall.h"

#include <exception>

#include "dbaccess/Exceptions.h"
#include "migration/RunWatch.h"
#include "migration/target/TargetFailure.h"

void RunWatchedCall(CRunWatch* watch, const std::function<void()>& cancel,
                    const std::function<void()>& abandon, UnknownOutcome ifGivenUp,
                    const std::function<void()>& work) {
    if (!watch) {
        work();
        return;
    }
    watch->Begin(cancel, ifGivenUp);
    std::exception_ptr failure;
    try {
        work();
    } catch (...) {
        failure = std::current_exception();
    }
    if (watch->End()) {
        // The watcher has told the run's end.
        abandon();
        throw CRunGivenUp();
    }
    if (!failure) {
        return;
    }
    if (watch->WasTimedOut()) {
        try {
            std::rethrow_exception(failure);
        } catch (const CDBException& e) {
            throw CDBException(NoAnswerText(kAnswerDeadline, false) + "\n" + e.GetErrorMessage(),
                               e.Records());
        }
    }
    if (watch->WasCancelled()) {
        bool lost = false;
        try {
            std::rethrow_exception(failure);
        } catch (const CDBException& e) {
            lost = ClassifyTargetFailure(e, "") == TargetFailureKind::Connection;
        } catch (...) {
        }
        throw CRunStopped(lost ? UnknownOutcome::Row : UnknownOutcome::None);
    }
    std::rethrow_exception(failure);
}
