#include "migration/RunWatch.h"

#include <string>

#include "dbaccess/Translate.h"

std::string NoAnswerText(std::chrono::seconds unansweredFor, bool givenUp) {
    const std::string seconds = std::to_string(unansweredFor.count());
    return givenUp ? TrFormat(
                         "The target did not answer for %1 seconds (a stopped or overloaded "
                         "server, or a network that drops packets): its call was cancelled "
                         "and then given up.",
                         {seconds})
                   : TrFormat(
                         "The target did not answer for %1 seconds, so its call was "
                         "cancelled.",
                         {seconds});
}

void CRunWatch::RequestStop(bool atOnce) noexcept {
    if (atOnce) {
        m_bStopAtOnce.store(true, std::memory_order_relaxed);
    }
    m_bStop.store(true, std::memory_order_relaxed);
}

void CRunWatch::SetTable(const CTableProgress* table) noexcept {
    const std::lock_guard lock(m_mutex);
    m_pTable = table;
}

void CRunWatch::SetCommitsAtEnd(bool commitsAtEnd) noexcept {
    const std::lock_guard lock(m_mutex);
    m_bCommitsAtEnd = commitsAtEnd;
}

void CRunWatch::Begin(const std::function<void()>& cancel, UnknownOutcome ifGivenUp) noexcept {
    const std::lock_guard lock(m_mutex);
    m_pCancel = &cancel;
    m_ifGivenUp = ifGivenUp;
    m_bCancelled = false;
    m_bTimedOut = false;
    ++m_nCall;
}

bool CRunWatch::End() noexcept {
    const std::lock_guard lock(m_mutex);
    m_pCancel = nullptr;
    return m_bGivenUp;
}

std::optional<std::uint64_t> CRunWatch::CallInFlight() const noexcept {
    const std::lock_guard lock(m_mutex);
    if (m_pCancel == nullptr || m_bGivenUp) {
        return std::nullopt;
    }
    return m_nCall;
}

void CRunWatch::Cancel(std::uint64_t call, bool timedOut) noexcept {
    const std::lock_guard lock(m_mutex);
    if (m_pCancel == nullptr || m_nCall != call || m_bCancelled) {
        return;
    }
    m_bCancelled = true;
    m_bTimedOut = timedOut;
    // The cancel returns at once (it runs on a thread of its own), and the call cannot end
    // while the lock is held, so what it cancels is still there.
    try {
        (*m_pCancel)();
    } catch (...) {
        // Not cancelled: the grace still bounds the wait.
    }
}

std::optional<CRunOutcome> CRunWatch::GiveUp(std::uint64_t call,
                                             std::optional<std::chrono::seconds> unansweredFor) {
    const std::lock_guard lock(m_mutex);
    if (m_pCancel == nullptr || m_nCall != call || m_bGivenUp) {
        return std::nullopt;
    }
    m_bGivenUp = true;
    if (!unansweredFor) {
        return CRunOutcome::Of(std::make_exception_ptr(CRunStopped(m_ifGivenUp)), m_pTable,
                               m_bCommitsAtEnd);
    }
    CRunOutcome outcome =
        CRunOutcome::Of(std::make_exception_ptr(CConnectionLost(
                            CDBException(NoAnswerText(*unansweredFor, true)), m_ifGivenUp)),
                        m_pTable, m_bCommitsAtEnd);
    outcome.noAnswer = true;
    return outcome;
}

void CRunWatch::SetSessionEnder(std::function<bool()> ender) {
    const std::lock_guard lock(m_mutex);
    m_endSession = std::move(ender);
}

std::function<bool()> CRunWatch::SessionEnder() const {
    const std::lock_guard lock(m_mutex);
    return m_endSession;
}

bool CRunWatch::IsGivenUp() const noexcept {
    const std::lock_guard lock(m_mutex);
    return m_bGivenUp;
}
