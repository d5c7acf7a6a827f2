#include "ui/DialogLayout.h"

#include <wx/fontenum.h>
#include <wx/window.h>

namespace {

constexpr int kPointSize = 9;
constexpr const char* kFaces[] = {"MS UI Gothic", "IPAPGothic", "Noto Sans CJK JP"};

}  // namespace

wxFont DialogFont() {
    wxString face;
    for (const char* candidate : kFaces) {
        face = wxString::FromUTF8(candidate);
        if (wxFontEnumerator::IsValidFacename(face)) {
            break;
        }
    }
    return wxFont(wxFontInfo(kPointSize).FaceName(face));
}

wxRect DialogUnitsToPixels(const wxWindow& dialog, int x, int y, int width, int height) {
    const wxPoint topLeft = dialog.ConvertDialogToPixels(wxPoint(x, y));
    const wxPoint bottomRight = dialog.ConvertDialogToPixels(wxPoint(x + width, y + height));
    return wxRect(topLeft, bottomRight - wxPoint(1, 1));
}

wxSize DialogUnitsToPixels(const wxWindow& dialog, int width, int height) {
    return dialog.ConvertDialogToPixels(wxSize(width, height));
}
