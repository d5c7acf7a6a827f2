#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "migration/RunWatch.h"

// One migration run on a thread of its own, and a watcher that takes a stop while the run is
// blocked in a call on the target (a network gone silent, a paused server): it cancels the
// call (SQLCancel, from its own thread) and, when the call still has not returned kGrace
// later, or at once for a stop that asks for it, gives it up. A call the target does not
// answer for kAnswerDeadline (RunWatch.h) is cancelled and given up the same way, without a
// stop: the run fails, and what the call left is unknown. After giving a call up, the watcher
// ends the run's session on the server where the target can (CRunWatch::SessionEnder). The
// rows never cross threads: the run's thread reads, renders and sends them itself.
//
// The work owns everything the run touches (workspace, source, target, connection) and
// reports the run's end itself, unless its call was given up: then the watcher reports it
// (givenUp, on the watcher's thread), and the run's thread, once its call returns, leaves
// without touching anything shared (CRunGivenUp unwinds it).
//
// Neither thread is joined: each holds what it uses. The object may go before the run ends; a
// stop is then asked for.
class CRunThread {
public:
    // With ticks of 30 ms, a stop takes effect within about 8 s.
    static constexpr std::chrono::milliseconds kGrace{8000};

    using Work = std::function<void(const std::shared_ptr<CRunWatch>& watch)>;
    using GivenUpHandler = std::function<void(const CRunOutcome& outcome)>;

    // Starts work on the run's thread at once. SIGINT, SIGTERM and SIGHUP are blocked on both
    // threads: a stop asked for by a signal is the starting thread's to pass on.
    // deadline: how long a call may go unanswered (kAnswerDeadline but in tests).
    CRunThread(Work work, GivenUpHandler givenUp, std::chrono::milliseconds grace = kGrace,
               std::chrono::milliseconds deadline = kAnswerDeadline);
    ~CRunThread();
    CRunThread(const CRunThread&) = delete;
    CRunThread& operator=(const CRunThread&) = delete;

    // Any thread. Asks the run to stop at its next row boundary; the watcher takes it from
    // there when the run is blocked.
    void RequestStop(bool atOnce = false) noexcept;
    // Waits at most timeout until the work returned, or its call was given up and givenUp has
    // returned; true when it has.
    bool WaitForEnd(std::chrono::milliseconds timeout) const;

    // Waits at most timeout until every run thread and watcher of the process has returned,
    // given up or not: before the process ends, so that no thread wakes inside its teardown.
    static bool WaitForAllRuns(std::chrono::milliseconds timeout);

    struct State;

    // Counts a thread among those WaitForAllRuns waits for, for as long as it exists: the run's
    // own two, and any other that works for a run (one that ends a given-up session, say).
    class CLiveThread {
    public:
        CLiveThread();
        ~CLiveThread();
        CLiveThread(const CLiveThread&) = delete;
        CLiveThread& operator=(const CLiveThread&) = delete;
    };

private:
    std::shared_ptr<CRunWatch> m_watch;
    std::shared_ptr<State> m_state;
};
