#include "ui/ErrorReport.h"

#include <algorithm>
#include <new>
#include <vector>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
// Needs wx/msgdlg.h first.
#include <wx/generic/msgdlgg.h>

#include "dbaccess/Exceptions.h"
#include "ui/Utf8.h"

namespace {

constexpr const char* kNoTextMessage = "Internal application error.";

// The widest a line of a box's text may be, in pixels; the box itself, with its icon and
// margins, needs about kBoxMargins more.
constexpr int kMaxTextWidth = 600;
constexpr int kBoxMargins = 120;

// Japanese punctuation that must not begin a line.
bool IsClosingPunctuation(wxUniChar c) {
    return wxString::FromUTF8("、。，．」』）】〕・ー？！").Find(c) != wxNOT_FOUND;
}

// The text cut into pieces after which a line may break: after a blank, after "/" (paths
// have no blanks), and between Japanese characters. Closing punctuation stays with the
// piece before it.
std::vector<wxString> BreakablePieces(const wxString& paragraph) {
    std::vector<wxString> pieces;
    wxString piece;
    for (const wxUniChar c : paragraph) {
        const bool wide = !c.IsAscii();
        if (wide && !piece.empty() && !IsClosingPunctuation(c)) {
            pieces.push_back(piece);
            piece.clear();
        }
        piece += c;
        if (wide || c == ' ' || c == '/') {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece);
    }
    // Closing punctuation that became a piece of its own joins the piece before it.
    std::vector<wxString> joined;
    for (const wxString& p : pieces) {
        if (!joined.empty() && p.length() == 1 && IsClosingPunctuation(p[0])) {
            joined.back() += p;
        } else {
            joined.push_back(p);
        }
    }
    return joined;
}

}  // namespace

wxString WrapMessageText(const wxString& text, int maxWidth,
                         const std::function<int(const wxString&)>& width) {
    wxArrayString lines;
    for (const wxString& paragraph : wxSplit(text, '\n', '\0')) {
        wxString line;
        for (wxString piece : BreakablePieces(paragraph)) {
            if (!line.empty() && width(line + piece) > maxWidth) {
                lines.push_back(line.Trim(true));
                line.clear();
                piece.Trim(false);
            }
            line += piece;
            // A piece wider than a line by itself is cut wherever it has to be.
            while (line.length() > 1 && width(line) > maxWidth) {
                size_t fits = 1;
                while (fits + 1 < line.length() && width(line.Left(fits + 1)) <= maxWidth) {
                    ++fits;
                }
                lines.push_back(line.Left(fits));
                line.erase(0, fits);
            }
        }
        lines.push_back(line.Trim(true));
    }
    return wxJoin(lines, '\n', '\0');
}

namespace {

// wx's generic message box (GTK's own shows no icon) with a text that wraps at a readable
// width and never makes the box wider than the screen. Ctrl+C copies the whole text, as it
// was given, to the clipboard.
class CErrorBox : public wxGenericMessageDialog {
public:
    CErrorBox(const wxString& text, const wxString& caption, long style)
        : wxGenericMessageDialog(nullptr, Wrap(text), caption, style), m_text(text) {
        Bind(wxEVT_CHAR_HOOK, &CErrorBox::OnCharHook, this);
    }

private:
    static wxString Wrap(const wxString& text) {
        const int screenWidth = wxDisplay(0u).GetClientArea().width;
        const int maxWidth = std::max(100, std::min(kMaxTextWidth, screenWidth - kBoxMargins));
        wxScreenDC dc;
        dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
        return WrapMessageText(text, maxWidth,
                               [&dc](const wxString& line) { return dc.GetTextExtent(line).x; });
    }

    void OnCharHook(wxKeyEvent& event) {
        if (event.GetModifiers() == wxMOD_CONTROL &&
            (event.GetKeyCode() == 'C' || event.GetKeyCode() == WXK_INSERT)) {
            CopyText();
            return;
        }
        event.Skip();
    }

    void CopyText() {
        wxClipboard* clipboard = wxTheClipboard;
        if (clipboard->Open()) {
            clipboard->SetData(new wxTextDataObject(m_text));
            // Keeps the text after the program ends, where a clipboard manager runs.
            clipboard->Flush();
            clipboard->Close();
        }
    }

    wxString m_text;
};

CHandlerErrorReport Show(std::string text, long icon) {
    if (text.empty()) {
        text = kNoTextMessage;
    }
    return {HandlerErrorAction::Show, std::move(text), icon};
}

}  // namespace

CHandlerErrorReport DescribeHandlerError(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const CUserException&) {
        return {HandlerErrorAction::Ignore, {}, 0};
    } catch (const CMemoryException& e) {
        return Show(e.GetErrorMessage(), wxICON_EXCLAMATION);
    } catch (const CException& e) {
        return Show(e.GetErrorMessage(), wxICON_STOP);
    } catch (const std::bad_alloc&) {
        return Show(CMemoryException().GetErrorMessage(), wxICON_EXCLAMATION);
    } catch (...) {
        return {};
    }
}

void ShowErrorBox(const std::string& text, long icon) {
    const wxString caption = wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString();
    CErrorBox box(WxFromUtf8(text), caption, wxOK | icon);
    box.ShowModal();
}

bool ReportHandlerError(const std::exception_ptr& error) {
    const CHandlerErrorReport report = DescribeHandlerError(error);
    if (report.action == HandlerErrorAction::Show) {
        ShowErrorBox(report.text, report.icon);
    }
    return report.action != HandlerErrorAction::Escalate;
}
