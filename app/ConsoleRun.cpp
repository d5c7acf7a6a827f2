#include "app/ConsoleRun.h"

#include <cerrno>
#include <cstring>

#include "app/StopSignals.h"

CConsoleRun::CConsoleRun(std::FILE* log, std::FILE* progress) : m_log(log) {
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

void CConsoleRun::OnTableEnd(const CTableProgress& table) {
    m_summary.TableAt(table);
    m_nRowsBefore += table.inserted;
}

void CConsoleRun::OnStopped(const CTableProgress* table) {
    EndedAt(table);
}

void CConsoleRun::OnFailed(const CTableProgress* table) {
    EndedAt(table);
}

void CConsoleRun::EndedAt(const CTableProgress* table) {
    if (table != nullptr) {
        m_summary.TableAt(*table);
        m_endedIn = *table;
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
