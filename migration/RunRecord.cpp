#include "migration/RunRecord.h"

#include <new>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

const char* RunStatusName(const CRunOutcome& outcome) {
    if (outcome.unknown != UnknownOutcome::None || outcome.sessionLeft) {
        return "unknown";
    }
    if (outcome.differs) {
        return "differs";
    }
    switch (outcome.status) {
        case CRunOutcome::Status::Completed:
            return "completed";
        case CRunOutcome::Status::Stopped:
            return "stopped";
        case CRunOutcome::Status::Failed:
            return "failed";
    }
    return "failed";
}

bool CopyDiffers(const CRunOutcome& outcome) {
    if (!outcome.differs || !outcome.error) {
        return false;
    }
    try {
        std::rethrow_exception(outcome.error);
    } catch (const CCopyDiffers&) {
        return true;
    } catch (...) {
        return false;
    }
}

std::shared_ptr<const CVerification> VerificationOf(const CRunOutcome& outcome) {
    if (outcome.verification) {
        return outcome.verification;
    }
    auto notRun = std::make_shared<CVerification>();
    notRun->reason = Tr("The run ended before its tables were read back.");
    return notRun;
}

std::string RunErrorText(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const CException& e) {
        return e.GetErrorMessage();
    } catch (const std::bad_alloc&) {
        return CMemoryException().GetErrorMessage();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

std::string FinalSummaryJson(CRunSummary summary, const CRunOutcome& outcome, bool verify) {
    // A commit in doubt may have kept none of the rows: the lower bound is 0.
    if (outcome.rolledBack || outcome.sessionLeft || outcome.unknown == UnknownOutcome::Commit) {
        summary.RolledBack();
    }
    if (verify) {
        summary.SetVerification(VerificationOf(outcome));
    }
    if (CopyDiffers(outcome)) {
        summary.SetDiffers("values");
    }
    const std::string error = RunErrorText(outcome.error);
    const bool failed = outcome.status == CRunOutcome::Status::Failed;
    return summary.ToJson(RunStatusName(outcome), failed ? &error : nullptr);
}

const char* RunModeName(bool replace, bool startedEmpty) {
    return replace ? "replace" : startedEmpty ? "new" : "append";
}
