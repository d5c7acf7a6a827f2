#include "ui/ExistingRowsQuestion.h"

#include <wx/app.h>
#include <wx/cursor.h>
#include <wx/msgdlg.h>

#include "migration/CountText.h"

std::string ExistingRowsQuestion(const CExistingRows& existing) {
    std::string text = "移行先のテーブルには、すでにデータがあります。どうしますか？\n";
    for (const CTargetTableRows& table : existing.tables) {
        if (!table.rows) {
            text += "\n" + table.table + ": 件数を数えられません";
        } else if (*table.rows > 0) {
            text += "\n" + table.table + ": " + GroupThousands(*table.rows) + " 件";
        }
    }
    text += "\n\n";
    if (existing.canReplace) {
        text +=
            "置き換える: 既存のデータをすべて削除してから、今回のデータを登録します"
            "（途中で失敗・中止した場合は元のデータのまま残ります）。\n";
    }
    text +=
        "追加する: 既存のデータを残したまま今回のデータを追加します"
        "（同じデータが二重に登録されることがあります）。";
    if (!existing.canReplace) {
        text += "\n\nこの移行先はトランザクションを使えないため、置き換えはできません。";
    }
    return text;
}

ExistingRowsChoice ShowExistingRowsQuestion(wxWindow* parent, const CExistingRows& existing) {
    const wxBusyCursorSuspender notBusy;  // the question waits for the user, not the run
    const wxString text = wxString::FromUTF8(ExistingRowsQuestion(existing));
    const wxString caption = wxTheApp->GetAppName();
    const wxString append = wxString::FromUTF8("追加する");
    const wxString cancel = wxString::FromUTF8("キャンセル");
    if (!existing.canReplace) {
        wxMessageDialog question(parent, text, caption,
                                 wxOK | wxCANCEL | wxCANCEL_DEFAULT | wxICON_QUESTION);
        question.SetOKCancelLabels(append, cancel);
        return question.ShowModal() == wxID_OK ? ExistingRowsChoice::Append
                                               : ExistingRowsChoice::Cancel;
    }
    wxMessageDialog question(parent, text, caption,
                             wxYES_NO | wxCANCEL | wxCANCEL_DEFAULT | wxICON_QUESTION);
    question.SetYesNoCancelLabels(wxString::FromUTF8("置き換える"), append, cancel);
    switch (question.ShowModal()) {
        case wxID_YES:
            return ExistingRowsChoice::Replace;
        case wxID_NO:
            return ExistingRowsChoice::Append;
        default:
            return ExistingRowsChoice::Cancel;
    }
}
