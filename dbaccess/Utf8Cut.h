#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Cutting UTF-8 text to a number of bytes without splitting a character: a byte 10xxxxxx
// continues the character before it, so a cut there steps back (or, for the start of a kept
// tail, forward) over such bytes. Text that is not valid UTF-8 is still cut within the limit.

// The largest length, at most maxBytes, at which text can be cut; text.size() when it fits.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) noexcept;

// The first position at or after at where a character starts (text.size() at the end).
std::size_t Utf8CharacterStart(std::string_view text, std::size_t at) noexcept;

// text cut to Utf8CutLength(text, maxBytes).
std::string CutUtf8(std::string text, std::size_t maxBytes);
