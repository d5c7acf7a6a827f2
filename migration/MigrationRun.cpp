#include "migration/MigrationRun.h"

#include <chrono>

#include "dbaccess/Exceptions.h"
#include "migration/InsertItem.h"
#include "migration/RunSettings.h"
#include "migration/TableCatalogue.h"

namespace {

// At most one run at a time: the dialog and the command line each own one set
// of connections, and a run nested inside another would share them.
bool g_bRunInProgress = false;

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

// Tells the observer about every 100 ms that the copy is alive. Reading the
// steady clock costs a few tens of nanoseconds, next to nothing beside a row.
class CProgressClock {
public:
    explicit CProgressClock(IRunObserver& observer) : m_observer(observer) {}

    void Tick() {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last >= kInterval) {
            m_last = now;
            m_observer.OnProgress();
        }
    }

private:
    static constexpr auto kInterval = std::chrono::milliseconds(100);

    IRunObserver& m_observer;
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

}  // namespace

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

    OpenSource(readPath());
    OpenTarget(targetConnection);
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        CopyTable(entry);
    }
    m_observer.AppendLog(kCompletionLine);
    m_target.Close();
    m_source.Close();
}

std::string CMigrationRun::WithRowAndFile(std::string message, size_t rowNumber) const {
    if (!message.empty() && message.back() == '.') {
        message.pop_back();
    }
    return message + ", row " + std::to_string(rowNumber) + ", in the database '" +
           m_strSourcePath + "'.";
}

void CMigrationRun::OpenSource(const std::string& path) {
    m_strSourcePath = path;
    // The file check before the open can take seconds: the heartbeat keeps a window painted.
    m_source.SetWaitCallback([this] { m_observer.OnProgress(); });
    struct ClearCallback {
        ISourceDatabase& source;
        ~ClearCallback() { source.SetWaitCallback({}); }
    } clear{m_source};
    m_source.Open(path, kSourceConnect);
}

void CMigrationRun::OpenTarget(const std::string& targetConnection) {
    m_target.Open(targetConnection);
}

void CMigrationRun::CopyTable(const CCatalogueEntry& entry) {
    CProgressClock progress(m_observer);
    {
        std::unique_ptr<IRecordset> recordset = m_source.OpenRecordset(entry.query);
        size_t rowNumber = 0;
        while (!recordset->IsEOF()) {
            ++rowNumber;
            CInsertItemList row(entry.table, entry.columns.size());
            try {
                for (const CCatalogueColumn& column : entry.columns) {
                    row.AddItem(column.name, column.kind, recordset->GetFieldValue(column.name));
                }
            } catch (const COleException& e) {
                throw COleException(WithRowAndFile(e.GetErrorMessage(), rowNumber));
            }
            m_target.ExecuteSQL(row.BuildStatement());
            recordset->MoveNext();
            progress.Tick();
        }
        recordset->Close();
    }
    m_observer.AppendLog(entry.logLine);
}
