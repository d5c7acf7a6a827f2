#include "migration/RunWatch.h"

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

void CRunWatch::Cancel(std::uint64_t call) noexcept {
    const std::lock_guard lock(m_mutex);
    if (m_pCancel == nullptr || m_nCall != call || m_bCancelled) {
        return;
    }
    m_bCancelled = true;
    // The cancel returns at once (it runs on a thread of its own), and the call cannot end
    // while the lock is held, so what it cancels is still there.
    try {
        (*m_pCancel)();
    } catch (...) {
        // Not cancelled: the grace still bounds the wait.
    }
}

std::optional<CRunOutcome> CRunWatch::GiveUp(std::uint64_t call) {
    const std::lock_guard lock(m_mutex);
    if (m_pCancel == nullptr || m_nCall != call || m_bGivenUp) {
        return std::nullopt;
    }
    m_bGivenUp = true;
    return CRunOutcome::Of(std::make_exception_ptr(CRunStopped(m_ifGivenUp)), m_pTable,
                           m_bCommitsAtEnd);
}

bool CRunWatch::IsGivenUp() const noexcept {
    const std::lock_guard lock(m_mutex);
    return m_bGivenUp;
}

void CRunWatch::SetSessionEnder(std::function<bool()> ender) {
    const std::lock_guard lock(m_mutex);
    m_sessionEnder = std::move(ender);
}

std::function<bool()> CRunWatch::SessionEnder() const {
    const std::lock_guard lock(m_mutex);
    return m_sessionEnder;
}
