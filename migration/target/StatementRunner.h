#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class CDatabase;

// Executes the calls that use one target connection on a thread of its own while the calling
// thread waits, so that a statement that blocks (a network that went silent, a paused server)
// never holds the caller: every 30 ms of waiting the wait callback is called, which lets a
// window repaint and take a stop.
//
// When the callback throws CRunStopped, the statement is cancelled (SQLCancel, off this
// thread) and waited for at most kGrace more, the callback still called and its stops ignored
// unless they ask to stop at once. A statement that returns meanwhile ends the wait as usual:
// done, or failed (cancelled: CRunStopped). One that does not is given up with its connection
// (CDatabase::Abandon): CRunStopped says that its outcome is unknown. A stop that asks to be
// taken at once (a second Ctrl+C) gives it up without the grace.
//
// At most one call is in flight. The connection is used by one thread at a time: the
// runner's while a call is in flight, the caller's otherwise.
class CStatementRunner {
public:
    // With the 30 ms of a tick, a stop takes effect within about 8 s.
    static constexpr std::chrono::milliseconds kGrace{8000};

    explicit CStatementRunner(CDatabase& database, std::chrono::milliseconds grace = kGrace);
    // Waits for a call in flight, unless it was given up.
    ~CStatementRunner();
    CStatementRunner(const CStatementRunner&) = delete;
    CStatementRunner& operator=(const CStatementRunner&) = delete;

    void SetWaitCallback(std::function<void()> callback) { m_callback = std::move(callback); }

    // Start, then Await.
    void Run(std::function<void()> work);
    // Hands work to the runner's thread and returns; a call in flight is awaited first.
    void Start(std::function<void()> work);
    // Waits for the call in flight, if any: returns when it is done, throws what it threw or
    // what a stop makes of it (above).
    void Await();

    // Shared with the thread, which may outlive a giving up.
    struct State;

private:
    void Wait(std::unique_lock<std::mutex>& lock);
    // A stop while a call is in flight (lock held): cancel, the grace, then its outcome or
    // giving it up (above). Returns only when the call completed.
    void TakeStop(std::unique_lock<std::mutex>& lock, bool atOnce);

    CDatabase& m_database;
    std::chrono::milliseconds m_grace;
    std::function<void()> m_callback;
    std::shared_ptr<State> m_state;
};
