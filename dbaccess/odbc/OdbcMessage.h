#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest exception text built from diagnostic records, in bytes.
constexpr std::size_t kMaxDiagnosticTextBytes = 511;

// Removes the origin tags that the driver manager and drivers put before a message
// ("[unixODBC][Driver Manager]Can't open lib" gives "Can't open lib"): each "[" up to the
// next "]" at the start, and one blank after each tag. A "[" without a "]" is kept.
std::string StripOriginTags(std::string_view message);

// The text of a CDBException: every message with its tags removed and a "\n" after it,
// the whole cut to kMaxDiagnosticTextBytes.
std::string ComposeDiagnosticText(const std::vector<std::string>& messages);
