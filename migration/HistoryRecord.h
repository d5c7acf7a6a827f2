#pragma once

#include <cstddef>
#include <optional>
#include <string>

// One run of the history (RunHistory.h), as the history list shows it.
struct CHistoryRecord {
    std::string time;  // "yyyy-mm-ddThh:mm:ss+hh:mm"
    std::string user;
    std::string host;
    std::string file;          // the source file
    std::string target;        // as a user recognises it
    std::string mode;          // "new", "append" or "replace"
    std::string status;        // the summary's status
    std::size_t rows = 0;      // the rows the target acknowledged, over every table
    std::string verification;  // "equal", "differs", "not run"; empty: not asked for
};

// The record of one history line; none when the line is not a JSON object of that shape.
std::optional<CHistoryRecord> ParseHistoryLine(const std::string& line);

// One line for a person, in the user's language: when (to the minute, local time as
// recorded), the file's name, the target, the mode, the rows and how the run ended, e.g.
// "2026-12-10 14:02  sample.mdb → DSN Pomvale01 (append)  166,140 rows  completed".
std::string DescribeHistoryRecord(const CHistoryRecord& record);
