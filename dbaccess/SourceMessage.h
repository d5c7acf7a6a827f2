#pragma once

#include <string>

// The longest message a source error carries, as the engine's error list gives it.
constexpr size_t kMaxSourceMessageBytes = 511;

// Fits a source error message into kMaxSourceMessageBytes without splitting a UTF-8
// character, giving up the least useful parts first: the library's own detail
// (" (libmdb: ...)"), then the middle of the file's path (the longest quoted part that holds a
// "/"), and only then the end of the message. Our sentence and the table, column and row it
// names stay whole. A message that fits is returned unchanged.
std::string FitSourceMessage(std::string message);
