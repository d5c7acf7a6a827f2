#pragma once

#include <string>
#include <string_view>

#include <wx/string.h>

// The program keeps its texts as UTF-8 std::string; the controls take wxString.

// Converts UTF-8 to wxString. Bytes that are not valid UTF-8 (a driver message in another
// encoding, say) appear as octal escapes instead of turning the whole text empty, which is
// what wxString::FromUTF8 does with them.
wxString WxFromUtf8(std::string_view text);

// Converts a wxString to UTF-8.
std::string Utf8FromWx(const wxString& text);
