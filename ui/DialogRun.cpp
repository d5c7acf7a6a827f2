#include "ui/DialogRun.h"

#include <filesystem>
#include <future>
#include <utility>

#include <wx/app.h>

#include "migration/MigrationRun.h"
#include "migration/RunHistory.h"
#include "migration/RunRecord.h"
#include "migration/RunSettings.h"
#include "ui/BrimlowDlg.h"
#include "ui/DialogLog.h"
#include "ui/RunLogLines.h"
#include "ui/ServerTroubleReport.h"

CDialogRun::CDialogRun(std::weak_ptr<CDialogLog> log, std::string path,
                       std::optional<CResolvedTarget> target)
    : m_log(std::move(log)), m_strPath(std::move(path)), m_target(std::move(target)) {}

void CDialogRun::RunOn(ISourceDatabase& source, ITargetDatabase& target) {
    m_started = std::chrono::steady_clock::now();
    m_asking = {};
    CMigrationRun run(source, target, *this);
    run.SetWatch(m_watch);
    // Every run is verified where it can be: the run itself says "not run" for rows added to
    // tables that held some, and for a target that cannot read its tables back.
    run.SetVerify(true);
    try {
        run.Run([this] { return m_strPath; }, kTargetConnection);
    } catch (const CRunGivenUp&) {
        throw;
    } catch (...) {
        // A run the target's server ended is told in our words, the error's text below them.
        std::optional<CServerTroubleReport> trouble;
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            trouble = std::exchange(m_trouble, std::nullopt);
        }
        if (trouble) {
            throw CServerTroubleError(std::move(*trouble));
        }
        throw;
    }
}

ExistingRowsChoice CDialogRun::AskExistingRows(const CExistingRows& existing) {
    ExistingRowsChoice choice = ExistingRowsChoice::Cancel;
    const auto asked = std::chrono::steady_clock::now();
    CallOnUi([&](CBrimlowDlg& dialog) { choice = dialog.AskAboutExistingRows(existing); });
    m_asking += std::chrono::steady_clock::now() - asked;
    m_bAppended = choice == ExistingRowsChoice::Append;
    m_bReplaced = choice == ExistingRowsChoice::Replace;
    return choice;
}

void CDialogRun::CallOnUi(const std::function<void(CBrimlowDlg&)>& call) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> answered = done->get_future();
    Post([&call, done](CDialogLog& log) {
        try {
            call(log.Dialog());
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    try {
        answered.get();
    } catch (const std::future_error&) {
        // The window went before it could answer.
        throw CRunStopped();
    }
}

void CDialogRun::End(const std::exception_ptr& error) {
    Post([error](CDialogLog& log) { log.Dialog().EndRun(error); });
}

void CDialogRun::GivenUp(const CRunOutcome& outcome) {
    OnRunEnd(outcome);
    // A stop shows nothing more; a target that did not answer is a failure to show.
    if (std::optional<CServerTroubleReport> trouble = DescribeServerTrouble(outcome)) {
        End(std::make_exception_ptr(CServerTroubleError(std::move(*trouble))));
        return;
    }
    End(outcome.error ? outcome.error : std::make_exception_ptr(CRunStopped(outcome.unknown)));
}

void CDialogRun::AppendLog(const std::string& line) {
    Post([line](CDialogLog& log) { log.AppendLog(line); });
    if (line == kCompletionLine) {
        // Every row is committed: what the run sent and how long it took, before the
        // verification reads anything back.
        std::size_t rows = 0;
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            for (const CRunSummary::Table& table : m_summary.Tables()) {
                rows += table.inserted;
            }
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started - m_asking)
                .count();
        AppendLog(runlines::Migrated(rows, seconds));
    }
}

void CDialogRun::OnTargetOpen(const std::string& /*target*/) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_bTargetReached = true;
}

void CDialogRun::OnRunStart(const std::vector<CTableProgress>& /*tables*/) {
    // The target was counted and any question answered: the run's header can say how it
    // writes.
    Post([mode = Mode()](CDialogLog& log) { log.OnModeKnown(mode); });
}

void CDialogRun::OnRowCountDiffers(const CTableProgress& table, size_t declared) {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_summary.RowCountDiffers(table, declared);
    }
    AppendLog(runlines::StaleRowCount(table, declared));
}

void CDialogRun::OnTextCutAtZeroByte(const CTableProgress& table, const std::string& column) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_summary.TextCutAtZeroByte(table, column);
}

void CDialogRun::OnTableEnd(const CTableProgress& table) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_summary.TableAt(table);
}

std::string CDialogRun::Mode() const {
    return m_bReplaced ? "replace" : m_bAppended ? "append" : "new";
}

std::string CDialogRun::Record(const CRunOutcome& outcome) {
    std::string json;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (!m_bTargetReached || std::exchange(m_bRecorded, true)) {
            return {};
        }
        // A table that failed as it was opened has no line of its own in the summary.
        if (outcome.table && !outcome.failedOpeningTable) {
            m_summary.TableAt(*outcome.table);
        }
        CRunSummary summary = m_summary;
        if (m_target) {
            summary.SetTarget(m_target->description);
        }
        json = FinalSummaryJson(summary, outcome, true);
    }
    // The history is a record for later: failing to write it fails no run.
    std::error_code error;
    const std::filesystem::path file = std::filesystem::absolute(m_strPath, error);
    return AppendRunHistory(
        HistoryLine(json, error ? m_strPath : file.lexically_normal().string(), Mode()));
}

void CDialogRun::OnRowsUncounted() {
    AppendLog(runlines::RowsUncounted());
}

void CDialogRun::OnTableStart(const CTableProgress& table) {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_summary.TableStarted(table);
    }
    Post([table](CDialogLog& log) { log.OnTableStart(table); });
}

void CDialogRun::OnRowProgress(const CTableProgress& table) {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_summary.TableAt(table);
    }
    Post([table](CDialogLog& log) { log.OnRowProgress(table); });
}

void CDialogRun::OnVerifyStart(std::size_t total) {
    Post([total](CDialogLog& log) { log.OnVerifyStart(total); });
}

void CDialogRun::OnVerifyProgress(std::size_t done, std::size_t total) {
    Post([done, total](CDialogLog& log) { log.OnVerifyProgress(done, total); });
}

void CDialogRun::OnRunEnd(const CRunOutcome& outcome) {
    // Recorded before anything is posted: a window closing as the run ends cannot lose it.
    const std::string warning = Record(outcome);
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_trouble = DescribeServerTrouble(outcome);
    }
    Post([outcome, appended = m_bAppended.load()](CDialogLog& log) {
        log.OnRunEnd(outcome, appended);
    });
    if (!warning.empty()) {
        AppendLog(runlines::HistoryNotWritten(warning));
    }
}

void CDialogRun::Post(std::function<void(CDialogLog&)> show) const {
    wxTheApp->CallAfter([log = m_log, show = std::move(show)] {
        if (const std::shared_ptr<CDialogLog> alive = log.lock()) {
            show(*alive);
        }
    });
}
