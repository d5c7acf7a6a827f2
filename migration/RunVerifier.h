#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/ProgressClock.h"
#include "migration/verify/RowDigest.h"
#include "migration/verify/Verification.h"

// The verification of one run's copy. Before the first row it learns how the target holds
// each table (Prepare); while the rows are sent it adds each to its table's digest; after the
// commit it reads every table back and compares digests, and for a table that differs reads
// both sides again to name the rows: first the target's hashes, then the source's rows (those
// the target does not hold are kept, up to a limit), then the target's rows that the source
// does not hold. Memory stays flat on the first reading; the second holds 16 bytes per row of
// a differing table.
class CRunVerifier {
public:
    // stopCheck throws CRunStopped when a stop was asked for; file is the source's path.
    CRunVerifier(ISourceDatabase& source, ITargetDatabase& target, IRunObserver& observer,
                 std::function<void()> stopCheck, std::string file);

    // Once the target is open, before the first row; before: the rows each catalogue table
    // held (none: not countable). Decides whether the run is verified: only when every table
    // was empty and the target can read each back. Otherwise the result is "not run" with the
    // reason.
    void Prepare(const std::vector<std::optional<std::size_t>>& before);
    bool Active() const noexcept { return m_bActive; }

    // A row sent to the catalogue table at index.
    void AddSentRow(std::size_t index, const CInsertItemList& row) {
        m_sent[index].Add(m_hashers[index].HashRow(row));
    }

    // After the commit: reads every table back and compares. Gives the rows each table holds
    // when every table was read whole (for the run's count check), none otherwise. A stop
    // makes the result Stopped; a failure to read makes it "not run" with the failure's text.
    // CRunGivenUp passes through.
    std::optional<std::vector<std::size_t>> ReadBack();
    // Once the counts are checked: for each table whose digest differs, finds the rows (the
    // second reading) and writes them to the differences file. The result is final after it.
    void FindDifferences();

    const CVerification& Result() const noexcept { return m_result; }
    // The message of a copy that differs: the tables, the first rows, the file, what to do.
    std::string DifferencesText() const;
    // The tables that differ, each with its first rows, and where the rest were written.
    std::string RowsText() const;

private:
    void NotRun(std::string reason);
    // Reads table back, hashing each row with hasher; calls each(hash) per row. Returns the
    // rows read.
    std::size_t ReadTarget(std::size_t index, const std::function<void(RowHash)>& each);
    void FindTableDifferences(std::size_t index);
    void Progress(std::size_t rows);

    ISourceDatabase& m_source;
    ITargetDatabase& m_target;
    IRunObserver& m_observer;
    std::function<void()> m_stopCheck;
    std::string m_strFile;
    bool m_bActive = false;
    std::vector<CRowHasher> m_hashers;   // by catalogue table
    std::vector<CTableDigest> m_sent;    // by catalogue table
    std::vector<CTableDigest> m_held;    // by catalogue table, once read back
    std::vector<std::string> m_columns;  // scratch
    CVerification m_result;
    std::size_t m_nDone = 0;
    std::size_t m_nTotal = 0;
    unsigned m_nSinceProgress = 0;
    CProgressClock m_clock;
};
