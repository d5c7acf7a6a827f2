#pragma once

#include <chrono>

// Says when about 100 ms have passed since it last did. Reading the steady clock costs a few
// tens of nanoseconds, next to nothing beside a row.
class CProgressClock {
public:
    bool Due() {
        // The clock is read every 16 rows: a row takes microseconds, a read of the clock
        // a good part of one.
        if (++m_nRows % 16 != 0) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < kInterval) {
            return false;
        }
        m_last = now;
        return true;
    }

private:
    static constexpr auto kInterval = std::chrono::milliseconds(100);

    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
    unsigned m_nRows = 0;
};
