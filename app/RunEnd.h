#pragma once

#include <string>

#include "app/ConsoleRun.h"

// How a command-line run ended.
struct CRunEnd {
    enum class Status { Completed, Stopped, Failed };
    Status status = Status::Completed;
    std::string error;  // Failed: the exception's text
    int signal = 0;     // Stopped: the signal that asked for the stop
    // The run was one transaction that was not committed: the target is as it was before.
    bool rolledBack = false;
    bool statementsOnly = false;  // --sql: the rows were written as statements, not inserted
    // What was in flight when the target's answer could not be had (a lost connection, a
    // statement given up by a stop): the summary's status is then "unknown".
    UnknownOutcome unknown = UnknownOutcome::None;
    std::string target;  // the target written to, for the summary; empty with --sql
};

// Writes an error's text to stderr as one line or more, ending with a line break; an empty
// text as "Internal application error.".
void PrintError(const std::string& error);

// Tells on stderr how the run ended where that needs telling (a stop, a failure with its
// table and row, a log that could not be written), writes the summary to summaryPath when it
// is not empty (see WriteSummary), and returns the exit status: 0 when the run completed and
// everything was written, 128 + the signal after a stop (whatever its outcome), 1 otherwise.
int FinishRun(const CRunEnd& end, const CConsoleRun& console, const std::string& summaryPath);
