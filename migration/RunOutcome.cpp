#include "migration/RunOutcome.h"

CRunOutcome CRunOutcome::Of(const std::exception_ptr& error, const CTableProgress* table,
                            bool commitsAtEnd) {
    CRunOutcome outcome;
    if (table != nullptr) {
        outcome.table = *table;
    }
    if (!error) {
        return outcome;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CRunStopped& e) {
        outcome.status = Status::Stopped;
        outcome.unknown = e.Unknown();
    } catch (const CCopyDiffers&) {
        outcome.status = Status::Failed;
        outcome.differs = true;
        outcome.error = error;
        return outcome;
    } catch (const CCountDiffers&) {
        // After the commit: what the run sent is kept.
        outcome.status = Status::Failed;
        outcome.differs = true;
        outcome.error = error;
        return outcome;
    } catch (const CConnectionLost& e) {
        outcome.status = Status::Failed;
        outcome.unknown = e.InFlight();
    } catch (...) {
        outcome.status = Status::Failed;
    }
    if (outcome.status == Status::Failed) {
        outcome.error = error;
    }
    outcome.rolledBack = commitsAtEnd && outcome.unknown != UnknownOutcome::Commit;
    return outcome;
}
