#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"

// What the thread that runs a migration shares with the thread that watches it: the stop the
// user or a signal asked for, and the call on the target that the run is blocked in, if any.
// The run's thread marks each such call (Begin, End); the watcher, on a stop, cancels the call
// in flight and, when it still does not return, gives it up: from then on the run is over for
// everyone else, and the run's thread, once its call returns, leaves without reporting
// anything (CRunGivenUp).
//
// Begin and End cost one uncontended lock each; nothing else on the row path touches this.
class CRunWatch {
public:
    // Any thread. A second request may ask for the stop to be taken at once.
    void RequestStop(bool atOnce = false) noexcept;
    bool IsStopRequested() const noexcept { return m_bStop.load(std::memory_order_relaxed); }
    bool IsStopAtOnceRequested() const noexcept {
        return m_bStopAtOnce.load(std::memory_order_relaxed);
    }

    // The run's thread: the table being copied (null between tables). It is read by the
    // watcher only while a call is in flight, when the run's thread does not change it.
    void SetTable(const CTableProgress* table) noexcept;
    // The run's thread, once the target is open: it keeps nothing unless the run completes.
    void SetCommitsAtEnd(bool commitsAtEnd) noexcept;
    // The run's thread, around a call that may block. cancel (kept by the caller for as long
    // as the call lasts) asks the call to end early, from another thread; ifGivenUp is what is
    // unknown when the call is given up.
    void Begin(const std::function<void()>& cancel, UnknownOutcome ifGivenUp) noexcept;
    // True when the call was given up meanwhile. Otherwise the call is over; WasCancelled
    // tells whether a stop cancelled it.
    bool End() noexcept;
    bool WasCancelled() const noexcept { return m_bCancelled; }

    // True when the call was cancelled because the target did not answer it in time (the
    // watcher's deadline), not by a stop.
    bool WasTimedOut() const noexcept { return m_bTimedOut; }

    // The watcher: the call in flight (an id), if any; a cancel of it (once), by a stop or, with
    // timedOut, by the deadline; giving it up, when it is still in flight.
    std::optional<std::uint64_t> CallInFlight() const noexcept;
    void Cancel(std::uint64_t call, bool timedOut = false) noexcept;
    // The run's end as the run would have told it: stopped where it stood (or, given
    // unansweredFor, failed because the target did not answer for that long), with what was in
    // flight unknown.
    std::optional<CRunOutcome> GiveUp(std::uint64_t call,
                                      std::optional<std::chrono::seconds> unansweredFor = {});
    bool IsGivenUp() const noexcept;

    // The target, once connected: what ends its session on the server from a connection of
    // its own (SessionEnd.h), true only when the session is known to have ended; cleared at
    // its Close. The watcher calls it after giving a call up, so that the server does not
    // go on with a statement, a transaction or a run lock that nobody will finish.
    void SetSessionEnder(std::function<bool()> ender);
    std::function<bool()> SessionEnder() const;

private:
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bStopAtOnce{false};

    mutable std::mutex m_mutex;
    const CTableProgress* m_pTable = nullptr;
    bool m_bCommitsAtEnd = false;
    const std::function<void()>* m_pCancel = nullptr;  // the call in flight, or null
    UnknownOutcome m_ifGivenUp = UnknownOutcome::None;
    std::uint64_t m_nCall = 0;  // counts the calls begun
    bool m_bCancelled = false;  // the call in flight, or the last one, was cancelled
    bool m_bTimedOut = false;   // ... by the deadline
    bool m_bGivenUp = false;
    std::function<bool()> m_endSession;
};

// A call on the target that has not returned after this long is cancelled, as a stop cancels
// it, and given up a grace later: a little longer than the statement and login timeouts (15 s),
// so that a driver that keeps them reports its own failure first. A stopped server or a
// network that drops packets keeps neither.
inline constexpr std::chrono::seconds kAnswerDeadline{16};

// The failure of a call the target did not answer for unansweredFor: cancelled, and then given
// up when givenUp.
std::string NoAnswerText(std::chrono::seconds unansweredFor, bool givenUp);

// Leaves the run's thread once its call was given up. Not a CException: nothing catches it on
// the way but the thread's own function, and it is never shown.
struct CRunGivenUp {};
