#include "app/ConsoleRun.h"

#include <cerrno>
#include <cstring>

#include "app/StopSignals.h"
#include "dbaccess/Translate.h"
#include "migration/CountText.h"

CConsoleRun::CConsoleRun(std::FILE* log, std::FILE* progress, std::FILE* notes)
    : m_log(log), m_notes(notes) {
    if (progress != nullptr) {
        m_progress = std::make_unique<CProgressLine>(progress);
    }
}

void CConsoleRun::AppendLog(const std::string& line) {
    ClearProgress();
    if (!m_strLogError.empty()) {
        return;
    }
    errno = 0;
    if (std::fprintf(m_log, "%s\n", line.c_str()) < 0 || std::fflush(m_log) != 0) {
        const int error = errno;
        m_strLogError = std::strerror(error != 0 ? error : EIO);
    }
}

void CConsoleRun::OnRunStart(const std::vector<CTableProgress>& tables) {
    if (m_progress) {
        size_t total = 0;
        for (const CTableProgress& table : tables) {
            total += table.total;
        }
        m_progress->StartRun(total);
    }
}

void CConsoleRun::OnTableStart(const CTableProgress& table) {
    m_summary.TableStarted(table);
    if (m_progress) {
        m_progress->Show(table, m_nRowsBefore);
    }
}

void CConsoleRun::OnRowProgress(const CTableProgress& table) {
    m_summary.TableAt(table);
    if (m_progress) {
        m_progress->Show(table, m_nRowsBefore + table.inserted);
    }
}

void CConsoleRun::OnRowCountDiffers(const CTableProgress& table, size_t declared) {
    m_summary.RowCountDiffers(table, declared);
    ClearProgress();
    // Not an error: the rows are all there. A user may still want to run Compact and Repair,
    // which makes the stored count right again.
    std::fprintf(m_notes,
                 Tr("brimlow-migrate: note: %s holds %s rows, but its table definition declares "
                    "%s (a stale count; Compact and Repair in Access corrects it).\n"),
                 table.table.c_str(), GroupThousands(table.total).c_str(),
                 GroupThousands(declared).c_str());
    std::fflush(m_notes);
}

void CConsoleRun::OnTextCutAtZeroByte(const CTableProgress& table, const std::string& column) {
    m_summary.TextCutAtZeroByte(table, column);
}

void CConsoleRun::NoteZeroByteCuts() {
    if (m_summary.Tables().empty()) {
        return;
    }
    const CRunSummary::Table& table = m_summary.Tables().back();
    if (table.zeroByteCuts.empty()) {
        return;
    }
    ClearProgress();
    // The statements stay as they are (an SQL literal cannot carry a zero byte), but the
    // text after it does not reach the target, and a user should know where.
    for (const CRunSummary::Table::ZeroByteCut& cut : table.zeroByteCuts) {
        std::fprintf(m_notes,
                     cut.count == 1
                         ? Tr("brimlow-migrate: note: %s, column %s: %s text value was cut at a "
                              "zero byte, which SQL text cannot carry; the rest of the text was "
                              "not copied (first in row %s).\n")
                         : Tr("brimlow-migrate: note: %s, column %s: %s text values were cut at "
                              "a zero byte, which SQL text cannot carry; the rest of the text was "
                              "not copied (first in row %s).\n"),
                     table.table.c_str(), cut.column.c_str(), GroupThousands(cut.count).c_str(),
                     GroupThousands(cut.firstRow).c_str());
    }
    std::fflush(m_notes);
}

void CConsoleRun::OnRowsUncounted() {
    ClearProgress();
    // Not an error: the counts read back after the run still tell a row that did not arrive.
    std::fputs(Tr("brimlow-migrate: note: the target does not say how many rows each statement "
                  "inserted; the rows are checked by counting the tables after the run.\n"),
               m_notes);
    std::fflush(m_notes);
}

void CConsoleRun::OnTableEnd(const CTableProgress& table) {
    m_summary.TableAt(table);
    NoteZeroByteCuts();
    m_nRowsBefore += table.inserted;
}

void CConsoleRun::OnVerifyStart(std::size_t total) {
    if (m_progress) {
        m_progress->StartVerify(total);
    }
}

void CConsoleRun::OnVerifyProgress(std::size_t done, std::size_t total) {
    if (m_progress) {
        m_progress->ShowVerify(done, total);
    }
}

void CConsoleRun::OnVerified(const CVerification& /*result*/) {
    // What it found is told with the run's end (FinishRun), from the run's outcome.
    ClearProgress();
}

void CConsoleRun::OnRunEnd(const CRunOutcome& outcome) {
    m_outcome = outcome;
    // A table that failed as it was opened has no line of its own in the summary.
    if (outcome.table && !outcome.failedOpeningTable) {
        m_summary.TableAt(*outcome.table);
        NoteZeroByteCuts();
    }
    ClearProgress();
}

bool CConsoleRun::IsStopRequested() {
    return ReceivedStopSignal() != 0;
}

void CConsoleRun::ClearProgress() {
    if (m_progress) {
        m_progress->Clear();
    }
}
