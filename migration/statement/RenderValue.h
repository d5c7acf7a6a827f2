#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dbaccess/access/jet/FieldValue.h"

// The value text of a field value for a column of the given kind, not yet quoted:
// COLKIND_INTEGER "%d" (-5, 2147483647), COLKIND_TEXT the text itself up to its first zero
// byte, COLKIND_DATETIME "yyyy/mm/dd hh:mm:ss" with the year in as many digits as it has
// ("-1/-1/-1 -1:-1:-1" for a date outside 100-01-01 to 9999-12-31). A value of another type
// is converted first (see ValueConversion.h). COLKIND_NULL and unknown kinds give an empty
// text. The caller keeps NULL values away: a NULL renders like an Empty value.
// Throws COleException when the value cannot be converted to the kind's type.
std::string RenderValue(const CFieldValue& value, int kind);
// The same, but a Text value rendered for COLKIND_TEXT gives up its text instead of copying it.
std::string RenderValue(CFieldValue&& value, int kind, bool* cutAtZeroByte = nullptr);

// The SQL literal of a value text: COLKIND_TEXT and COLKIND_DATETIME enclose it in "'" with
// every "'" doubled (nothing else is escaped); COLKIND_NULL gives NULL whatever the text;
// COLKIND_INTEGER and unknown kinds give the text unchanged.
std::string QuoteValue(const std::string& text, int kind);

// The length of QuoteValue(text, kind), without building it.
std::size_t QuotedLength(std::string_view text, int kind) noexcept;

// Appends QuoteValue(text, kind) to out, without a temporary.
void AppendQuotedValue(std::string& out, std::string_view text, int kind);
