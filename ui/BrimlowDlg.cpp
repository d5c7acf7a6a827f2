#include "ui/BrimlowDlg.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/iconbndl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "ui/AccessFilePicker.h"
#include "ui/AppIcon.h"
#include "ui/DialogLayout.h"
#include "ui/Resource.h"
#include "ui/Texts.h"
#include "ui/Utf8.h"

namespace {

// The caption bar's system menu and close box, no resize border, no minimise or maximise
// box. No parent: the dialog is the program's main window, with its own taskbar entry.
constexpr long kDialogStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT;

// A vertical scroll bar and no horizontal one, so long lines wrap. (wxGTK ignores
// wxALWAYS_SHOW_SB here: the bar appears once the text outgrows the box.)
constexpr long kLogStyle =
    wxTE_MULTILINE | wxTE_READONLY | wxTE_BESTWRAP | wxVSCROLL | wxALWAYS_SHOW_SB;

}  // namespace

CBrimlowDlg::CBrimlowDlg()
    : wxDialog(nullptr, IDD_MAIN, wxString::FromUTF8(texts::kCaption), wxDefaultPosition,
               wxDefaultSize, kDialogStyle),
      m_hIcon(LoadAppIcon()) {
    // Dialog units derive from the font, so it comes before any conversion.
    SetFont(DialogFont());
    SetClientSize(DialogUnitsToPixels(*this, 319, 229));
    CreateControls();

    Bind(wxEVT_INIT_DIALOG, &CBrimlowDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CBrimlowDlg::OnStart, this, IDC_START);
    Bind(wxEVT_BUTTON, &CBrimlowDlg::OnBrowse, this, IDC_BROWSE);
    Bind(wxEVT_BUTTON, &CBrimlowDlg::OnExit, this, wxID_OK);
    // Every command that OnSysCommand takes for the About item, not only the menu's own.
    Bind(wxEVT_MENU, &CBrimlowDlg::OnAboutCommand, this, IDM_ABOUTBOX, IDM_ABOUTBOX + 0xF);
    Bind(wxEVT_MENU, &CBrimlowDlg::OnHistoryCommand, this, IDM_HISTORY);
    Bind(wxEVT_CONTEXT_MENU, &CBrimlowDlg::OnContextMenu, this);
    m_editLog->Bind(wxEVT_CONTEXT_MENU, &CBrimlowDlg::OnTextContextMenu, this);
    m_editPath->Bind(wxEVT_CONTEXT_MENU, &CBrimlowDlg::OnTextContextMenu, this);
    Bind(wxEVT_CHAR_HOOK, &CBrimlowDlg::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &CBrimlowDlg::OnClose, this);

    CentreOnScreen();
}

// The controls in the order of the dialog template, which is also the tab order.
void CBrimlowDlg::CreateControls() {
    const wxRect exitRect = DialogUnitsToPixels(*this, 262, 206, 50, 16);
    m_btnExit = new wxButton(this, wxID_OK, wxString::FromUTF8(texts::kExit),
                             exitRect.GetPosition(), exitRect.GetSize());

    const wxRect startRect = DialogUnitsToPixels(*this, 7, 27, 305, 60);
    m_btnStart = new wxButton(this, IDC_START, wxString::FromUTF8(texts::kStart),
                              startRect.GetPosition(), startRect.GetSize());
    ShowNextTarget();
    m_btnStart->Bind(wxEVT_ENTER_WINDOW, &CBrimlowDlg::OnStartButtonEnter, this);

    const wxRect logRect = DialogUnitsToPixels(*this, 7, 96, 305, 102);
    m_editLog = new wxTextCtrl(this, IDC_LOG, wxString(), logRect.GetPosition(), logRect.GetSize(),
                               kLogStyle);

    // No wxTE_PROCESS_ENTER: Enter in the path box presses the default (exit) button.
    const wxRect pathRect = DialogUnitsToPixels(*this, 58, 7, 193, 14);
    m_editPath =
        new wxTextCtrl(this, IDC_PATH, wxString(), pathRect.GetPosition(), pathRect.GetSize());

    // A GTK label draws its text at the top of its box; centre it vertically by hand.
    const wxString label = wxString::FromUTF8(texts::kPathLabel);
    const wxRect labelRect = DialogUnitsToPixels(*this, 7, 7, 47, 14);
    m_labelPath = new wxStaticText(this, wxID_ANY, label, labelRect.GetPosition(),
                                   labelRect.GetSize(), wxST_NO_AUTORESIZE);
    const int textHeight =
        std::min(m_labelPath->GetTextExtent(label).GetHeight(), labelRect.height);
    m_labelPath->SetSize(labelRect.x, labelRect.y + (labelRect.height - textHeight) / 2,
                         labelRect.width, textHeight);

    const wxRect browseRect = DialogUnitsToPixels(*this, 262, 7, 50, 14);
    m_btnBrowse = new wxButton(this, IDC_BROWSE, wxString::FromUTF8(texts::kBrowse),
                               browseRect.GetPosition(), browseRect.GetSize());

    m_btnExit->SetDefault();
}

void CBrimlowDlg::OnInitDialog(wxInitDialogEvent& /*event*/) {
    UpdateData(false);
    wxIconBundle icons(m_hIcon);
    icons.AddIcon(LoadSmallAppIcon());
    SetIcons(icons);
    m_btnExit->SetFocus();
}

bool CBrimlowDlg::UpdateData(bool saveAndValidate) {
    DoDataExchange(saveAndValidate);
    return true;
}

void CBrimlowDlg::DoDataExchange(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strLog = Utf8FromWx(m_editLog->GetValue());
        m_strPath = Utf8FromWx(m_editPath->GetValue());
    } else {
        m_editLog->ChangeValue(WxFromUtf8(m_strLog));
        m_editPath->ChangeValue(WxFromUtf8(m_strPath));
    }
}

bool CBrimlowDlg::TransferDataToWindow() {
    return UpdateData(false);
}

bool CBrimlowDlg::TransferDataFromWindow() {
    return UpdateData(true);
}

void CBrimlowDlg::AppendLog(const char* text) {
    m_strLog += '\n';
    if (text != nullptr) {
        m_strLog += text;
    }
    UpdateData(false);
    ShowLogEnd();
}

void CBrimlowDlg::ShowLogEnd() {
    m_editLog->SetInsertionPointEnd();
    m_editLog->ShowPosition(m_editLog->GetLastPosition());
}

void CBrimlowDlg::OnBrowse(wxCommandEvent& /*event*/) {
    // The chooser opens where the file in the path box is, when there is one.
    CAccessFilePicker picker(this, CAccessFilePicker::FolderOfExistingFile(m_editPath->GetValue()));
    if (picker.ShowModal() == wxID_OK) {
        m_strPath = Utf8FromWx(picker.GetPath());
        UpdateData(false);
    }
}

void CBrimlowDlg::OnCharHook(wxKeyEvent& event) {
    // Esc closes the dialog, as the close box does; during a run it stops the run instead.
    if (IsEscapeKey(event)) {
        if (m_bRunInProgress) {
            RequestStop();
        } else {
            Close();
        }
        return;
    }
    // Shift+F10 and the Menu key open the dialog's menu, except in a text box, which has
    // its own copy/paste menu.
    const int key = event.GetKeyCode();
    const bool menuKey = (key == WXK_MENU && event.GetModifiers() == wxMOD_NONE) ||
                         (key == WXK_F10 && event.GetModifiers() == wxMOD_SHIFT);
    if (menuKey && dynamic_cast<wxTextCtrl*>(FindFocus()) == nullptr) {
        ShowContextMenu(wxDefaultPosition);
        return;
    }
    event.Skip();
}
