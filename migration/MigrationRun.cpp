#include "migration/MigrationRun.h"

#include <algorithm>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/CountText.h"
#include "migration/ProgressClock.h"
#include "migration/RunOutcome.h"
#include "migration/RunSettings.h"
#include "migration/RunVerifier.h"
#include "migration/RunWatch.h"
#include "migration/SourceRow.h"
#include "migration/TableCatalogue.h"
#include "migration/statement/InsertItem.h"

namespace {

// At most one run at a time on a thread: a run nested inside another would share its
// connections. (A run given up on another thread may still be blocked there.)
thread_local bool g_bRunInProgress = false;

class CRunInProgress {
public:
    CRunInProgress() {
        if (g_bRunInProgress) {
            throw CException("A migration run is already in progress.");
        }
        g_bRunInProgress = true;
    }
    ~CRunInProgress() { g_bRunInProgress = false; }
    CRunInProgress(const CRunInProgress&) = delete;
    CRunInProgress& operator=(const CRunInProgress&) = delete;
};

std::string CountDiffersText(const std::vector<CTableCount>& tables) {
    std::string text;
    for (const CTableCount& table : tables) {
        text += table.before == 0
                    ? TrFormat(
                          "%1 holds %2 rows; %3 were inserted into the empty table.",
                          {table.table, GroupThousands(table.held), GroupThousands(table.inserted)})
                    : TrFormat("%1 holds %2 rows; %3 were inserted into %4.",
                               {table.table, GroupThousands(table.held),
                                GroupThousands(table.inserted), GroupThousands(table.before)});
        text += "\n";
    }
    return text +
           Tr("Another program (or a trigger on the table) changed the target during the "
              "run. The rows the run inserted stay in the target.") +
           "\n";
}

}  // namespace

CCountDiffers::CCountDiffers(std::vector<CTableCount> tables, const std::string& rows)
    : CDBException(CountDiffersText(tables) + rows), m_tables(std::move(tables)) {}

CMigrationRun::CMigrationRun(ISourceDatabase& source, ITargetDatabase& target,
                             IRunObserver& observer)
    : m_source(source), m_target(target), m_observer(observer) {}

void CMigrationRun::Run(const std::function<std::string()>& readPath,
                        const std::string& targetConnection) {
    CRunInProgress guard;

    // What an earlier failed run left open is closed first: the source so that
    // the file named now is the one read, the target so that the connection is
    // made afresh.
    m_target.Close();
    m_source.Close();
    m_current.reset();
    m_strOpening.clear();
    m_bCommitting = false;
    m_bUncountedTold = false;
    m_inserted.assign(GetTableCatalogue().size(), 0);
    // A call that blocks is the watcher's to stop.
    m_target.SetWatch(m_watch);
    struct ClearWatch {
        CMigrationRun& run;
        ~ClearWatch() {
            run.m_target.SetWatch(nullptr);
            run.WatchTable(nullptr);
        }
    } clear{*this};

    m_verification.reset();
    m_pVerifier = nullptr;
    m_heldLines.clear();
    m_bStartedEmpty = false;
    struct ClearVerifier {
        CMigrationRun& run;
        ~ClearVerifier() { run.m_pVerifier = nullptr; }
    } clearVerifier{*this};

    try {
        OpenSource(readPath());
        // A table or column missing in the source fails before the target is touched.
        const std::vector<CTableProgress> plan = CheckSource();
        OpenTarget(targetConnection);
        // A stop asked for while the connect blocked takes effect here.
        Heartbeat();
        // For a replacing run, inside its transaction: the tables are empty by now.
        const std::vector<std::optional<size_t>> before = CountTarget();
        m_bStartedEmpty = std::all_of(before.begin(), before.end(),
                                      [](const std::optional<size_t>& n) { return n && *n == 0; });
        CRunVerifier verifier(
            m_source, m_target, m_observer, [this] { ThrowIfStopRequested(); }, m_strSourcePath);
        if (m_bVerify) {
            verifier.Prepare(before);
            m_pVerifier = verifier.Active() ? &verifier : nullptr;
        }
        m_observer.OnRunStart(plan);
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            CopyTable(entry);
        }
        m_bCommitting = true;
        m_target.CommitRun();
        m_bCommitting = false;
        for (const std::string& line : m_heldLines) {
            m_observer.AppendLog(line);
        }
        m_heldLines.clear();
        // The verification's reading supplies the counts after the run, when it read every
        // table.
        const std::optional<std::vector<size_t>> held =
            m_bVerify ? verifier.ReadBack() : std::nullopt;
        try {
            CheckCounts(before, held);
        } catch (const CCountDiffers& e) {
            if (!m_bVerify) {
                throw;
            }
            verifier.FindDifferences();
            PublishVerification(verifier.Result());
            std::vector<CTableCount> tables = e.Tables();
            throw CCountDiffers(std::move(tables), verifier.RowsText());
        }
        m_observer.AppendLog(kCompletionLine);
        if (m_bVerify) {
            verifier.FindDifferences();
            PublishVerification(verifier.Result());
            if (verifier.Result().state == CVerification::State::Differs) {
                throw CCopyDiffers(verifier.DifferencesText());
            }
        }
    } catch (const CRunGivenUp&) {
        // The watcher told the run's end; what is left belongs to this thread alone.
        throw;
    } catch (const CRunStopped&) {
        // Rows already sent stay; the connections are not kept for a later run.
        const CRunOutcome outcome = Outcome(std::current_exception());
        m_target.Close();
        m_source.Close();
        m_observer.OnRunEnd(outcome);
        throw;
    } catch (...) {
        m_observer.OnRunEnd(Outcome(std::current_exception()));
        throw;
    }
    m_target.Close();
    m_source.Close();
    m_observer.OnRunEnd(Outcome(nullptr));
}

void CMigrationRun::PublishVerification(const CVerification& result) {
    m_verification = std::make_shared<const CVerification>(result);
    m_observer.OnVerified(*m_verification);
}

CRunOutcome CMigrationRun::Outcome(const std::exception_ptr& error) const {
    CRunOutcome outcome =
        CRunOutcome::Of(error, m_current ? &*m_current : nullptr, m_target.CommitsAtEnd());
    outcome.verification = m_verification;
    outcome.startedEmpty = m_bStartedEmpty;
    if (m_bVerify && !outcome.verification) {
        auto notRun = std::make_shared<CVerification>();
        notRun->reason = Tr("The run did not complete.");
        outcome.verification = std::move(notRun);
    }
    if (!m_current && !m_strOpening.empty()) {
        outcome.table = CTableProgress{m_strOpening, 0, 0};
        outcome.failedOpeningTable = true;
    }
    outcome.inCommit = m_bCommitting && m_target.CommitsAtEnd();
    return outcome;
}

void CMigrationRun::OpenSource(const std::string& path) {
    m_strSourcePath = path;
    // The file check before the open can take seconds: the heartbeat keeps a window painted,
    // and a stop ends the check at once.
    m_source.SetWaitCallback([this] { Heartbeat(); });
    struct ClearCallback {
        ISourceDatabase& source;
        ~ClearCallback() { source.SetWaitCallback({}); }
    } clear{m_source};
    // The run reads the catalogue's tables and no other: a damaged table beside them does not
    // stop it.
    std::vector<std::string> tables;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        tables.push_back(entry.table);
    }
    m_source.SetTablesToRead(std::move(tables));
    try {
        m_source.Open(path, kSourceConnect);
    } catch (const CException&) {
        // A stop asked for while the file was checked may have ended the check in a way
        // that looks like a failure of its own (a Ctrl+C that reached the check's process
        // as well): it is still the stop.
        ThrowIfStopRequested();
        throw;
    }
}

void CMigrationRun::OpenTarget(const std::string& targetConnection) {
    try {
        m_target.Open(targetConnection);
    } catch (const CException&) {
        ThrowIfStopRequested();
        throw;
    }
    if (m_watch) {
        m_watch->SetCommitsAtEnd(m_target.CommitsAtEnd());
    }
    m_observer.OnTargetOpen(m_target.Describe());
}

void CMigrationRun::CopyTable(const CCatalogueEntry& entry) {
    const size_t index = CatalogueIndex(entry);
    {
        m_strOpening = entry.table;
        std::unique_ptr<IRecordset> recordset = m_source.OpenRecordset(entry.query);
        m_strOpening.clear();
        const size_t declared = recordset->GetRecordCount();
        CTableProgress& table = m_current.emplace(CTableProgress{entry.table, declared, 0});
        WatchTable(&table);
        m_observer.OnTableStart(table);
        CProgressClock progress;
        struct CutTeller : ICutListener {
            IRunObserver& observer;
            const CTableProgress& table;
            CutTeller(IRunObserver& o, const CTableProgress& t) : observer(o), table(t) {}
            void OnCut(const std::string& column) override {
                observer.OnTextCutAtZeroByte(table, column);
            }
        } cuts(m_observer, table);
        CRunVerifier* const verifier = index < GetTableCatalogue().size() ? m_pVerifier : nullptr;
        // A stop is taken before each row, and before an empty table ends.
        for (ThrowIfStopRequested(); !recordset->IsEOF(); ThrowIfStopRequested()) {
            CInsertItemList row(entry.table, entry.columns.size());
            ReadSourceRow(entry, *recordset, row, &cuts, table.inserted + 1, m_strSourcePath);
            m_target.InsertRow(row);
            if (verifier != nullptr) {
                verifier->AddSentRow(index, row);
            }
            // A declared count that is stale is only the first guess at the total.
            table.total = std::max(table.total, ++table.inserted);
            recordset->MoveNext();
            if (progress.Due()) {
                m_observer.OnRowProgress(table);
            }
        }
        recordset->Close();
        table.total = table.inserted;
        if (table.total != declared) {
            m_observer.OnRowCountDiffers(table, declared);
        }
    }
    m_target.EndTable();
    if (!m_bUncountedTold && m_target.RowsUncounted()) {
        m_bUncountedTold = true;
        m_observer.OnRowsUncounted();
    }
    if (index < m_inserted.size()) {
        m_inserted[index] = m_current->inserted;
    }
    m_observer.OnTableEnd(*m_current);
    WatchTable(nullptr);
    m_current.reset();
    if (m_target.CommitsAtEnd()) {
        // Its rows are not in the target before the commit: the line waits for it.
        m_heldLines.push_back(entry.logLine);
    } else {
        m_observer.AppendLog(entry.logLine);
    }
}

std::vector<CTableProgress> CMigrationRun::CheckSource() {
    std::vector<CTableProgress> tables;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        m_strOpening = entry.table;
        std::unique_ptr<IRecordset> recordset = m_source.OpenRecordset(entry.query);
        for (const CCatalogueColumn& column : entry.columns) {
            recordset->CheckField(column.name);
        }
        tables.push_back(CTableProgress{entry.table, recordset->GetRecordCount(), 0});
        recordset->Close();
        m_strOpening.clear();
    }
    return tables;
}

std::vector<std::optional<size_t>> CMigrationRun::CountTarget() {
    std::vector<std::optional<size_t>> rows;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        rows.push_back(m_target.CountRows(entry.table));
    }
    return rows;
}

size_t CMigrationRun::CatalogueIndex(const CCatalogueEntry& entry) {
    const auto& catalogue = GetTableCatalogue();
    for (size_t i = 0; i < catalogue.size(); ++i) {
        if (catalogue[i].table == entry.table) {
            return i;
        }
    }
    return catalogue.size();
}

void CMigrationRun::CheckCounts(const std::vector<std::optional<size_t>>& before,
                                const std::optional<std::vector<size_t>>& held) {
    std::vector<std::optional<size_t>> after;
    if (held) {
        after.assign(held->begin(), held->end());
    } else {
        try {
            after = CountTarget();
        } catch (const CRunStopped&) {
            // Asked for once every row is committed: there is nothing left to stop, and the
            // counts go unchecked.
            return;
        }
    }
    const auto& catalogue = GetTableCatalogue();
    std::vector<CTableCount> differing;
    for (size_t i = 0; i < catalogue.size() && i < before.size(); ++i) {
        if (!before[i] || !after[i]) {
            continue;
        }
        const size_t inserted = i < m_inserted.size() ? m_inserted[i] : 0;
        if (*after[i] != *before[i] + inserted) {
            differing.push_back(CTableCount{catalogue[i].table, *before[i], inserted, *after[i]});
        }
    }
    if (!differing.empty()) {
        throw CCountDiffers(std::move(differing));
    }
}

void CMigrationRun::Heartbeat() {
    m_observer.OnProgress();
    ThrowIfStopRequested();
}

void CMigrationRun::ThrowIfStopRequested() {
    if (m_observer.IsStopRequested() || (m_watch && m_watch->IsStopRequested())) {
        throw CRunStopped();
    }
}

void CMigrationRun::WatchTable(const CTableProgress* table) {
    if (m_watch) {
        m_watch->SetTable(table);
    }
}
