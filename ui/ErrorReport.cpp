#include "ui/ErrorReport.h"

#include <algorithm>
#include <new>
#include <string_view>
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
#include "migration/EngineInterfaces.h"
#include "ui/ServerTroubleReport.h"
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
    CErrorBox(const wxString& text, const wxString& caption, long style,
              const wxString& detail = wxString())
        : wxGenericMessageDialog(nullptr, Wrap(text, !detail.empty()), caption, style),
          m_text(detail.empty() ? text : text + wxS("\n\n") + detail) {
        if (!detail.empty()) {
            SetExtendedMessage(Wrap(detail));
        }
        Bind(wxEVT_CHAR_HOOK, &CErrorBox::OnCharHook, this);
    }

private:
    // bold: the box shows the text larger and in bold, as wx shows a message above an
    // extended one.
    static wxString Wrap(const wxString& text, bool bold = false) {
        const int screenWidth = wxDisplay(0u).GetClientArea().width;
        const int maxWidth = std::max(100, std::min(kMaxTextWidth, screenWidth - kBoxMargins));
        wxScreenDC dc;
        wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
        if (bold) {
            font.MakeLarger().MakeBold();
        }
        dc.SetFont(font);
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
    // A Japanese text of ours says what happened and what to do on its first line, ended with
    // a full stop, and gives the technical detail (the driver's text, what exactly is damaged)
    // on the lines after it: those go below, as the box's detail.
    constexpr std::string_view kFullStop = "。";
    // What libmdb said comes in parentheses after such a sentence: it is detail too.
    constexpr std::string_view kLibraryDetail = "。 (libmdb: ";
    if (const std::size_t said = text.find(kLibraryDetail);
        said != std::string::npos && text.back() == ')') {
        // "libmdb: …", without the parentheses.
        std::string detail = text.substr(said + kFullStop.size() + 2);
        detail.pop_back();
        text.erase(said + kFullStop.size());
        return {HandlerErrorAction::Show, std::move(text), icon, std::move(detail)};
    }
    const std::size_t lineEnd = text.find('\n');
    if (lineEnd != std::string::npos && lineEnd >= kFullStop.size() &&
        std::string_view(text).substr(lineEnd - kFullStop.size(), kFullStop.size()) == kFullStop) {
        std::string detail = text.substr(lineEnd + 1);
        while (!detail.empty() && detail.back() == '\n') {
            detail.pop_back();
        }
        if (!detail.empty()) {
            text.erase(lineEnd);
            return {HandlerErrorAction::Show, std::move(text), icon, std::move(detail)};
        }
    }
    return {HandlerErrorAction::Show, std::move(text), icon, {}};
}

// A copy whose tables, read back, do not hold the rows as they were sent. Japanese in every
// locale, as the dialog's log lines are; the error's own text is the detail.
constexpr const char* kCopyDiffers =
    "移行した行はすべて確定しましたが、移行先から読み戻した値が移行元と一致しません。"
    "データは移行先にそのまま残っています。\n"
    "移行先のテーブルのトリガー、列の長さ、照合順序（文字セット）を確かめてから、"
    "もう一度移行して「置き換える」を選んでください。";

}  // namespace

CHandlerErrorReport DescribeHandlerError(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const CUserException&) {
        return {HandlerErrorAction::Ignore, {}, 0, {}};
    } catch (const CCopyDiffers& e) {
        return {HandlerErrorAction::Show, kCopyDiffers, wxICON_STOP, e.GetErrorMessage()};
    } catch (const CServerTroubleError& e) {
        return {HandlerErrorAction::Show, e.GetErrorMessage(), wxICON_STOP, e.Detail()};
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

void ShowErrorBox(const std::string& text, long icon, const std::string& detail) {
    const wxString caption = wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString();
    CErrorBox box(WxFromUtf8(text), caption, wxOK | icon, WxFromUtf8(detail));
    box.ShowModal();
}

bool ReportHandlerError(const std::exception_ptr& error) {
    const CHandlerErrorReport report = DescribeHandlerError(error);
    if (report.action == HandlerErrorAction::Show) {
        ShowErrorBox(report.text, report.icon, report.detail);
    }
    return report.action != HandlerErrorAction::Escalate;
}
