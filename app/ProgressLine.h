#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "migration/EngineInterfaces.h"

// One line on a terminal, redrawn in place with "\r": the table in progress, its rows done
// and total, the run's rows per second and the time left for the whole run, e.g.
// "KEN_ALL  52,000 / 126,029 rows  2,431 rows/s  0:48 left"; while the copy is verified, the
// rows read back of all the rows to compare, e.g. "verifying  52,000 / 166,140 rows  9,850
// rows/s  0:12 left"; in Japanese "KEN_ALL  52,000 / 126,029 件  2,431 件/秒  残り 0:48". Writing
// errors are ignored.
class CProgressLine {
public:
    explicit CProgressLine(std::FILE* out);

    // The run starts now, with this many rows in all its tables.
    void StartRun(size_t runTotal);
    // Redraws the line; rowsDone counts every row of the run inserted so far.
    void Show(const CTableProgress& table, size_t rowsDone);
    // The verification starts now, with this many rows to compare; ShowVerify follows it.
    void StartVerify(size_t total);
    // Redraws the line for a verification that has compared done of total rows.
    void ShowVerify(size_t done, size_t total);
    // Blanks the line, so that other output starts at its beginning.
    void Clear();

private:
    void Draw(const std::string& text);
    // "  2,431 rows/s  0:48 left" for done of total rows since m_started; empty until the
    // rate means something.
    std::string RateAndTimeLeft(size_t done, size_t total) const;

    std::FILE* m_out;
    // The line's words in the user's language, looked up once.
    std::string m_tableFormat;
    std::string m_verifyFormat;
    std::string m_rateFormat;
    size_t m_nRunTotal = 0;
    size_t m_nWidth = 0;  // characters shown now; 0 when the line is blank
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

// "0:48", "12:05", "1:02:03".
std::string FormatDuration(long seconds);
