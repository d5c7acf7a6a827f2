#include "migration/RunThread.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

struct CRunThread::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopAsked = false;
    bool ended = false;
};

namespace {

constexpr auto kTick = std::chrono::milliseconds(30);
// How often the watcher looks at a call in flight for the deadline.
constexpr auto kDeadlineTick = std::chrono::milliseconds(200);

// The threads of every run, given up or not, until they return.
struct CLiveThreads {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

CLiveThreads& LiveThreads() {
    // Never destroyed: a thread given up may return while the process ends.
    static auto* live = new CLiveThreads;
    return *live;
}

void BlockStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, signal);
    }
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

void MarkEnded(CRunThread::State& state) {
    const std::lock_guard lock(state.mutex);
    state.ended = true;
    state.changed.notify_all();
}

// Waits up to grace for the call to return, a stop at once, or the run's end.
void AwaitCall(CRunWatch& watch, CRunThread::State& state, std::uint64_t call,
               std::chrono::milliseconds grace) {
    const auto end = std::chrono::steady_clock::now() + grace;
    std::unique_lock lock(state.mutex);
    while (!state.ended && !watch.IsStopAtOnceRequested() && watch.CallInFlight() == call &&
           std::chrono::steady_clock::now() < end) {
        state.changed.wait_for(lock, kTick);
    }
}

// The stop while a call is in flight: cancel it, wait the grace, then give it up if it is still
// there. Returns what was given up, or nothing when the call returned (or none was in flight).
std::optional<CRunOutcome> TakeStop(CRunWatch& watch, CRunThread::State& state,
                                    std::chrono::milliseconds grace) {
    const std::optional<std::uint64_t> call = watch.CallInFlight();
    if (!call) {
        return std::nullopt;
    }
    if (!watch.IsStopAtOnceRequested()) {
        watch.Cancel(*call);
        AwaitCall(watch, state, *call, grace);
    }
    return watch.GiveUp(*call);
}

// A call the target has not answered for the deadline: cancelled as a stop cancels it, and
// given up when it still has not returned a grace later (or at once, when a stop at once is
// asked for meanwhile).
std::optional<CRunOutcome> TakeDeadline(CRunWatch& watch, CRunThread::State& state,
                                        std::uint64_t call, std::chrono::milliseconds grace,
                                        std::chrono::milliseconds deadline) {
    watch.Cancel(call, true);
    AwaitCall(watch, state, call, grace);
    return watch.GiveUp(call, std::chrono::ceil<std::chrono::seconds>(deadline + grace));
}

// After a call was given up, its session is ended on the server where the target can tell
// how: a run that is one transaction counts as rolled back only once it has.
void EndGivenUpSession(const CRunWatch& watch, CRunOutcome& outcome) {
    const std::function<bool()> endSession = watch.SessionEnder();
    bool ended = false;
    try {
        ended = endSession && endSession();
    } catch (...) {
        ended = false;
    }
    if (outcome.rolledBack && !ended) {
        outcome.rolledBack = false;
        outcome.sessionLeft = true;
    }
}

// Which call has been in flight since when: the deadline counts from the first time the
// watcher saw it.
struct CCallSeen {
    std::chrono::milliseconds deadline;
    std::optional<std::uint64_t> call;
    std::chrono::steady_clock::time_point since;

    // True once the same call has been seen in flight for the deadline.
    bool Overdue(const std::optional<std::uint64_t>& now) {
        const auto time = std::chrono::steady_clock::now();
        if (now != call) {
            call = now;
            since = time;
            return false;
        }
        return call && time - since >= deadline;
    }
};

void WatchRun(const std::shared_ptr<CRunThread::State>& state,
              const std::shared_ptr<CRunWatch>& watch, const CRunThread::GivenUpHandler& givenUp,
              std::chrono::milliseconds grace, std::chrono::milliseconds deadline) {
    CCallSeen seen{deadline, std::nullopt, {}};
    std::unique_lock lock(state->mutex);
    while (!state->ended) {
        // A call that blocks is looked at every tick; between rows nothing is locked for it.
        state->changed.wait_for(lock, kDeadlineTick,
                                [&state] { return state->ended || state->stopAsked; });
        if (state->ended) {
            break;
        }
        const bool stop = state->stopAsked;
        lock.unlock();
        std::optional<CRunOutcome> given;
        if (stop) {
            given = TakeStop(*watch, *state, grace);
        } else if (const std::optional<std::uint64_t> call = watch->CallInFlight();
                   seen.Overdue(call)) {
            given = TakeDeadline(*watch, *state, *call, grace, deadline);
        }
        if (given) {
            EndGivenUpSession(*watch, *given);
            givenUp(*given);
            MarkEnded(*state);
            return;
        }
        lock.lock();
        if (stop) {
            // The run goes on to its next row boundary, or into another call to watch.
            state->changed.wait_for(lock, kTick, [&state] { return state->ended; });
        }
    }
}

}  // namespace

CRunThread::CRunThread(Work work, GivenUpHandler givenUp, std::chrono::milliseconds grace,
                       std::chrono::milliseconds deadline)
    : m_watch(std::make_shared<CRunWatch>()), m_state(std::make_shared<State>()) {
    // Each thread moves what it holds into its own scope, so that all of it is gone by the
    // time it stops being counted.
    std::thread([counted = std::make_unique<CLiveThread>(), state = m_state, watch = m_watch,
                 work = std::move(work)]() mutable {
        const std::unique_ptr<CLiveThread> last = std::move(counted);
        const std::shared_ptr<State> held = std::move(state);
        const std::shared_ptr<CRunWatch> watched = std::move(watch);
        BlockStopSignals();
        try {
            std::move(work)(watched);
        } catch (const CRunGivenUp&) {
            // The watcher reported the run's end.
        }
        work = nullptr;
        // After a giving up, the watcher ends the run once it has reported it.
        if (!watched->IsGivenUp()) {
            MarkEnded(*held);
        }
    }).detach();
    std::thread([counted = std::make_unique<CLiveThread>(), state = m_state, watch = m_watch,
                 givenUp = std::move(givenUp), grace, deadline]() mutable {
        const std::unique_ptr<CLiveThread> last = std::move(counted);
        const std::shared_ptr<State> held = std::move(state);
        const std::shared_ptr<CRunWatch> watched = std::move(watch);
        BlockStopSignals();
        WatchRun(held, watched, givenUp, grace, deadline);
        givenUp = nullptr;
    }).detach();
}

CRunThread::CLiveThread::CLiveThread() {
    const std::lock_guard lock(LiveThreads().mutex);
    ++LiveThreads().count;
}

CRunThread::CLiveThread::~CLiveThread() {
    const std::lock_guard lock(LiveThreads().mutex);
    --LiveThreads().count;
    LiveThreads().changed.notify_all();
}

CRunThread::~CRunThread() {
    RequestStop();
}

void CRunThread::RequestStop(bool atOnce) noexcept {
    m_watch->RequestStop(atOnce);
    const std::lock_guard lock(m_state->mutex);
    m_state->stopAsked = true;
    m_state->changed.notify_all();
}

bool CRunThread::WaitForEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout, [this] { return m_state->ended; });
}

bool CRunThread::WaitForAllRuns(std::chrono::milliseconds timeout) {
    CLiveThreads& live = LiveThreads();
    std::unique_lock lock(live.mutex);
    return live.changed.wait_for(lock, timeout, [&live] { return live.count == 0; });
}
