#include "app/RunEnd.h"

#include <cstdio>

#include "app/StopSignals.h"
#include "app/SummaryFile.h"
#include "dbaccess/Exceptions.h"
#include "migration/CountText.h"

namespace {

constexpr const char kUnchanged[] =
    "the run was rolled back and the target holds what it held before";

// What became of the rows sent: "inserted" into a target, "written" as statements.
const char* RowsVerb(bool statementsOnly) {
    return statementsOnly ? "written" : "inserted";
}

constexpr const char kOldOrNew[] = "the target holds either the old or the new contents";

// "the target holds 1,372 or 1,373 rows of it": the row in flight may or may not be in.
std::string RowInDoubt(const std::optional<CTableProgress>& table) {
    const size_t inserted = table ? table->inserted : 0;
    return "row " + GroupThousands(inserted + 1) + " of " + (table ? table->table : "its table") +
           " was being sent: the target holds " + GroupThousands(inserted) + " or " +
           GroupThousands(inserted + 1) + " rows of it";
}

void ReportStop(int signal, const std::optional<CTableProgress>& table, bool rolledBack,
                bool statementsOnly, UnknownOutcome unknown) {
    if (unknown == UnknownOutcome::Commit) {
        std::fprintf(stderr,
                     "brimlow-migrate: stopped by %s during the commit, which did not return in "
                     "time and was given up; the outcome is unknown: %s.\n",
                     StopSignalName(signal), kOldOrNew);
    } else if (unknown == UnknownOutcome::Row) {
        std::fprintf(stderr,
                     "brimlow-migrate: stopped by %s; the target did not answer and the run was "
                     "given up while %s; the outcome of that row is unknown.\n",
                     StopSignalName(signal), RowInDoubt(table).c_str());
    } else if (rolledBack) {
        std::fprintf(stderr, "brimlow-migrate: stopped by %s%s%s; %s.\n", StopSignalName(signal),
                     table ? " during " : "", table ? table->table.c_str() : "", kUnchanged);
    } else if (table) {
        std::fprintf(
            stderr, "brimlow-migrate: stopped by %s during %s: %s of its %s rows were %s.\n",
            StopSignalName(signal), table->table.c_str(), GroupThousands(table->inserted).c_str(),
            GroupThousands(table->total).c_str(), RowsVerb(statementsOnly));
    } else {
        std::fprintf(stderr,
                     "brimlow-migrate: stopped by %s before the first table; no rows were %s.\n",
                     StopSignalName(signal), RowsVerb(statementsOnly));
    }
}

void ReportFailure(const std::string& error, const std::optional<CTableProgress>& table,
                   bool rolledBack, bool statementsOnly, UnknownOutcome unknown) {
    if (unknown == UnknownOutcome::Commit) {
        std::fprintf(stderr,
                     "brimlow-migrate: the connection was lost during the commit; the outcome is "
                     "unknown: %s.\n",
                     kOldOrNew);
    } else if (unknown == UnknownOutcome::Row) {
        std::fprintf(stderr,
                     "brimlow-migrate: the connection was lost while %s; the outcome of that row "
                     "is unknown.\n",
                     RowInDoubt(table).c_str());
    } else if (rolledBack) {
        // Rows go to the target several at a time: the driver's text below names the rows
        // of the statement that was refused.
        std::fprintf(stderr, "brimlow-migrate: failed%s%s; %s.\n", table ? " during " : "",
                     table ? table->table.c_str() : "", kUnchanged);
    } else if (table) {
        std::fprintf(stderr, "brimlow-migrate: failed at row %s of %s; %s rows of %s were %s.\n",
                     GroupThousands(table->inserted + 1).c_str(), table->table.c_str(),
                     GroupThousands(table->inserted).c_str(), table->table.c_str(),
                     RowsVerb(statementsOnly));
    }
    PrintError(error);
}

const char* StatusName(CRunEnd::Status status, UnknownOutcome unknown) {
    if (unknown != UnknownOutcome::None) {
        return "unknown";
    }
    switch (status) {
        case CRunEnd::Status::Completed:
            return "completed";
        case CRunEnd::Status::Stopped:
            return "stopped";
        case CRunEnd::Status::Failed:
            return "failed";
    }
    return "failed";
}

}  // namespace

void PrintError(const std::string& error) {
    const std::string text = error.empty() ? "Internal application error." : error;
    std::fprintf(stderr, "%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
}

int FinishRun(const CRunEnd& end, const CConsoleRun& console, const std::string& summaryPath) {
    int status = 0;
    switch (end.status) {
        case CRunEnd::Status::Completed:
            break;
        case CRunEnd::Status::Stopped:
            ReportStop(end.signal, console.EndedIn(), end.rolledBack, end.statementsOnly,
                       end.unknown);
            status = end.signal > 0 ? 128 + end.signal : 1;
            break;
        case CRunEnd::Status::Failed:
            ReportFailure(end.error, console.EndedIn(), end.rolledBack, end.statementsOnly,
                          end.unknown);
            status = 1;
            break;
    }
    if (!console.LogError().empty()) {
        std::fprintf(stderr,
                     "brimlow-migrate: the migration %s, but its log could not be written: %s.\n",
                     end.status == CRunEnd::Status::Completed ? "completed" : "ended",
                     console.LogError().c_str());
        status = status != 0 ? status : 1;
    }
    if (!summaryPath.empty()) {
        const bool failed = end.status == CRunEnd::Status::Failed;
        CRunSummary summary = console.Summary();
        // A commit in doubt may have kept none of the rows: the lower bound is 0.
        if (end.rolledBack || end.unknown == UnknownOutcome::Commit) {
            summary.RolledBack();
        }
        summary.SetTarget(end.target);
        try {
            WriteSummary(summaryPath, summary.ToJson(StatusName(end.status, end.unknown),
                                                     failed ? &end.error : nullptr));
        } catch (const CException& e) {
            std::fprintf(stderr, "brimlow-migrate: %s\n", e.GetErrorMessage().c_str());
            status = status != 0 ? status : 1;
        }
    }
    return status;
}
