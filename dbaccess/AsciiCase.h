#pragma once

#include <string>

// Lower case for the ASCII letters only. The names compared this way (driver libraries, keys of
// a connection string, SQL keywords, column names, error texts) are matched on their ASCII
// letters; std::tolower follows the locale, which under a single-byte one would change the
// bytes of UTF-8 text.

inline char AsciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string text) {
    for (char& c : text) {
        c = AsciiLower(c);
    }
    return text;
}
