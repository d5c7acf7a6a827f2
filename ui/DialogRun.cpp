#include "ui/DialogRun.h"

#include <future>
#include <utility>

#include <wx/app.h>

#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "ui/BrimlowDlg.h"
#include "ui/DialogLog.h"
#include "ui/RunLogLines.h"
#include "ui/ServerTroubleReport.h"

CDialogRun::CDialogRun(std::weak_ptr<CDialogLog> log, std::string path,
                       std::optional<CResolvedTarget> target)
    : m_log(std::move(log)), m_strPath(std::move(path)), m_target(std::move(target)) {}

void CDialogRun::RunOn(ISourceDatabase& source, ITargetDatabase& target) {
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
            const std::lock_guard lock(m_mutex);
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
    CallOnUi([&](CBrimlowDlg& dialog) { choice = dialog.AskAboutExistingRows(existing); });
    m_bAppended = choice == ExistingRowsChoice::Append;
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
}

void CDialogRun::OnRowsUncounted() {
    AppendLog(runlines::RowsUncounted());
}

void CDialogRun::OnTableStart(const CTableProgress& table) {
    Post([table](CDialogLog& log) { log.OnTableStart(table); });
}

void CDialogRun::OnRowProgress(const CTableProgress& table) {
    Post([table](CDialogLog& log) { log.OnRowProgress(table); });
}

void CDialogRun::OnVerifyStart(std::size_t total) {
    Post([total](CDialogLog& log) { log.OnVerifyStart(total); });
}

void CDialogRun::OnVerifyProgress(std::size_t done, std::size_t total) {
    Post([done, total](CDialogLog& log) { log.OnVerifyProgress(done, total); });
}

void CDialogRun::OnRunEnd(const CRunOutcome& outcome) {
    {
        const std::lock_guard lock(m_mutex);
        m_trouble = DescribeServerTrouble(outcome);
    }
    Post([outcome, appended = m_bAppended.load()](CDialogLog& log) {
        log.OnRunEnd(outcome, appended);
    });
}

void CDialogRun::Post(std::function<void(CDialogLog&)> show) const {
    wxTheApp->CallAfter([log = m_log, show = std::move(show)] {
        if (const std::shared_ptr<CDialogLog> alive = log.lock()) {
            show(*alive);
        }
    });
}
