#pragma once

#include <exception>
#include <memory>
#include <string>

#include "migration/RunOutcome.h"
#include "migration/RunSummary.h"

// The account of a finished run that both front ends write, to a summary file and to the run
// history: the run summary, made final with how the run ended.

// The summary's status for outcome: "completed", "stopped", "failed", "differs" (every row
// was committed, but the target does not hold what the run accounts for) or "unknown" (what
// was in flight may or may not be in the target).
const char* RunStatusName(const CRunOutcome& outcome);

// True when the run failed because the tables read back do not hold the rows sent as they were
// sent (not because a table's count differs).
bool CopyDiffers(const CRunOutcome& outcome);

// What the verification of a run that asked for one found; a run that ended before its tables
// were read back did not verify them.
std::shared_ptr<const CVerification> VerificationOf(const CRunOutcome& outcome);

// The text of a run's error as the summary gives it; empty for none.
std::string RunErrorText(const std::exception_ptr& error);

// summary (the tables as the run's observer followed them, the target and load path set) as
// the run ended: a run rolled back (or whose commit is in doubt) kept none of its rows, the
// verification when verify, what differs, the status and a failure's error. One JSON line
// (CRunSummary::ToJson).
std::string FinalSummaryJson(CRunSummary summary, const CRunOutcome& outcome, bool verify);

// The history's word for how the run wrote: "replace" for a replacing run, "new" into tables
// that were all empty, "append" otherwise.
const char* RunModeName(bool replace, bool startedEmpty);
