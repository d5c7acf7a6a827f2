#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"

struct CCatalogueEntry;
class CRunVerifier;

// One migration run: opens the source, then the target, copies the eight catalogue tables
// in order, one committed statement per row, logs each finished table and the completion,
// and closes the target, then the source. A target that keeps nothing before the run's
// commit (a replacing run) has its tables' lines logged once the commit succeeded, in order:
// a run that fails or stops before then logs none of them.
//
// Before the target is opened, every catalogue table and every column the run reads is
// looked up in the source: one that is missing fails the run with the source's own failure
// before anything is sent (an empty table is checked as well as a full one). Once the target
// is open, the rows each of its tables holds are counted, and counted again after the commit:
// a table that does not hold what it held plus the rows inserted fails the run with
// CCountDiffers, and the completion line is not logged.
//
// The observer hears where the run stands (table start with its total, rows inserted about
// every 100 ms, table end, and how the run ended: RunOutcome.h) and is asked between rows
// whether to stop.
//
// A failure leaves the run as an exception of the program's family; nothing is undone, the
// rows executed so far stay in the target, and neither the failed table's line nor the
// completion line is logged. Connections a failed run left open are closed by the next run
// before it opens anything, so that run reads the file it is given and connects afresh.
//
// A stop asked for by the observer or the watch takes effect between two rows, at a heartbeat
// of the file check (which ends the check at once) or right after the connect: the rows sent
// stay, both connections are closed, and CRunStopped leaves the run. A call on the target that
// the watcher gave up ends the run at once: CRunGivenUp leaves it, and the observer hears
// nothing more.
class CMigrationRun {
public:
    CMigrationRun(ISourceDatabase& source, ITargetDatabase& target, IRunObserver& observer);

    // The whole run. readPath is called once, when the source is about to be opened, and
    // gives the path of the .mdb file. A run started while another is in progress in this
    // process is refused with a CException and touches nothing.
    void Run(const std::function<std::string()>& readPath, const std::string& targetConnection);

    // The watch the run marks its target calls and its table in, and whose stop it takes as
    // the observer's (RunWatch.h); set before Run. Without one, nothing is watched.
    void SetWatch(std::shared_ptr<CRunWatch> watch) { m_watch = std::move(watch); }

    // Verifies the copy after the commit (OnVerified, CRunOutcome::verification): every
    // target table is read back and compared with the rows sent, as multisets of rows. Only a
    // run whose target tables were empty before its first row (a replacing run's are, inside
    // its transaction) is verified; any other is "not run", as is one whose target cannot read
    // its tables back. Set before Run.
    void SetVerify(bool verify) { m_bVerify = verify; }

    // The steps of a run, each usable alone.
    void OpenSource(const std::string& path);
    void OpenTarget(const std::string& targetConnection);
    // Copies every row of one table, then logs the table's line.
    void CopyTable(const CCatalogueEntry& entry);

private:
    // Looks up every catalogue table and the columns read from it in the source; gives the
    // tables with the rows each declares, for OnRunStart. Throws the source's failure.
    std::vector<CTableProgress> CheckSource();
    // The rows each catalogue table of the target holds now, in catalogue order (none: not
    // countable).
    std::vector<std::optional<size_t>> CountTarget();
    // Throws CCountDiffers when a table does not hold what it held before plus what the run
    // inserted into it.
    // held: the rows each table holds, as the verification read them (none: count now).
    void CheckCounts(const std::vector<std::optional<size_t>>& before,
                     const std::optional<std::vector<size_t>>& held = std::nullopt);
    // The position of entry's table in the catalogue (its size: not there).
    static size_t CatalogueIndex(const CCatalogueEntry& entry);
    // Keeps the verification's result for the outcome and tells the observer.
    void PublishVerification(const CVerification& result);
    // Tells the observer that the run is alive, then stops if it asks to.
    void Heartbeat();
    void ThrowIfStopRequested();
    // How the run ended with error (null: completed), where it stands now.
    CRunOutcome Outcome(const std::exception_ptr& error) const;
    // Tells the watch which table is being copied (null: none).
    void WatchTable(const CTableProgress* table);

    ISourceDatabase& m_source;
    ITargetDatabase& m_target;
    IRunObserver& m_observer;
    std::shared_ptr<CRunWatch> m_watch;
    std::optional<CTableProgress> m_current;              // the table being copied, from its start
    std::string m_strOpening;                             // the table being opened, until it is
    bool m_bCommitting = false;                           // CommitRun is under way
    bool m_bUncountedTold = false;                        // OnRowsUncounted was told in this run
    bool m_bVerify = false;                               // the copy is verified after the commit
    CRunVerifier* m_pVerifier = nullptr;                  // the run's, while it takes the rows sent
    std::shared_ptr<const CVerification> m_verification;  // once told
    // A run that is one transaction: the lines of the tables copied, logged once committed.
    std::vector<std::string> m_heldLines;
    bool m_bStartedEmpty = false;    // every target table was counted empty before the first row
    std::vector<size_t> m_inserted;  // the rows inserted, by catalogue table
    std::string m_strSourcePath;
};
