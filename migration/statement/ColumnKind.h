#pragma once

// How a column's value is rendered and written in a row statement. The table catalogue gives
// each column one of the first three; COLKIND_NULL is never passed in: AddItem gives it to an
// entry whose value is NULL, whatever kind the column has.
constexpr int COLKIND_INTEGER = 0;   // decimal integer, written without quotes
constexpr int COLKIND_TEXT = 1;      // text, written in single quotes
constexpr int COLKIND_DATETIME = 2;  // "yyyy/mm/dd hh:mm:ss", written in single quotes
constexpr int COLKIND_NULL = 3;      // the keyword NULL
