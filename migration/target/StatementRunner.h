#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "migration/EngineInterfaces.h"

class CDatabase;
class CRunWatch;

// Runs the calls that use one target connection on the run's own thread, each a watched call
// (WatchedCall.h): a call given up abandons the connection (CDatabase::Abandon) once it
// returns.
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
    std::function<void()> m_cancel;   // cancels the call in flight, from the watcher's thread
    std::function<void()> m_abandon;  // lets the connection of a call given up go
    std::shared_ptr<CRunWatch> m_watch;
    std::exception_ptr m_failure;  // of the last Start
};
