#pragma once

#include <cstdint>
#include <span>
#include <string>

// Decodes the text of a Jet 4 (Access 2000) Text or Memo value to UTF-8. The bytes are either
// UTF-16LE or, when they start with FF FE, Access's "compressed" form: runs that switch at each
// 0x00 byte between one byte per character (U+0001..U+00FF) and UTF-16LE, starting with one
// byte per character. Surrogate pairs become one 4-byte UTF-8 sequence; a lone surrogate
// becomes U+FFFD; a trailing odd byte is dropped. Never fails.
std::string DecodeJet4Text(std::span<const uint8_t> bytes);

// Appends one Unicode code point to out as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
