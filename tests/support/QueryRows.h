#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testtarget {

// One row read back from a target: each value byte-exact as stored, NULL as std::nullopt.
using Row = std::vector<std::optional<std::string>>;
using Rows = std::vector<Row>;

// The separators the command-line clients (psql, sqlite3) are told to print. They are
// control characters that test data never holds; a value that is exactly kNullMarker
// reads back as NULL.
inline constexpr char kFieldSeparator[] = "\x1f";
inline constexpr char kRowSeparator[] = "\x1e";
inline constexpr char kNullMarker[] = "\x1a";

// Splits client output into rows. Zero rows is empty output; the "\n" (psql) or row
// separator (sqlite3) after the last row is dropped.
Rows ParseClientRows(std::string_view output);

}  // namespace testtarget
