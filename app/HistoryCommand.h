#pragma once

#include <cstddef>

// brimlow-migrate --history [N]: prints the last count runs of the run history, oldest first,
// one line each in the user's language (DescribeHistoryRecord). Returns the exit status: 0,
// or 1 when the history cannot be read (the reason on stderr).
int PrintRunHistory(std::size_t count);
