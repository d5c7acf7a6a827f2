#pragma once

#include <exception>
#include <memory>
#include <optional>

#include "migration/EngineInterfaces.h"

// How a run ended, the one account both front ends tell: the dialog as its last log line and
// message box, the command line on stderr, in its exit status and its summary.
struct CRunOutcome {
    enum class Status { Completed, Stopped, Failed };

    Status status = Status::Completed;
    // Where it stopped or failed: the table being copied, with the rows of it the target has
    // acknowledged (a failure is of the row after them); none before the first table, and
    // during the commit of a run that is one transaction.
    std::optional<CTableProgress> table;
    // The failure came as the table was opened, before any of its rows was read: when it was
    // looked up in the source before the target was opened, or at its turn.
    bool failedOpeningTable = false;
    // It ended in the commit of a run that is one transaction, after every table.
    bool inCommit = false;
    // What was in flight when its answer could not be had (a lost connection, a statement
    // given up by a stop): it may or may not be in the target.
    UnknownOutcome unknown = UnknownOutcome::None;
    // The run was one transaction that was not committed: the target holds what it held
    // before.
    bool rolledBack = false;
    // The target did not answer a call for the watcher's deadline and the grace after it: the
    // call was given up (a failure; what it left unknown is in unknown).
    bool noAnswer = false;
    // A call of a run that is one transaction was given up before the commit, and its session
    // on the server could not be ended: its transaction is still open there, holding the
    // tables, and the target's state is not known for certain (rolledBack is false).
    bool sessionLeft = false;
    // Failed after every row was sent and committed: a target table does not hold what the
    // run accounts for (CCountDiffers is the error). The run's rows stay.
    bool differs = false;
    // The verification of the copy, when the run asked for one (null: it did not): also told
    // by OnVerified. A copy that differs fails the run with CCopyDiffers (differs is true).
    std::shared_ptr<const CVerification> verification;
    // Every target table was counted before the first row and held none (a replacing run's
    // are empty inside its transaction): the run wrote into empty tables. False before the
    // counts, or when a table held rows or could not be counted.
    bool startedEmpty = false;
    // Failed: what failed; a user's cancel (CUserException) is a failure that is not told.
    std::exception_ptr error;

    // The outcome of a run that ended with error (null: completed) in table (null: none);
    // commitsAtEnd: the target keeps nothing unless the run completes.
    static CRunOutcome Of(const std::exception_ptr& error, const CTableProgress* table,
                          bool commitsAtEnd);
};
