#include <wx/menu.h>
#include <wx/textctrl.h>

#include "ui/AboutDlg.h"
#include "ui/BrimlowDlg.h"
#include "ui/HistoryBox.h"
#include "ui/Resource.h"
#include "ui/Texts.h"

// GTK gives a program no way to add items to the window manager's menu, so the About item
// lives in a context menu of the dialog, reached by right click, Shift+F10 or the Menu key,
// with the item that shows the run history below it.

void CBrimlowDlg::OnSysCommand(unsigned nID, long /*lParam*/) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.ShowModal();
    }
}

void CBrimlowDlg::OnAboutCommand(wxCommandEvent& event) {
    OnSysCommand(static_cast<unsigned>(event.GetId()), 0);
}

void CBrimlowDlg::OnHistoryCommand(wxCommandEvent& /*event*/) {
    CHistoryBox history(this);
    history.ShowModal();
}

void CBrimlowDlg::OnContextMenu(wxContextMenuEvent& event) {
    const wxPoint position = event.GetPosition();
    ShowContextMenu(position == wxDefaultPosition ? position : ScreenToClient(position));
}

void CBrimlowDlg::OnTextContextMenu(wxContextMenuEvent& event) {
    // Leave the event to GTK, which shows the box's own cut/copy/paste menu, and keep it
    // from reaching the dialog's menu.
    event.StopPropagation();
    event.Skip();
}

void CBrimlowDlg::ShowContextMenu(const wxPoint& position) {
    // A request made during a run comes to nothing: the run's window offers only its stop.
    if (m_bRunInProgress) {
        return;
    }
    wxMenu menu;
    menu.Append(IDM_ABOUTBOX, wxString::FromUTF8(texts::kAboutMenuItem));
    menu.Append(IDM_HISTORY, wxString::FromUTF8(texts::kHistoryMenuItem));
    // From the keyboard there is no pointer position; open the menu at the focused control.
    wxPoint where = position;
    if (where == wxDefaultPosition) {
        const wxWindow* focus = FindFocus();
        where =
            focus != nullptr && focus->GetParent() == this ? focus->GetPosition() : wxPoint(0, 0);
    }
    PopupMenu(&menu, where);
}
