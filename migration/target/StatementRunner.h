#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "migration/EngineInterfaces.h"

class CDatabase;
class CRunWatch;

// Runs the calls that use one target connection on the run's own thread, marked for the run's
// watcher (RunWatch.h): on a stop, the watcher cancels a call that blocks and, when it still
// does not return, gives it up with its connection. Without a watch the calls simply run.
//
// A call that fails after a stop cancelled it throws CRunStopped: it did not apply, unless its
// connection broke instead (then its outcome is unknown: CRunStopped(Row)). A call that was
// given up abandons the connection (CDatabase::Abandon) once it returns and throws CRunGivenUp:
// the run is over, and its thread touches nothing more.
class CStatementRunner {
public:
    explicit CStatementRunner(CDatabase& database);
    CStatementRunner(const CStatementRunner&) = delete;
    CStatementRunner& operator=(const CStatementRunner&) = delete;

    void SetWatch(std::shared_ptr<CRunWatch> watch) { m_watch = std::move(watch); }
    const std::shared_ptr<CRunWatch>& Watch() const noexcept { return m_watch; }

    // Runs work now. ifGivenUp: what the watcher reports as unknown when it gives it up.
    void Run(const std::function<void()>& work, UnknownOutcome ifGivenUp = UnknownOutcome::Row);
    // Runs work now and keeps its failure for Await, so that a target reports a failed
    // statement at its next call.
    void Start(const std::function<void()>& work, UnknownOutcome ifGivenUp = UnknownOutcome::Row);
    // Throws the failure Start kept, if any, once.
    void Await();

private:
    CDatabase& m_database;
    std::function<void()> m_cancel;  // cancels the call in flight, from the watcher's thread
    std::shared_ptr<CRunWatch> m_watch;
    std::exception_ptr m_failure;  // of the last Start
};
