#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ProgressLine.h"
#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"
#include "migration/RunSummary.h"

// How the command line follows a run: each log line on its stream as soon as it is
// appended, a progress line on stderr when asked for, a note on stderr for each table whose
// stored row count is stale, the account that --summary writes (the verification's with it,
// which FinishRun tells once the run is over), and a stop when SIGINT,
// SIGTERM or SIGHUP arrived.
//
// A log line that cannot be written (a closed pipe, a full disk) does not stop the run: the
// first error is kept and no further line is tried.
class CConsoleRun final : public IRunObserver {
public:
    // progress: where the progress line goes, or null for none; notes: where the notes go.
    CConsoleRun(std::FILE* log, std::FILE* progress, std::FILE* notes = stderr);

    void AppendLog(const std::string& line) override;
    void OnTargetOpen(const std::string& target) override { m_strTarget = target; }
    void OnRunStart(const std::vector<CTableProgress>& tables) override;
    void OnTableStart(const CTableProgress& table) override;
    void OnRowProgress(const CTableProgress& table) override;
    void OnRowCountDiffers(const CTableProgress& table, size_t declared) override;
    void OnTextCutAtZeroByte(const CTableProgress& table, const std::string& column) override;
    void OnRowsUncounted() override;
    void OnTableEnd(const CTableProgress& table) override;
    void OnVerifyStart(std::size_t total) override;
    void OnVerifyProgress(std::size_t done, std::size_t total) override;
    void OnVerified(const CVerification& result) override;
    void OnRunEnd(const CRunOutcome& outcome) override;
    bool IsStopRequested() override;

    // Blanks the progress line, before a final message.
    void ClearProgress();
    // Why the log could not be written (strerror's text), or empty.
    const std::string& LogError() const noexcept { return m_strLogError; }
    const CRunSummary& Summary() const noexcept { return m_summary; }
    // The target the run opened, as it described itself; empty when none was opened.
    const std::string& Target() const noexcept { return m_strTarget; }
    // How the run ended, once it has; none before, and for a failure outside the run.
    const std::optional<CRunOutcome>& Outcome() const noexcept { return m_outcome; }

private:
    // One note per column of the last table whose text was cut at a zero byte.
    void NoteZeroByteCuts();

    std::FILE* m_log;
    std::FILE* m_notes;
    std::unique_ptr<CProgressLine> m_progress;
    CRunSummary m_summary;
    size_t m_nRowsBefore = 0;  // rows of the tables finished in this run
    std::string m_strLogError;
    std::optional<CRunOutcome> m_outcome;
    std::string m_strTarget;
};
