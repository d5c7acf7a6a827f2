#include "migration/target/StatementRunner.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/EngineInterfaces.h"
#include "migration/target/TargetFailure.h"

struct CStatementRunner::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> work;  // the call in flight
    bool inFlight = false;
    bool stopping = false;
    std::exception_ptr failure;  // of the call that ended last
    std::thread thread;
};

namespace {

constexpr auto kTick = std::chrono::milliseconds(30);

void Serve(const std::shared_ptr<CStatementRunner::State>& state);

}  // namespace

CStatementRunner::CStatementRunner(CDatabase& database, std::chrono::milliseconds grace)
    : m_database(database), m_grace(grace), m_state(std::make_shared<State>()) {}

CStatementRunner::~CStatementRunner() {
    if (!m_state->thread.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->changed.notify_all();
    // The thread finishes a call in flight first: the connection is never closed under it.
    m_state->thread.join();
}

void CStatementRunner::Run(std::function<void()> work) {
    Start(std::move(work));
    Await();
}

void CStatementRunner::Start(std::function<void()> work) {
    Await();
    if (!m_state->thread.joinable()) {
        m_state->thread = std::thread([state = m_state] { Serve(state); });
    }
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->work = std::move(work);
        m_state->inFlight = true;
    }
    m_state->changed.notify_all();
}

void CStatementRunner::Await() {
    std::unique_lock lock(m_state->mutex);
    Wait(lock);
    if (m_state->failure) {
        std::exception_ptr failure = std::exchange(m_state->failure, nullptr);
        std::rethrow_exception(failure);
    }
}

void CStatementRunner::Wait(std::unique_lock<std::mutex>& lock) {
    State& state = *m_state;
    const auto done = [&state] { return !state.inFlight; };
    // The usual case costs no callback: a statement that returns within a tick.
    while (!state.changed.wait_for(lock, kTick, done)) {
        if (!m_callback) {
            continue;
        }
        lock.unlock();
        try {
            m_callback();
        } catch (const CRunStopped& stop) {
            lock.lock();
            TakeStop(lock, stop.AtOnce());
            return;
        } catch (...) {
            // A failure of the window's own: it leaves once the statement is done.
            const std::exception_ptr failure = std::current_exception();
            lock.lock();
            state.changed.wait(lock, done);
            std::rethrow_exception(failure);
        }
        lock.lock();
    }
}

void CStatementRunner::TakeStop(std::unique_lock<std::mutex>& lock, bool atOnce) {
    State& state = *m_state;
    const auto done = [&state] { return !state.inFlight; };
    if (!atOnce && !done()) {
        lock.unlock();
        m_database.CancelStatement();
        const auto end = std::chrono::steady_clock::now() + m_grace;
        lock.lock();
        while (!atOnce && !state.changed.wait_for(lock, kTick, done) &&
               std::chrono::steady_clock::now() < end) {
            lock.unlock();
            try {
                m_callback();
            } catch (const CRunStopped& again) {
                atOnce = again.AtOnce();
            } catch (...) {
                // A stop is already on its way.
            }
            lock.lock();
        }
    }
    if (done()) {
        if (!state.failure) {
            // The statement completed: its row is in, and the stop is taken at the next row
            // boundary.
            return;
        }
        const std::exception_ptr failure = std::exchange(state.failure, nullptr);
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
    // Given up: the thread keeps its call and the connection's handles; the next call of this
    // runner, if any, gets a new thread.
    state.stopping = true;
    state.thread.detach();
    m_state = std::make_shared<State>();
    lock.unlock();
    m_database.Abandon();
    throw CRunStopped(UnknownOutcome::Row);
}

namespace {

void Serve(const std::shared_ptr<CStatementRunner::State>& state) {
    // A stop asked for by a signal is the caller's to take: its handler runs on the
    // caller's thread, and the driver's reads here are never interrupted.
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, signal);
    }
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&state] { return state->inFlight || state->stopping; });
        if (!state->inFlight) {
            return;
        }
        std::function<void()> work = std::move(state->work);
        lock.unlock();
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        work = nullptr;
        lock.lock();
        state->failure = failure;
        state->inFlight = false;
        state->changed.notify_all();
        if (state->stopping) {
            return;
        }
    }
}

}  // namespace
