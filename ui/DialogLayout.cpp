#include "ui/DialogLayout.h"

#include <cstring>
#include <iterator>
#include <memory>

#include <fontconfig/fontconfig.h>
#include <wx/window.h>

namespace {

constexpr int kPointSize = 9;
constexpr const char* kFaces[] = {"MS UI Gothic", "IPAPGothic", "Noto Sans CJK JP"};

struct CFcPatternDeleter {
    void operator()(FcPattern* pattern) const noexcept { FcPatternDestroy(pattern); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, CFcPatternDeleter>;

// fontconfig answers every request with some face, so a match proves nothing by itself: the
// family is there only when the matched font carries it among its names. A font has a name
// per language, and which comes first depends on the locale (IPAPGothic is "IPA Pゴシック"
// first under ja_JP), so every name counts.
bool HasFontFamily(const char* family) {
    const FcPatternPtr pattern(FcPatternCreate());
    if (!pattern ||
        !FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family))) {
        return false;
    }
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) {
        return false;
    }
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (std::strcmp(reinterpret_cast<const char*>(name), family) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

wxFont DialogFont() {
    const char* face = kFaces[std::size(kFaces) - 1];
    for (const char* candidate : kFaces) {
        if (HasFontFamily(candidate)) {
            face = candidate;
            break;
        }
    }
    // Pango looks the family up through fontconfig, which knows a font by any of its names.
    return wxFont(wxFontInfo(kPointSize).FaceName(wxString::FromUTF8(face)));
}

wxRect DialogUnitsToPixels(const wxWindow& dialog, int x, int y, int width, int height) {
    const wxPoint topLeft = dialog.ConvertDialogToPixels(wxPoint(x, y));
    const wxPoint bottomRight = dialog.ConvertDialogToPixels(wxPoint(x + width, y + height));
    return wxRect(topLeft, bottomRight - wxPoint(1, 1));
}

wxSize DialogUnitsToPixels(const wxWindow& dialog, int width, int height) {
    return dialog.ConvertDialogToPixels(wxSize(width, height));
}
