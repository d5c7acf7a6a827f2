#pragma once

#include <cstdint>
#include <span>
#include <string>

// Converts CP932 (Windows Japanese, with the NEC and IBM extensions) bytes to UTF-8 through
// iconv's "CP932"; glibc's "SHIFT-JIS" would reject the extensions and map 0x8160 to U+301C
// instead of U+FF5E. A byte sequence CP932 does not define becomes U+FFFD. Throws
// CDaoException when the system's iconv cannot convert CP932 at all.
std::string Cp932ToUtf8(std::span<const uint8_t> bytes);
