#include "ui/Utf8.h"

#include <wx/strconv.h>

wxString WxFromUtf8(std::string_view text) {
    wxString converted = wxString::FromUTF8(text.data(), text.size());
    if (converted.empty() && !text.empty()) {
        const wxMBConvUTF8 lenient(wxMBConvUTF8::MAP_INVALID_UTF8_TO_OCTAL);
        converted = wxString(text.data(), lenient, text.size());
    }
    return converted;
}

std::string Utf8FromWx(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}
