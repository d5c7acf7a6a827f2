#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The run history: one JSON line per run of the dialog or the command line, appended to
// history.jsonl in RecordsFolder() (DifferencesFile.h), so that a run can be accounted for
// after its window or terminal is gone. The file is mode 0600 in a folder of mode 0700, never
// reached through a link; each line goes in with one write on a file opened for appending, so
// that two runs ending at once leave two whole lines. It keeps the last kHistoryRuns runs:
// older ones are dropped by writing the rest to a new file that replaces it.
inline constexpr std::size_t kHistoryRuns = 1000;

// The history line of a run: the run summary's JSON object (CRunSummary::ToJson) with, in
// front, when the run ended (local time, "yyyy-mm-ddThh:mm:ss+hh:mm"), the OS user and host,
// the source file and the mode ("new": into empty tables, "append", "replace").
std::string HistoryLine(const std::string& summaryJson, const std::string& file,
                        const std::string& mode);

// Appends line (one JSON object, without a newline). Never throws and never fails a run:
// returns the warning to show when the line could not be written, or an empty text.
std::string AppendRunHistory(const std::string& line) noexcept;

// The last count lines of the history, oldest first; none when there is no history yet.
// Throws CException naming the file when it cannot be read.
std::vector<std::string> ReadRunHistory(std::size_t count);
