#pragma once

#include <string>

#include "app/ConsoleRun.h"
#include "migration/RunOutcome.h"

// How a command-line run ended: the run's own account, and what only the command line
// knows.
struct CRunEnd {
    CRunOutcome outcome;
    int signal = 0;               // a stop: the signal that asked for it
    bool statementsOnly = false;  // --sql: the rows were written as statements, not inserted
    std::string target;           // the target written to, for the summary; empty with --sql
    bool verify = false;          // --verify: the copy was to be read back and compared
    bool replace = false;         // --replace: the run replaced the tables' rows
    std::string file;             // the source file, for the run history
    bool history = true;          // the run is recorded in the run history (RunHistory.h)
    std::string bulk;             // a replacing run's load path ("copy", "insert"); else empty
};

// Writes an error's text to stderr as one line or more, ending with a line break; an empty
// text as "Internal application error.".
void PrintError(const std::string& error);

// Tells on stderr how the run ended where that needs telling (a stop, a failure with its
// table and row, a log that could not be written), writes the summary to summaryPath when it
// is not empty (see WriteSummary), and returns the exit status: 0 when the run completed and
// everything was written, 128 + the signal after a stop (whatever its outcome, a stop of the
// verification of a completed run included), 1 otherwise (a copy that differs included).
// A run that wrote to a target (not --sql) is recorded in the run history, with its summary;
// a history that cannot be written is a warning on stderr only.
// With verify, what the verification found is told on stderr (a note when it was not run) and
// in the summary, which then always has its keys: a run that ended before its tables were read
// back says "not run".
int FinishRun(const CRunEnd& end, const CConsoleRun& console, const std::string& summaryPath);
