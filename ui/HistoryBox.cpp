#include "ui/HistoryBox.h"

#include <optional>
#include <vector>

#include <wx/button.h>
#include <wx/textctrl.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"
#include "ui/DialogLayout.h"
#include "ui/Resource.h"
#include "ui/Texts.h"
#include "ui/Utf8.h"

namespace {

// As many runs as the command line lists unless told otherwise.
constexpr std::size_t kRunsShown = 20;

// A catalogue text that ends with the line break the command line prints, without it.
std::string Sentence(const char* text) {
    std::string sentence = text;
    if (!sentence.empty() && sentence.back() == '\n') {
        sentence.pop_back();
    }
    return sentence;
}

}  // namespace

std::string RunHistoryText() {
    std::vector<std::string> lines;
    try {
        lines = ReadRunHistory(kRunsShown);
    } catch (const CException& e) {
        return e.GetErrorMessage();
    }
    if (lines.empty()) {
        return Sentence(Tr("No run is recorded yet.\n"));
    }
    std::string text;
    for (const std::string& line : lines) {
        const std::optional<CHistoryRecord> record = ParseHistoryLine(line);
        text +=
            (text.empty() ? "" : "\n") + (record ? DescribeHistoryRecord(*record)
                                                 : Sentence(Tr("(a line that cannot be read)\n")));
    }
    return text;
}

CHistoryBox::CHistoryBox(wxWindow* parent)
    : wxDialog(parent, IDD_HISTORY, wxString::FromUTF8(texts::kHistoryCaption), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(DialogFont());
    SetClientSize(DialogUnitsToPixels(*this, 440, 180));

    // One line a run, each beginning with its date; a long one wraps, so that how the run
    // ended, at its end, is always in view.
    const wxRect listRect = DialogUnitsToPixels(*this, 7, 7, 426, 145);
    auto* list = new wxTextCtrl(this, IDC_HISTORY, WxFromUtf8(RunHistoryText()),
                                listRect.GetPosition(), listRect.GetSize(),
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_BESTWRAP | wxVSCROLL);
    // The newest run, at the end, in view.
    list->SetInsertionPointEnd();
    list->ShowPosition(list->GetLastPosition());

    const wxRect okRect = DialogUnitsToPixels(*this, 383, 158, 50, 16);
    auto* ok = new wxButton(this, wxID_OK, wxString::FromUTF8("OK"), okRect.GetPosition(),
                            okRect.GetSize());
    ok->SetDefault();
    ok->SetFocus();
    SetEscapeId(wxID_OK);

    CentreOnParent();
}
