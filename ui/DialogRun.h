#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/RunSummary.h"
#include "migration/RunWatch.h"
#include "migration/target/DialogTarget.h"
#include "migration/target/TargetResolution.h"
#include "ui/ServerTroubleReport.h"

class CBrimlowDlg;
class CDialogLog;

// A dialog's run as its own thread sees it: what the run is to read and write (taken from the
// dialog when it started), and the observer that hands every event to the window's thread,
// where the run's CDialogLog shows it. Nothing here touches a window: events are posted, in
// order, and a window that is gone by the time one arrives drops it. A stop is the watch's.
//
// It keeps the run's account (CRunSummary) as the command line does, and a run that reached
// its target is recorded in the run history (RunHistory.h) here, on the run's own thread (or
// the watcher's, for a run given up) as it ends: the record does not depend on the window,
// which may be gone by then.
class CDialogRun final : public IRunObserver {
public:
    CDialogRun(std::weak_ptr<CDialogLog> log, std::string path,
               std::optional<CResolvedTarget> target);

    const std::string& Path() const noexcept { return m_strPath; }
    // The target resolved when the run started; none when that failed (the open says why).
    const std::optional<CResolvedTarget>& Target() const noexcept { return m_target; }

    // The migration of Path() from source to target, on the run's watch. Throws how it ended
    // unless it completed.
    void RunOn(ISourceDatabase& source, ITargetDatabase& target);
    // The question before rows are added to tables that hold some, asked by the window while
    // the run waits; キャンセル when the window is gone.
    ExistingRowsChoice AskExistingRows(const CExistingRows& existing);
    // Runs call on the window's thread and waits for it; throws what it threw. With the
    // window gone, the run is stopped (CRunStopped).
    void CallOnUi(const std::function<void(CBrimlowDlg&)>& call);

    // The run's thread, once: the watch, before anything else; the end, after everything
    // else (null: completed).
    void SetWatch(std::shared_ptr<CRunWatch> watch) { m_watch = std::move(watch); }
    void End(const std::exception_ptr& error);
    // The watcher's thread, in place of End: the call in flight was given up.
    void GivenUp(const CRunOutcome& outcome);

    // IRunObserver, on the run's thread.
    void AppendLog(const std::string& line) override;
    void OnTargetOpen(const std::string& target) override;
    void OnRunStart(const std::vector<CTableProgress>& tables) override;
    void OnTableStart(const CTableProgress& table) override;
    void OnRowProgress(const CTableProgress& table) override;
    void OnRowCountDiffers(const CTableProgress& table, size_t declared) override;
    void OnTextCutAtZeroByte(const CTableProgress& table, const std::string& column) override;
    void OnTableEnd(const CTableProgress& table) override;
    void OnRowsUncounted() override;
    void OnVerifyStart(std::size_t total) override;
    void OnVerifyProgress(std::size_t done, std::size_t total) override;
    void OnRunEnd(const CRunOutcome& outcome) override;

private:
    // Hands show to the window's thread, where it gets the run's log if it is still there.
    void Post(std::function<void(CDialogLog&)> show) const;
    // "new", "append" or "replace", from the answer to the question about existing rows (none
    // asked: every table was empty).
    std::string Mode() const;
    // Writes the run's history line; the warning to log when it could not be written.
    std::string Record(const CRunOutcome& outcome);

    std::weak_ptr<CDialogLog> m_log;
    std::string m_strPath;
    std::optional<CResolvedTarget> m_target;
    std::shared_ptr<CRunWatch> m_watch;
    // The user chose to add the rows to tables that held some: why the copy is not verified.
    // Read by the watcher's thread when a call is given up.
    std::atomic<bool> m_bAppended{false};
    std::atomic<bool> m_bReplaced{false};  // the user chose to replace the tables' rows

    // The run's account, kept by the run's thread and read by the watcher's when a call is
    // given up.
    mutable std::mutex m_lock;
    CRunSummary m_summary;
    bool m_bTargetReached = false;  // the target was opened: the run is recorded
    bool m_bRecorded = false;       // the run's history line was written (or tried)
    // The time the run took, from its start, less the time the question about existing rows
    // waited for its answer.
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration m_asking{};
    // The words for a run the target's server ended, from the run's end, for the error RunOn
    // throws; the run's thread and the watcher's may both tell an end. Under m_lock.
    std::optional<CServerTroubleReport> m_trouble;
};
