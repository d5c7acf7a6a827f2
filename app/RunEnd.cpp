#include "app/RunEnd.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "app/StopSignals.h"
#include "app/SummaryFile.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/CountText.h"
#include "migration/RunHistory.h"
#include "migration/RunRecord.h"
#include "migration/target/TargetFailure.h"

namespace {

// "row 1,373 of KEN_ALL", "1,372", "1,373": the row in flight, which may or may not be in.
struct CRowInDoubt {
    std::string row, table, before, after;
};
CRowInDoubt RowInDoubt(const std::optional<CTableProgress>& table) {
    const size_t inserted = table ? table->inserted : 0;
    return {GroupThousands(inserted + 1), table ? table->table : std::string(),
            GroupThousands(inserted), GroupThousands(inserted + 1)};
}

// Each sentence whole, for the catalogue: rows "inserted" into a target or "written" as
// statements (--sql).
void ReportStop(int signal, const std::optional<CTableProgress>& table, bool rolledBack,
                bool statementsOnly, UnknownOutcome unknown) {
    const char* name = StopSignalName(signal);
    if (unknown == UnknownOutcome::Commit) {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: stopped by %s during the commit, which did not return "
                        "in time and was given up; the outcome is unknown: the target holds "
                        "either the old or the new contents.\n"),
                     name);
    } else if (unknown == UnknownOutcome::Row) {
        const CRowInDoubt doubt = RowInDoubt(table);
        std::fprintf(stderr,
                     Tr("brimlow-migrate: stopped by %s; the target did not answer and the run was "
                        "given up while row %s of %s was being sent: the target holds %s or %s "
                        "rows of it; the outcome of that row is unknown.\n"),
                     name, doubt.row.c_str(), doubt.table.c_str(), doubt.before.c_str(),
                     doubt.after.c_str());
    } else if (rolledBack && table) {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: stopped by %s during %s; the run was rolled back and "
                        "the target holds what it held before.\n"),
                     name, table->table.c_str());
    } else if (rolledBack) {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: stopped by %s; the run was rolled back and the target "
                        "holds what it held before.\n"),
                     name);
    } else if (table) {
        std::fprintf(stderr,
                     statementsOnly
                         ? Tr("brimlow-migrate: stopped by %s during %s: %s of its %s rows were "
                              "written.\n")
                         : Tr("brimlow-migrate: stopped by %s during %s: %s of its %s rows were "
                              "inserted.\n"),
                     name, table->table.c_str(), GroupThousands(table->inserted).c_str(),
                     GroupThousands(table->total).c_str());
    } else {
        std::fprintf(stderr,
                     statementsOnly ? Tr("brimlow-migrate: stopped by %s before the first table; "
                                         "no rows were written.\n")
                                    : Tr("brimlow-migrate: stopped by %s before the first table; "
                                         "no rows were inserted.\n"),
                     name);
    }
}

// A run given up because the target did not answer, or one that is one transaction whose
// session could not be ended after its call was given up (signal: the stop's, or 0).
void ReportGivenUp(const CRunOutcome& outcome, const std::optional<CTableProgress>& table,
                   int signal) {
    if (outcome.sessionLeft) {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: %s; the run was given up before its commit, but its "
                        "session on the server could not be ended: its transaction may still be "
                        "open there and hold the tables, so what the target holds is unknown "
                        "until the server ends it. Check the target before starting again.\n"),
                     signal > 0 ? TrFormat("stopped by %1", {StopSignalName(signal)}).c_str()
                                : Tr("the target did not answer"));
    } else if (outcome.unknown == UnknownOutcome::Commit) {
        std::fputs(Tr("brimlow-migrate: the target did not answer the commit, which was given up; "
                      "the outcome is unknown: the target holds either the old or the new "
                      "contents.\n"),
                   stderr);
    } else if (outcome.unknown == UnknownOutcome::Row) {
        const CRowInDoubt doubt = RowInDoubt(table);
        std::fprintf(stderr,
                     Tr("brimlow-migrate: the target did not answer while row %s of %s was being "
                        "sent, and the run was given up: the target holds %s or %s rows of it; "
                        "the outcome of that row is unknown.\n"),
                     doubt.row.c_str(), doubt.table.c_str(), doubt.before.c_str(),
                     doubt.after.c_str());
    } else if (outcome.rolledBack) {
        std::fputs(Tr("brimlow-migrate: the target did not answer and the run was given up; it was "
                      "rolled back and the target holds what it held before.\n"),
                   stderr);
    } else if (table) {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: the target did not answer during %s and the run was "
                        "given up; %s of its %s rows were inserted.\n"),
                     table->table.c_str(), GroupThousands(table->inserted).c_str(),
                     GroupThousands(table->total).c_str());
    } else {
        std::fputs(Tr("brimlow-migrate: the target did not answer and the run was given up before "
                      "the first table; no rows were inserted.\n"),
                   stderr);
    }
}

// What to do after the target's server ended a run, before the driver's own text.
void ReportServerAdvice() {
    std::fputs(Tr("brimlow-migrate: check that the target's server is running and reachable, "
                  "then run again with --replace.\n"),
               stderr);
}

void ReportFailure(const std::string& error, const std::optional<CTableProgress>& table,
                   bool rolledBack, bool statementsOnly, UnknownOutcome unknown,
                   ServerTrouble trouble) {
    // What happened to the connection comes first, where the line below does not say it.
    if (trouble == ServerTrouble::Ended) {
        std::fputs(Tr("brimlow-migrate: the target's server ended the connection: it was shut "
                      "down, or an administrator terminated the session.\n"),
                   stderr);
    } else if (trouble == ServerTrouble::Lost && unknown == UnknownOutcome::None) {
        std::fputs(Tr("brimlow-migrate: the connection to the target's server was lost.\n"),
                   stderr);
    }
    if (unknown == UnknownOutcome::Commit) {
        std::fputs(Tr("brimlow-migrate: the connection was lost during the commit; the outcome is "
                      "unknown: the target holds either the old or the new contents.\n"),
                   stderr);
    } else if (unknown == UnknownOutcome::Row) {
        const CRowInDoubt doubt = RowInDoubt(table);
        std::fprintf(stderr,
                     Tr("brimlow-migrate: the connection was lost while row %s of %s was being "
                        "sent: the target holds %s or %s rows of it; the outcome of that row is "
                        "unknown.\n"),
                     doubt.row.c_str(), doubt.table.c_str(), doubt.before.c_str(),
                     doubt.after.c_str());
    } else if (rolledBack && table) {
        // Rows go to the target several at a time: the driver's text below names the rows
        // of the statement that was refused.
        std::fprintf(stderr,
                     Tr("brimlow-migrate: failed during %s; the run was rolled back and the "
                        "target holds what it held before.\n"),
                     table->table.c_str());
    } else if (rolledBack) {
        std::fputs(Tr("brimlow-migrate: failed; the run was rolled back and the target holds "
                      "what it held before.\n"),
                   stderr);
    } else if (table) {
        std::fprintf(stderr,
                     statementsOnly ? Tr("brimlow-migrate: failed at row %s of %s; %s rows of %s "
                                         "were written.\n")
                                    : Tr("brimlow-migrate: failed at row %s of %s; %s rows of %s "
                                         "were inserted.\n"),
                     GroupThousands(table->inserted + 1).c_str(), table->table.c_str(),
                     GroupThousands(table->inserted).c_str(), table->table.c_str());
    }
    if (trouble != ServerTrouble::None) {
        ReportServerAdvice();
    }
    PrintError(error);
}

// Tells on stderr what the verification of a run that completed found (a copy that differs
// failed the run and is told with its error).
void ReportVerification(const CVerification& verification, int signal) {
    switch (verification.state) {
        case CVerification::State::Equal:
            std::fprintf(stderr,
                         Tr("brimlow-migrate: verified: the target holds every value of the %s "
                            "rows as it was sent.\n"),
                         GroupThousands(verification.Rows()).c_str());
            break;
        case CVerification::State::Stopped:
            if (signal > 0) {
                std::fprintf(stderr,
                             Tr("brimlow-migrate: stopped by %s during the verification; every "
                                "row was committed and stays in the target, but the copy was not "
                                "verified.\n"),
                             StopSignalName(signal));
            } else {
                std::fputs(Tr("brimlow-migrate: the verification was stopped; every row was "
                              "committed and stays in the target, but the copy was not "
                              "verified.\n"),
                           stderr);
            }
            break;
        case CVerification::State::NotRun:
            std::fprintf(stderr, Tr("brimlow-migrate: note: the copy was not verified: %s\n"),
                         verification.reason.c_str());
            break;
        case CVerification::State::Differs:
            break;
    }
}

}  // namespace

void PrintError(const std::string& error) {
    const std::string text = error.empty() ? "Internal application error." : error;
    std::fprintf(stderr, "%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
}

int FinishRun(const CRunEnd& end, const CConsoleRun& console, const std::string& summaryPath) {
    const CRunOutcome& outcome = end.outcome;
    // A table that failed as it was opened has nothing of its own to tell.
    const std::optional<CTableProgress> table =
        outcome.failedOpeningTable ? std::nullopt : outcome.table;
    const std::string error = RunErrorText(outcome.error);
    int status = 0;
    switch (outcome.status) {
        case CRunOutcome::Status::Completed:
            if (end.verify) {
                ReportVerification(*VerificationOf(outcome), end.signal);
            }
            // A stop that came during the verification of a completed run is still a stop:
            // a script learns from the status that the copy was not verified.
            if (end.verify && outcome.verification &&
                outcome.verification->state == CVerification::State::Stopped && end.signal > 0) {
                status = 128 + end.signal;
            }
            break;
        case CRunOutcome::Status::Stopped:
            if (outcome.sessionLeft) {
                ReportGivenUp(outcome, table, end.signal);
            } else {
                ReportStop(end.signal, table, outcome.rolledBack, end.statementsOnly,
                           outcome.unknown);
            }
            status = end.signal > 0 ? 128 + end.signal : 1;
            break;
        case CRunOutcome::Status::Failed:
            if (outcome.noAnswer) {
                ReportGivenUp(outcome, table, 0);
                ReportServerAdvice();
                PrintError(error);
            } else if (CopyDiffers(outcome)) {
                // The error names the tables, the rows, the values and the file that lists
                // them all; what to do follows.
                PrintError(error);
                std::fputs(Tr("brimlow-migrate: every row was committed and the data stays in "
                              "the target as it is, but it does not hold the values as they were "
                              "sent. Check the target tables for triggers, for columns too "
                              "narrow for the values and for a collation or character set that "
                              "cannot hold the text, then run again with --replace.\n"),
                           stderr);
            } else {
                ReportFailure(error, table, outcome.rolledBack, end.statementsOnly, outcome.unknown,
                              ServerTroubleOf(outcome));
            }
            status = 1;
            break;
    }
    if (!console.LogError().empty()) {
        std::fprintf(stderr,
                     outcome.status == CRunOutcome::Status::Completed
                         ? Tr("brimlow-migrate: the migration completed, but its log could not "
                              "be written: %s.\n")
                         : Tr("brimlow-migrate: the migration ended, but its log could not be "
                              "written: %s.\n"),
                     console.LogError().c_str());
        status = status != 0 ? status : 1;
    }
    // Every run that wrote to a target is recorded, whether a summary was asked for or not.
    const bool record = !end.statementsOnly && end.history;
    if (!summaryPath.empty() || record) {
        CRunSummary summary = console.Summary();
        summary.SetTarget(end.target);
        summary.SetBulk(end.bulk);
        const std::string json = FinalSummaryJson(summary, outcome, end.verify);
        if (!summaryPath.empty()) {
            try {
                WriteSummary(summaryPath, json);
            } catch (const CException& e) {
                std::fprintf(stderr, "brimlow-migrate: %s\n", e.GetErrorMessage().c_str());
                status = status != 0 ? status : 1;
            }
        }
        if (record) {
            const char* mode = RunModeName(end.replace, outcome.startedEmpty);
            // The history is a record for later: failing to write it fails no run.
            if (const std::string warning = AppendRunHistory(HistoryLine(json, end.file, mode));
                !warning.empty()) {
                std::fprintf(stderr, Tr("brimlow-migrate: warning: %s\n"), warning.c_str());
            }
        }
    }
    return status;
}
