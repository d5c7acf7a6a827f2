#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "migration/target/TargetResolution.h"

class CDatabase;
class CRunWatch;
class CStatementRunner;
class CTargetKind;

// One Brimlow run at a time per target, whatever its mode: a per-row run that went on beside a
// replacing one would leave the target holding neither one copy nor two. Every run holds the
// target's run lock from just after its connect, before it reads or writes the eight tables,
// until its Close; a second run waits for it at most kRunLockWaitSeconds and then fails before
// its first row, naming the run that holds it.
//
// The lock is the kind's (CTargetKind): PostgreSQL, a session-level advisory lock on
// kRunLockKey; SQL Server, an application lock "brimlow" owned by the session; SQLite, a lock
// file beside the database file (<file>.brimlow-lock) holding the run's label and start; an
// unknown ODBC database, none. The server's locks go with their session, so that a run whose
// session ends (closed, killed, its process gone) leaves none behind.

// What a run does, as another run's refusal shows it: "append" (one committed statement per
// row), "replace" (brimlow-migrate --replace), "dialog" (the dialog's run, which appends or
// replaces as the user answers).
enum class RunMode { Append, Replace, Dialog };

// PostgreSQL's advisory lock key: the ASCII bytes of "brimlow" read as a big-endian number,
// 0x6272696d6c6f77.
inline constexpr std::int64_t kRunLockKey = 27710344850599799;

// How long a run waits for another's lock: the targets' lock timeout, as long as a replacing
// run waits for the tables' locks.
inline constexpr unsigned kRunLockWaitSeconds = kEmbeddedLockWaitSeconds;

// The label of this process's run in mode: "brimlow <mode> <user>@<host> pid <pid>".
std::string RunLabel(RunMode mode);

// The text of a refusal: the holder as RunLockHolderQuery or the lock file gives it (label,
// tab, start, tab, where from; "" when unknown) and the target's description.
std::string RunLockRefusal(const std::string& holder, const std::string& target);

// A session to take the lock on: runs a statement, and gives a query's first value, each as a
// watched call of the run; both throw CDBException (CRunStopped, CRunGivenUp as watched calls
// do).
struct CRunLockSession {
    std::function<void(const std::string&)> execute;
    std::function<std::string(const std::string&)> query;
};

class CRunLock {
public:
    CRunLock() = default;
    ~CRunLock();
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    // On database, just connected to target, of kind: labels the session, records its id and
    // gives the runner's watch what ends it (SessionEnd.h), then takes the lock, trying every
    // 250 ms for kRunLockWaitSeconds. Each statement runs through runner, so that a stop
    // cancels it; a stop between two tries throws CRunStopped. Throws CDBException when
    // another run holds the lock (RunLockRefusal) or a statement fails; nothing is then held.
    void Take(CDatabase& database, const CTargetKind& kind, const CResolvedTarget& target,
              RunMode mode, CStatementRunner& runner);
    // The same on session, another connection to target than the ODBC one (a replacing run's
    // loading session), watched by watch.
    void Take(const CRunLockSession& session, const std::shared_ptr<CRunWatch>& watch,
              const CTargetKind& kind, const CResolvedTarget& target, RunMode mode);
    // Lets the lock file go and clears the session's ender; the server's lock goes when the
    // session does (the caller closes the connection first). Never throws.
    void Release() noexcept;

private:
    void CloseFile() noexcept;

    int m_fd = -1;                       // the lock file, when the kind uses one
    std::shared_ptr<CRunWatch> m_watch;  // given the session's ender
};
